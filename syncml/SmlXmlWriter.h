// Bounded XML output into a region of an instance's workspace, with a measuring mode.
#pragma once

#include <cstddef>
#include <string_view>

#include "syncml/SmlTypes.h"
#include "syncml/SmlVocabulary.h"

// Appends XML to the memory [base, base + limit), of which the first `length` bytes are already
// used. The writer never writes at or beyond `base + limit`: a write that does not fit marks the
// writer overflowed and every later write is ignored, so a caller checks Overflowed() once after
// a whole element and then discards Length(). In measuring mode nothing is stored (base may be
// null), but lengths and overflow are computed exactly as for a real write. The writer does not
// own the memory; it is a short-lived view used for one encoding call.
class SmlXmlWriter {
 public:
  SmlXmlWriter(char* base, std::size_t length, std::size_t limit, bool measureOnly);

  std::size_t Length() const { return mLength; }
  bool Overflowed() const { return mOverflowed; }

  // Bytes as they are.
  void Raw(std::string_view bytes);
  // Text with "&", "<" and ">" written as references. Like every text written, without the
  // control characters XML 1.0 forbids (C0 but tab, line feed, carriage return).
  void Escaped(std::string_view text);
  // One CDATA section; an embedded "]]>" is split across two sections.
  void CdataSection(std::string_view text);
  // Text as element content: a CDATA section when it holds "&", "<" or ">", else as it is.
  void TextContent(std::string_view text);
  // True when `text` holds a character that needs escaping.
  static bool NeedsEscaping(std::string_view text);

  // "<SyncML xmlns='...'>" with the SyncML namespace of `version`.
  void RootStartTag(SmlVersion version);
  // "<Name>", or "<Name xmlns='...'>" when the tag's vocabulary is not `inEffect`.
  void StartTag(SmlTag tag, SmlVocab inEffect);
  // "<Name/>", with the namespace attribute under the same rule.
  void EmptyTag(SmlTag tag, SmlVocab inEffect);
  void EndTag(SmlTag tag);

 private:
  void OpenTag(SmlTag tag, SmlVocab inEffect);

  char* mBase;
  std::size_t mLength;
  std::size_t mLimit;
  bool mMeasureOnly;
  bool mOverflowed = false;
};
