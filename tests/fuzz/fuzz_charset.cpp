// Fuzz target: character set conversion between sets chosen by the first byte, on the remaining
// bytes; conversions through the modified UTF-7 of IMAP must round-trip.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "pim/Charset.h"
#include "pim/EncodedText.h"
#include "pim/Utf7Imap.h"

namespace {

constexpr std::array<std::string_view, 12> kNames = {
    "utf-8", "UTF-8", "iso-8859-1", "ASCII", "US-ASCII", "UTF-16", "UTF-32BE", "windows-1252",
    "UTF-7-2060", "unicode-1-1-utf-7-2060", "CSUNICODE11UTF72060", "x-unknown"};

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string_view from = kNames[(data[0] >> 4) % kNames.size()];
  const std::string_view to = kNames[(data[0] & 0x0F) % kNames.size()];
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);

  std::string converted;
  if (ConvertCharset(from, to, bytes, converted) == ENCODED_OK && IsImapUtf7Name(to) && SameCharsetName(from, "utf-8")) {
    std::string back;
    Check(ConvertCharset(to, from, converted, back) == ENCODED_OK && back == bytes);
  }

  std::string utf8;
  if (ImapUtf7ToUtf8(bytes, utf8)) {
    std::string encoded, again;
    Check(Utf8ToImapUtf7(utf8, encoded) && ImapUtf7ToUtf8(encoded, again) && again == utf8);
  }

  EncodedText value(nullptr, ENCODED_STATE_ENCODED, from, TRANSFER_QUOTED_PRINTABLE, bytes);
  value.ConvertCharset(to);
  return 0;
}
