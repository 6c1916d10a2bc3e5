// Masking URL user information and Authorization header values in log text.
#include "common/SecretText.h"

#include <cctype>

namespace {

constexpr std::string_view kAuthorization = "authorization";

// Characters that end the authority of a URL as logs and web pages write it.
bool EndsAuthority(unsigned char c) {
  return c <= ' ' || c == 0x7f || c == '/' || c == '?' || c == '#' || c == '"' || c == '\'' || c == '<' || c == '>' ||
         c == '\\' || c == '`';
}

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// Where the user information of the URL whose "://" is at `at` ends (its last '@'), or npos when
// the URL has none.
std::size_t UserInfoEnd(std::string_view text, std::size_t at) {
  std::size_t last = std::string_view::npos;
  for (std::size_t i = at + 3; i < text.size() && !EndsAuthority(static_cast<unsigned char>(text[i])); ++i) {
    if (text[i] == '@') last = i;
  }
  return last;
}

bool StartsAuthorization(std::string_view text, std::size_t at) {
  if (text.size() - at < kAuthorization.size()) return false;
  for (std::size_t i = 0; i < kAuthorization.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[at + i])) != kAuthorization[i]) return false;
  }
  return true;
}

// For an "authorization" at `at`: where its value starts (after the colon, a closing quote of the
// name and blanks allowed before it), or npos when no colon follows on the line.
std::size_t AuthorizationValue(std::string_view text, std::size_t at) {
  std::size_t i = at + kAuthorization.size();
  if (i < text.size() && (text[i] == '"' || text[i] == '\'')) ++i;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i >= text.size() || text[i] != ':') return std::string_view::npos;
  ++i;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  return i;
}

}  // namespace

std::string MaskSecretsInText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t done = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ':' && text.compare(i, 3, "://") == 0) {
      const std::size_t end = UserInfoEnd(text, i);
      if (end == std::string_view::npos) continue;
      out.append(text.substr(done, i + 3 - done));
      out.append(kSecretMask);
      done = end;
      i = end;
    } else if ((text[i] == 'a' || text[i] == 'A') && StartsAuthorization(text, i)) {
      const std::size_t value = AuthorizationValue(text, i);
      if (value == std::string_view::npos) continue;
      std::size_t end = value;
      while (end < text.size() && !IsLineEnd(text[end])) ++end;
      // A value already masked stays as it is, so masking twice changes nothing.
      if (text.substr(value, end - value) == kSecretMask) continue;
      out.append(text.substr(done, value - done));
      out.append(kSecretMask);
      done = end;
      i = end == 0 ? 0 : end - 1;
    }
  }
  out.append(text.substr(done));
  return out;
}
