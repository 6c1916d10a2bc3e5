// The interface languages the program offers: English, built in, and one library per language.
#pragma once

#include <string>
#include <vector>

// One entry of the language list: its code and the language's own name (empty when the code is
// not one of the named languages).
struct LanguageChoice {
  std::string code;
  std::string name;
  bool operator==(const LanguageChoice&) const = default;
};

// The most language libraries listed; a folder holding more is cut there.
inline constexpr size_t kMaxLanguageLibraries = 256;

// "en" first, then one entry per file "lang/resource.<code>.so" in `programFolder` (ending in
// "/"), ordered by code. Files whose code is empty, "en" or not a valid code are left out.
std::vector<LanguageChoice> ListLanguages(const std::string& programFolder);

// The language's own name from the string table ("Deutsch" for "de"); empty for an unknown code.
std::string LanguageName(const std::string& code);

// A code is 1 to 32 letters, digits, "-" or "_": it becomes part of a library path, so anything
// that could leave the "lang" folder ("/", "..") is refused.
bool IsLanguageCode(const std::string& code);

// `programFolder` + "lang/resource." + `code` + ".so".
std::string LanguageLibraryPath(const std::string& programFolder, const std::string& code);
