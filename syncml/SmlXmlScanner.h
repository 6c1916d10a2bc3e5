// Tokenizer for incoming SyncML XML: prolog, tags with namespace declarations, text, CDATA.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "syncml/SmlResult.h"

enum class SmlTokenKind : std::uint8_t { StartTag, EndTag, Text, Cdata, EndOfInput };

// A namespace declaration of a start tag: xmlns="value" (empty prefix) or xmlns:prefix="value".
struct SmlNamespaceDecl {
  std::string_view prefix;
  std::string_view value;
};

// One token. Every view points into the scanned input and lives as long as it does.
struct SmlToken {
  static constexpr std::size_t kMaxNamespaceDecls = 8;

  SmlTokenKind kind = SmlTokenKind::EndOfInput;
  std::string_view qname;      // tags: the name as written, with its prefix
  std::string_view prefix;     // tags: the part before ':', empty when there is none
  std::string_view localName;  // tags: the part after ':'
  std::string_view text;       // Text: the raw characters; Cdata: the content without markers
  bool selfClosing = false;    // a start tag written as <Name/>
  const char* begin = nullptr;  // first byte of the token
  const char* end = nullptr;    // one past its last byte
  std::array<SmlNamespaceDecl, kMaxNamespaceDecls> namespaces{};
  std::uint8_t namespaceCount = 0;
};

// Splits a message into tokens without copying. Comments and processing instructions are
// skipped wherever they stand; attributes other than namespace declarations are checked for
// syntax and ignored. Character references are left in Text for the caller to decode.
class SmlXmlScanner {
 public:
  // `input` must outlive the scanner and the tokens.
  explicit SmlXmlScanner(std::string_view input);

  // Skips a byte-order mark, the XML declaration (whose first attribute must be version),
  // comments, processing instructions, one DOCTYPE declaration and white space.
  SmlRet ReadProlog();
  // The next token of the content; EndOfInput at the end of the input.
  SmlRet Next(SmlToken& token);
  // Succeeds when only white space, comments and processing instructions are left.
  SmlRet ReadEpilog();

 private:
  bool StartsWith(std::string_view prefix) const;
  void SkipWhitespace();
  SmlRet SkipPast(std::string_view terminator);
  SmlRet SkipDoctype();
  SmlRet ReadXmlDeclaration();
  SmlRet ReadName(std::string_view& name);
  SmlRet ReadQuoted(std::string_view& value);
  SmlRet ReadStartTag(SmlToken& token);
  SmlRet ReadEndTag(SmlToken& token);
  SmlRet ReadAttribute(SmlToken& token);
  static SmlRet SplitQualifiedName(SmlToken& token);

  const char* mPos;
  const char* mEnd;
};

bool SmlIsWhitespace(std::string_view text);

// Appends `raw` to `out` with the five predefined entities (&amp; &lt; &gt; &quot; &apos;) and
// numeric character references (&#38; &#x26;) decoded to UTF-8; an "&" that starts no such
// reference is kept as it is.
void SmlAppendDecodedText(std::string& out, std::string_view raw);
