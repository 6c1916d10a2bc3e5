// Fuzz target: the quoted-printable, Q and base64 decoders on arbitrary text, and the round trip
// of every encoder on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "pim/EncodedText.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string decoded;
  QuotedPrintableDecode(bytes, decoded);
  Check(decoded.size() <= bytes.size());
  QDecode(bytes, decoded);
  Check(decoded.size() <= bytes.size());
  if (Base64Decode(bytes, decoded)) Check(decoded.size() <= bytes.size());

  Check(QuotedPrintableDecode(QuotedPrintableEncode(bytes), decoded) && decoded == bytes);
  Check(QDecode(QEncode(bytes), decoded) && decoded == bytes);
  if (!bytes.empty()) Check(Base64Decode(Base64Encode(bytes), decoded) && decoded == bytes);

  for (const int encoding : {TRANSFER_QUOTED_PRINTABLE, TRANSFER_BASE64, TRANSFER_Q, TRANSFER_7BIT}) {
    EncodedText value(nullptr, ENCODED_STATE_ENCODED, "utf-8", encoding, bytes);
    value.Decode();
    value.Encode(encoding);
  }
  return 0;
}
