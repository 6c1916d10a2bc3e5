// Masking secrets in logged text: SyncML credentials, URL user information, known secrets.
#include "syncml/SecretMask.h"

#include <optional>

#include "common/AsciiText.h"
#include "common/SecretText.h"

namespace {

// For a start tag `<name ...>` at `at`: the position of its '>' (npos when no '>' follows at all);
// nullopt when the markup at `at` is not that element (another name, or a longer one).
std::optional<std::size_t> StartTagEnd(std::string_view text, std::size_t at, std::string_view name) {
  const std::size_t after = at + 1 + name.size();
  if (text.compare(at + 1, name.size(), name) != 0 || after > text.size()) return std::nullopt;
  if (after == text.size()) return std::string_view::npos;
  const char next = text[after];
  if (next != '>' && next != '/' && next != ' ' && next != '\t' && next != '\r' && next != '\n') return std::nullopt;
  return text.find('>', after);
}

// Appends `cred` (the content of one Cred element) to `out` with the content of each Data masked.
void AppendMaskedCred(std::string_view cred, std::string& out) {
  std::size_t done = 0;
  for (std::size_t at = cred.find("<Data"); at != std::string_view::npos; at = cred.find("<Data", at + 1)) {
    const std::optional<std::size_t> tagEnd = StartTagEnd(cred, at, "Data");
    if (!tagEnd) continue;
    if (*tagEnd == std::string_view::npos) {
      out.append(cred.substr(done, at - done));
      out.append(kSecretMask);
      return;
    }
    if (cred[*tagEnd - 1] == '/') {
      at = *tagEnd;
      continue;
    }
    out.append(cred.substr(done, *tagEnd + 1 - done));
    out.append(kSecretMask);
    const std::size_t close = cred.find("</Data>", *tagEnd);
    if (close == std::string_view::npos) return;
    done = at = close;
  }
  out.append(cred.substr(done));
}

}  // namespace

std::string MaskCredentials(std::string_view message) {
  std::string out;
  out.reserve(message.size());
  std::size_t done = 0;
  std::size_t at = message.find('<');
  while (at != std::string_view::npos) {
    if (message.compare(at, 9, "<![CDATA[") == 0) {
      // Item text is not markup: a "<Cred" inside it is left alone.
      const std::size_t close = message.find("]]>", at + 9);
      at = close == std::string_view::npos ? close : message.find('<', close + 3);
      continue;
    }
    const std::optional<std::size_t> tagEnd = StartTagEnd(message, at, "Cred");
    if (!tagEnd) {
      at = message.find('<', at + 1);
      continue;
    }
    if (*tagEnd != std::string_view::npos && message[*tagEnd - 1] == '/') {
      at = message.find('<', *tagEnd);
      continue;
    }
    // A Cred that never closes: nothing after its start can be told apart from a secret.
    const std::size_t close = *tagEnd == std::string_view::npos ? *tagEnd : message.find("</Cred>", *tagEnd);
    if (close == std::string_view::npos) {
      out.append(message.substr(done, (*tagEnd == std::string_view::npos ? at + 5 : *tagEnd + 1) - done));
      out.append(kSecretMask);
      return out;
    }
    out.append(message.substr(done, *tagEnd + 1 - done));
    AppendMaskedCred(message.substr(*tagEnd + 1, close - *tagEnd - 1), out);
    done = close;
    at = message.find('<', close + 1);
  }
  out.append(message.substr(done));
  return out;
}

std::vector<std::string> CredentialData(std::string_view message) {
  std::vector<std::string> data;
  for (std::size_t at = message.find("<Cred"); at != std::string_view::npos; at = message.find("<Cred", at + 1)) {
    const std::optional<std::size_t> tagEnd = StartTagEnd(message, at, "Cred");
    if (!tagEnd || *tagEnd == std::string_view::npos) continue;
    const std::size_t close = message.find("</Cred>", *tagEnd);
    const std::string_view cred =
        message.substr(*tagEnd + 1, close == std::string_view::npos ? std::string_view::npos : close - *tagEnd - 1);
    for (std::size_t d = cred.find("<Data"); d != std::string_view::npos; d = cred.find("<Data", d + 1)) {
      const std::optional<std::size_t> dataEnd = StartTagEnd(cred, d, "Data");
      if (!dataEnd || *dataEnd == std::string_view::npos || cred[*dataEnd - 1] == '/') continue;
      const std::size_t dataClose = cred.find("</Data>", *dataEnd);
      const std::string_view value = TrimBlanks(
          cred.substr(*dataEnd + 1, dataClose == std::string_view::npos ? std::string_view::npos : dataClose - *dataEnd - 1));
      if (!value.empty()) data.emplace_back(value);
    }
  }
  return data;
}

std::string MaskForLog(std::string_view text, const std::vector<std::string>& secrets) {
  std::string known(text);
  for (const std::string& secret : secrets) {
    if (secret.empty()) continue;
    std::string masked;
    std::size_t done = 0;
    for (std::size_t at = known.find(secret); at != std::string::npos; at = known.find(secret, done)) {
      masked.append(known, done, at - done);
      masked.append(kSecretMask);
      done = at + secret.size();
    }
    if (done == 0) continue;
    masked.append(known, done);
    known = std::move(masked);
  }
  return MaskSecretsInText(MaskCredentials(known));
}
