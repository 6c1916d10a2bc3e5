// Listing and naming the language libraries in the program folder.
#include "app/LanguageFiles.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string_view>

#include "common/StringTable.h"

namespace {

constexpr std::string_view kLibraryPrefix = "resource.";
constexpr std::string_view kLibrarySuffix = ".so";

struct NamedLanguage {
  const char* code;
  StringId name;
};

constexpr NamedLanguage kNamedLanguages[] = {
    {"en", IDS_LANG_EN}, {"cz", IDS_LANG_CZ}, {"de", IDS_LANG_DE}, {"es", IDS_LANG_ES}, {"fr", IDS_LANG_FR},
    {"hu", IDS_LANG_HU}, {"it", IDS_LANG_IT}, {"mx", IDS_LANG_MX}, {"pl", IDS_LANG_PL}, {"ru", IDS_LANG_RU},
};

// The code of a library file name, or empty when the name is not "resource.<code>.so".
std::string CodeOfLibrary(std::string_view fileName) {
  if (fileName.size() <= kLibraryPrefix.size() + kLibrarySuffix.size()) return {};
  if (!fileName.starts_with(kLibraryPrefix) || !fileName.ends_with(kLibrarySuffix)) return {};
  fileName.remove_prefix(kLibraryPrefix.size());
  fileName.remove_suffix(kLibrarySuffix.size());
  return std::string(fileName);
}

}  // namespace

std::vector<LanguageChoice> ListLanguages(const std::string& programFolder) {
  std::vector<std::string> codes;
  std::error_code error;
  std::filesystem::directory_iterator it(programFolder + "lang", error);
  for (; !error && it != std::filesystem::directory_iterator() && codes.size() < kMaxLanguageLibraries;
       it.increment(error)) {
    std::string code = CodeOfLibrary(it->path().filename().string());
    if (code == "en" || !IsLanguageCode(code) || !it->is_regular_file(error)) continue;
    codes.push_back(std::move(code));
  }
  std::sort(codes.begin(), codes.end());
  codes.erase(std::unique(codes.begin(), codes.end()), codes.end());

  std::vector<LanguageChoice> choices{{"en", LanguageName("en")}};
  for (std::string& code : codes) {
    std::string name = LanguageName(code);
    choices.push_back({std::move(code), std::move(name)});
  }
  return choices;
}

std::string LanguageName(const std::string& code) {
  for (const NamedLanguage& language : kNamedLanguages) {
    if (code == language.code) return LoadString(language.name);
  }
  return {};
}

bool IsLanguageCode(const std::string& code) {
  if (code.empty() || code.size() > 32) return false;
  return std::all_of(code.begin(), code.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_';
  });
}

std::string LanguageLibraryPath(const std::string& programFolder, const std::string& code) {
  return programFolder + "lang/" + std::string(kLibraryPrefix) + code + std::string(kLibrarySuffix);
}
