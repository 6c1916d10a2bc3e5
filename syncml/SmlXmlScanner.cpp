// Tokenizer for incoming SyncML XML.
#include "syncml/SmlXmlScanner.h"

#include <cstring>

namespace {

constexpr bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

constexpr bool IsNameStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
}

constexpr bool IsNameChar(unsigned char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

int DigitValue(char c, bool hex) {
  if (c >= '0' && c <= '9') return c - '0';
  if (hex && c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (hex && c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "#38" or "#x26": the code point, or 0 when it is not a character XML can carry.
char32_t NumericReference(std::string_view body) {
  const bool hex = body.size() > 1 && body[1] == 'x';
  std::string_view digits = body.substr(hex ? 2 : 1);
  if (digits.empty()) return 0;
  char32_t code = 0;
  for (char c : digits) {
    const int digit = DigitValue(c, hex);
    if (digit < 0) return 0;
    code = code * (hex ? 16 : 10) + static_cast<char32_t>(digit);
    if (code > 0x10FFFF) return 0;
  }
  if (code >= 0xD800 && code <= 0xDFFF) return 0;
  return code;
}

// Decodes the reference at the start of `raw` (which begins with "&") into `out` and returns
// its length, or returns 0 when it is not a reference.
std::size_t DecodeReference(std::string_view raw, std::string& out) {
  constexpr std::size_t kLongestReference = 10;  // "&#x10FFFF;"
  const std::size_t semicolon = raw.substr(0, kLongestReference + 1).find(';');
  if (semicolon == std::string_view::npos) return 0;
  const std::string_view body = raw.substr(1, semicolon - 1);
  struct Entity {
    std::string_view name;
    char value;
  };
  static constexpr Entity kEntities[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
  for (const Entity& entity : kEntities) {
    if (body == entity.name) {
      out.push_back(entity.value);
      return semicolon + 1;
    }
  }
  if (body.empty() || body[0] != '#') return 0;
  const char32_t code = NumericReference(body);
  if (code == 0) return 0;
  AppendUtf8(out, code);
  return semicolon + 1;
}

}  // namespace

bool SmlIsWhitespace(std::string_view text) {
  for (char c : text) {
    if (!IsSpace(c)) return false;
  }
  return true;
}

void SmlAppendDecodedText(std::string& out, std::string_view raw) {
  for (;;) {
    const void* found = raw.empty() ? nullptr : std::memchr(raw.data(), '&', raw.size());
    if (found == nullptr) {
      out.append(raw);
      return;
    }
    const std::size_t amp = static_cast<std::size_t>(static_cast<const char*>(found) - raw.data());
    out.append(raw.substr(0, amp));
    raw.remove_prefix(amp);
    const std::size_t used = DecodeReference(raw, out);
    if (used == 0) {
      out.push_back('&');
      raw.remove_prefix(1);
    } else {
      raw.remove_prefix(used);
    }
  }
}

SmlXmlScanner::SmlXmlScanner(std::string_view input) : mPos(input.data()), mEnd(input.data() + input.size()) {}

bool SmlXmlScanner::StartsWith(std::string_view prefix) const {
  return static_cast<std::size_t>(mEnd - mPos) >= prefix.size() &&
         std::memcmp(mPos, prefix.data(), prefix.size()) == 0;
}

void SmlXmlScanner::SkipWhitespace() {
  while (mPos < mEnd && IsSpace(*mPos)) ++mPos;
}

SmlRet SmlXmlScanner::SkipPast(std::string_view terminator) {
  const std::string_view rest(mPos, static_cast<std::size_t>(mEnd - mPos));
  const std::size_t at = rest.find(terminator);
  if (at == std::string_view::npos) return SML_ERR_MALFORMED;
  mPos += at + terminator.size();
  return SML_OK;
}

SmlRet SmlXmlScanner::ReadName(std::string_view& name) {
  const char* start = mPos;
  if (mPos >= mEnd || !IsNameStart(static_cast<unsigned char>(*mPos))) return SML_ERR_MALFORMED;
  ++mPos;
  while (mPos < mEnd && IsNameChar(static_cast<unsigned char>(*mPos))) ++mPos;
  name = std::string_view(start, static_cast<std::size_t>(mPos - start));
  return SML_OK;
}

SmlRet SmlXmlScanner::ReadQuoted(std::string_view& value) {
  if (mPos >= mEnd || (*mPos != '"' && *mPos != '\'')) return SML_ERR_MALFORMED;
  const char quote = *mPos++;
  const char* start = mPos;
  while (mPos < mEnd && *mPos != quote) {
    if (*mPos == '<') return SML_ERR_MALFORMED;
    ++mPos;
  }
  if (mPos >= mEnd) return SML_ERR_MALFORMED;
  value = std::string_view(start, static_cast<std::size_t>(mPos - start));
  ++mPos;
  return SML_OK;
}

SmlRet SmlXmlScanner::ReadXmlDeclaration() {
  mPos += 5;  // "<?xml"
  SkipWhitespace();
  std::string_view name;
  if (ReadName(name) != SML_OK || name != "version") return SML_ERR_MALFORMED;
  SkipWhitespace();
  if (mPos >= mEnd || *mPos++ != '=') return SML_ERR_MALFORMED;
  SkipWhitespace();
  std::string_view version;
  if (ReadQuoted(version) != SML_OK) return SML_ERR_MALFORMED;
  return SkipPast("?>");
}

// <!DOCTYPE name PUBLIC "..." "..." [ internal subset ]>: skipped up to its closing ">", quoted
// strings and the internal subset included.
SmlRet SmlXmlScanner::SkipDoctype() {
  mPos += 9;  // "<!DOCTYPE"
  bool inSubset = false;
  while (mPos < mEnd) {
    const char c = *mPos;
    if (c == '"' || c == '\'') {
      std::string_view ignored;
      if (ReadQuoted(ignored) != SML_OK) return SML_ERR_MALFORMED;
      continue;
    }
    ++mPos;
    if (c == '[') inSubset = true;
    if (c == ']') inSubset = false;
    if (c == '>' && !inSubset) return SML_OK;
  }
  return SML_ERR_MALFORMED;
}

SmlRet SmlXmlScanner::ReadProlog() {
  if (StartsWith("\xEF\xBB\xBF")) mPos += 3;
  SkipWhitespace();
  if (StartsWith("<?xml") && mEnd - mPos > 5 && IsSpace(mPos[5])) {
    if (SmlRet ret = ReadXmlDeclaration(); ret != SML_OK) return ret;
  }
  bool sawDoctype = false;
  for (;;) {
    SkipWhitespace();
    SmlRet ret = SML_OK;
    if (StartsWith("<!--")) {
      ret = SkipPast("-->");
    } else if (StartsWith("<?")) {
      ret = SkipPast("?>");
    } else if (StartsWith("<!DOCTYPE") && !sawDoctype) {
      sawDoctype = true;
      ret = SkipDoctype();
    } else {
      return SML_OK;
    }
    if (ret != SML_OK) return ret;
  }
}

SmlRet SmlXmlScanner::ReadEpilog() {
  for (;;) {
    SkipWhitespace();
    if (mPos >= mEnd) return SML_OK;
    SmlRet ret = SML_ERR_MALFORMED;
    if (StartsWith("<!--")) {
      ret = SkipPast("-->");
    } else if (StartsWith("<?")) {
      ret = SkipPast("?>");
    }
    if (ret != SML_OK) return ret;
  }
}

SmlRet SmlXmlScanner::SplitQualifiedName(SmlToken& token) {
  const std::size_t colon = token.qname.find(':');
  if (colon == std::string_view::npos) {
    token.prefix = {};
    token.localName = token.qname;
    return SML_OK;
  }
  token.prefix = token.qname.substr(0, colon);
  token.localName = token.qname.substr(colon + 1);
  if (token.prefix.empty() || token.localName.empty() || token.localName.find(':') != std::string_view::npos) {
    return SML_ERR_MALFORMED;
  }
  return SML_OK;
}

SmlRet SmlXmlScanner::ReadAttribute(SmlToken& token) {
  std::string_view name;
  if (ReadName(name) != SML_OK) return SML_ERR_MALFORMED;
  SkipWhitespace();
  if (mPos >= mEnd || *mPos++ != '=') return SML_ERR_MALFORMED;
  SkipWhitespace();
  std::string_view value;
  if (ReadQuoted(value) != SML_OK) return SML_ERR_MALFORMED;
  std::string_view prefix;
  if (name == "xmlns") {
    prefix = {};
  } else if (name.substr(0, 6) == "xmlns:" && name.size() > 6) {
    prefix = name.substr(6);
  } else {
    return SML_OK;
  }
  if (token.namespaceCount == SmlToken::kMaxNamespaceDecls) return SML_ERR_LIMIT_EXCEEDED;
  token.namespaces[token.namespaceCount++] = SmlNamespaceDecl{prefix, value};
  return SML_OK;
}

SmlRet SmlXmlScanner::ReadStartTag(SmlToken& token) {
  ++mPos;  // "<"
  token.kind = SmlTokenKind::StartTag;
  token.selfClosing = false;
  token.namespaceCount = 0;
  if (ReadName(token.qname) != SML_OK || SplitQualifiedName(token) != SML_OK) return SML_ERR_MALFORMED;
  for (;;) {
    const char* beforeSpace = mPos;
    SkipWhitespace();
    if (mPos >= mEnd) return SML_ERR_MALFORMED;
    if (*mPos == '>') {
      ++mPos;
      break;
    }
    if (*mPos == '/') {
      if (mEnd - mPos < 2 || mPos[1] != '>') return SML_ERR_MALFORMED;
      mPos += 2;
      token.selfClosing = true;
      break;
    }
    if (mPos == beforeSpace) return SML_ERR_MALFORMED;  // attributes are separated by white space
    if (SmlRet ret = ReadAttribute(token); ret != SML_OK) return ret;
  }
  return SML_OK;
}

SmlRet SmlXmlScanner::ReadEndTag(SmlToken& token) {
  mPos += 2;  // "</"
  token.kind = SmlTokenKind::EndTag;
  if (ReadName(token.qname) != SML_OK) return SML_ERR_MALFORMED;
  SkipWhitespace();
  if (mPos >= mEnd || *mPos != '>') return SML_ERR_MALFORMED;
  ++mPos;
  return SML_OK;
}

SmlRet SmlXmlScanner::Next(SmlToken& token) {
  for (;;) {
    token.begin = mPos;
    if (mPos >= mEnd) {
      token.kind = SmlTokenKind::EndOfInput;
      token.end = mPos;
      return SML_OK;
    }
    SmlRet ret = SML_OK;
    if (*mPos != '<') {
      const void* lt = std::memchr(mPos, '<', static_cast<std::size_t>(mEnd - mPos));
      mPos = lt != nullptr ? static_cast<const char*>(lt) : mEnd;
      token.kind = SmlTokenKind::Text;
      token.text = std::string_view(token.begin, static_cast<std::size_t>(mPos - token.begin));
    } else if (StartsWith("</")) {
      ret = ReadEndTag(token);
    } else if (StartsWith("<!--")) {
      if (ret = SkipPast("-->"); ret != SML_OK) return ret;
      continue;
    } else if (StartsWith("<![CDATA[")) {
      mPos += 9;
      const char* content = mPos;
      if (ret = SkipPast("]]>"); ret != SML_OK) return ret;
      token.kind = SmlTokenKind::Cdata;
      token.text = std::string_view(content, static_cast<std::size_t>(mPos - 3 - content));
    } else if (StartsWith("<?")) {
      if (ret = SkipPast("?>"); ret != SML_OK) return ret;
      continue;
    } else if (StartsWith("<!")) {
      return SML_ERR_MALFORMED;  // a DOCTYPE or other declaration inside the document
    } else {
      ret = ReadStartTag(token);
    }
    token.end = mPos;
    return ret;
  }
}
