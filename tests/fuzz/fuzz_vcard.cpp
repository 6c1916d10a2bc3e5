// Fuzz target: the vCard parser on arbitrary item text, then the serializer on what it kept; the
// written text must hold exactly one line per header, property and footer, and parse again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "pim/PVCard.h"
#include "pim/VCardContext.h"
#include "pim/VCardParser.h"
#include "pim/VCardSerializer.h"
#include "pim/VCardStream.h"

namespace {

// Lines other than CHARSET lines: BEGIN, VERSION, one per known property, END, and the nested cards'.
size_t ExpectedLines(const PVCard& card) {
  size_t lines = 3;
  for (const auto& property : card.Properties()) {
    if (!PropertyTypeName(property.Type()).empty()) ++lines;
  }
  for (const auto& nested : card.Cards()) lines += ExpectedLines(*nested);
  return lines;
}

size_t Count(std::string_view text, std::string_view part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VCardContext context;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const PVCardPtr card = Zep3_PVCard_FromStream(&context, text);
  if (card == nullptr) return 0;
  for (auto& property : card->Properties()) {
    for (size_t i = 0; i < property.Values().size(); ++i) property.ValueText(i);
  }
  std::unique_ptr<VCardOutputStream> stream;
  if (SerializeVCard(*card, stream) != VCARD_OK) return 0;
  const std::string written = stream->Content();
  Check(written.find('\r') == std::string::npos);
  Check(Count(written, "\n") == ExpectedLines(*card) + Count(written, "\nCHARSET:"));
  Check(Zep3_PVCard_FromStream(&context, written) != nullptr);
  ConvertCardCharset(*card, "utf-8");
  return 0;
}
