// Reading group cards for the import commands.
#include "tools/GroupCards.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace groupcards {

std::vector<std::string> CardLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!lines.empty() && !line.empty() && (line[0] == ' ' || line[0] == '\t')) {
      lines.back() += line.substr(1);
    } else {
      lines.push_back(std::move(line));
    }
    at = end + 1;
  }
  return lines;
}

std::string LineName(const std::string& line) {
  std::string name = line.substr(0, line.find_first_of(";:"));
  if (const size_t dot = name.find('.'); dot != std::string::npos) name = name.substr(dot + 1);
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

std::string LineValue(const std::string& line) {
  const size_t colon = line.find(':');
  return colon == std::string::npos ? std::string() : line.substr(colon + 1);
}

std::string WithoutUrn(std::string value) {
  constexpr std::string_view kUrn = "urn:uuid:";
  if (value.size() > kUrn.size() && std::equal(kUrn.begin(), kUrn.end(), value.begin(), [](char a, char b) {
        return a == std::tolower(static_cast<unsigned char>(b));
      })) {
    value.erase(0, kUrn.size());
  }
  return value;
}

bool IsGroupCard(const std::string& text) {
  for (const std::string& line : CardLines(text)) {
    const std::string name = LineName(line);
    std::string value = LineValue(line);
    for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if ((name == "KIND" || name == "X-ADDRESSBOOKSERVER-KIND") && value == "group") return true;
  }
  return false;
}

std::vector<std::string> GroupMemberUids(const std::string& text) {
  std::vector<std::string> uids;
  for (const std::string& line : CardLines(text)) {
    const std::string name = LineName(line);
    if (name == "MEMBER" || name == "X-ADDRESSBOOKSERVER-MEMBER") uids.push_back(WithoutUrn(LineValue(line)));
  }
  return uids;
}

std::string GroupCardText(const std::string& text) {
  std::string card;
  for (const std::string& line : CardLines(text)) {
    const std::string name = LineName(line);
    if (name == "UID") continue;
    if (name == "MEMBER" || name == "X-ADDRESSBOOKSERVER-MEMBER") {
      card += "UID:TMP:" + WithoutUrn(LineValue(line)) + "\r\n";
    } else if (!line.empty()) {
      card += line + "\r\n";
    }
  }
  return card;
}

}  // namespace groupcards
