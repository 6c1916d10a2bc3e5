// Bounded XML output: escaping, CDATA sections and tags with scoped namespace attributes.
#include "syncml/SmlXmlWriter.h"

#include <cstring>
#include <string>

namespace {

constexpr std::string_view kCdataOpen = "<![CDATA[";
constexpr std::string_view kCdataClose = "]]>";

bool IsSpecial(char c) { return c == '&' || c == '<' || c == '>'; }

// The C0 controls XML 1.0 does not allow anywhere, CDATA included (tab and line breaks it does).
bool IsForbidden(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r';
}

// `text` without the characters XML 1.0 forbids; the writers of item text encode such values
// themselves, so this is the last line of defence: a conforming server refuses the whole message.
std::string_view Allowed(std::string_view text, std::string& storage) {
  std::size_t first = 0;
  while (first < text.size() && !IsForbidden(text[first])) ++first;
  if (first == text.size()) return text;
  storage.assign(text.substr(0, first));
  for (std::size_t i = first; i < text.size(); ++i) {
    if (!IsForbidden(text[i])) storage += text[i];
  }
  return storage;
}

}  // namespace

SmlXmlWriter::SmlXmlWriter(char* base, std::size_t length, std::size_t limit, bool measureOnly)
    : mBase(base), mLength(length), mLimit(limit), mMeasureOnly(measureOnly) {
  if (mLength > mLimit) mOverflowed = true;
}

void SmlXmlWriter::Raw(std::string_view bytes) {
  if (mOverflowed) return;
  if (bytes.size() > mLimit - mLength) {
    mOverflowed = true;
    return;
  }
  if (!mMeasureOnly && !bytes.empty()) std::memcpy(mBase + mLength, bytes.data(), bytes.size());
  mLength += bytes.size();
}

bool SmlXmlWriter::NeedsEscaping(std::string_view text) {
  for (char c : text) {
    if (IsSpecial(c)) return true;
  }
  return false;
}

void SmlXmlWriter::Escaped(std::string_view content) {
  std::string storage;
  const std::string_view text = Allowed(content, storage);
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (!IsSpecial(c)) continue;
    Raw(text.substr(start, i - start));
    Raw(c == '&' ? "&amp;" : c == '<' ? "&lt;" : "&gt;");
    start = i + 1;
  }
  Raw(text.substr(start));
}

void SmlXmlWriter::CdataSection(std::string_view content) {
  std::string storage;
  std::string_view text = Allowed(content, storage);
  Raw(kCdataOpen);
  // "]]>" cannot stand inside a section: end the section after "]]" and start a new one for ">".
  for (std::size_t split = text.find(kCdataClose); split != std::string_view::npos;
       split = text.find(kCdataClose)) {
    Raw(text.substr(0, split + 2));
    Raw(kCdataClose);
    Raw(kCdataOpen);
    text.remove_prefix(split + 2);
  }
  Raw(text);
  Raw(kCdataClose);
}

void SmlXmlWriter::TextContent(std::string_view text) {
  if (NeedsEscaping(text)) {
    CdataSection(text);
  } else {
    Escaped(text);  // nothing to escape, but forbidden controls are dropped
  }
}

void SmlXmlWriter::RootStartTag(SmlVersion version) {
  Raw("<SyncML xmlns='");
  Raw(SmlNamespaceOf(SmlVocab::SyncMl, version));
  Raw("'>");
}

void SmlXmlWriter::OpenTag(SmlTag tag, SmlVocab inEffect) {
  Raw("<");
  Raw(SmlTagName(tag));
  const SmlVocab vocab = SmlTagVocab(tag);
  if (vocab != inEffect) {
    Raw(" xmlns='");
    // MetInf and DevInf namespaces do not depend on the version; SyncML is never switched to.
    Raw(SmlNamespaceOf(vocab, SmlVersion::V11));
    Raw("'");
  }
}

void SmlXmlWriter::StartTag(SmlTag tag, SmlVocab inEffect) {
  OpenTag(tag, inEffect);
  Raw(">");
}

void SmlXmlWriter::EmptyTag(SmlTag tag, SmlVocab inEffect) {
  OpenTag(tag, inEffect);
  Raw("/>");
}

void SmlXmlWriter::EndTag(SmlTag tag) {
  Raw("</");
  Raw(SmlTagName(tag));
  Raw(">");
}
