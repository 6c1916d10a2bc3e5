// The test servers' XML reader: a recursive descent over the document text.
#include "tests/support/TestXmlReader.h"

#include <cstdint>
#include <map>
#include <stdexcept>

namespace {

constexpr int kMaxDepth = 64;

bool IsNameChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
         c == '.' || c == ':';
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsForbidden(std::uint32_t code) { return code < 0x20 && code != 0x09 && code != 0x0A && code != 0x0D; }

void AppendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

class Reader {
 public:
  explicit Reader(std::string_view text) : mText(text) {}

  XmlElement Document() {
    SkipProlog();
    if (!Next("<")) Fail("no root element");
    XmlElement root = Element({}, 0);
    SkipMisc();
    if (mAt != mText.size()) Fail("content after the root element");
    return root;
  }

 private:
  using Namespaces = std::map<std::string, std::string>;  // prefix ("" the default) -> URI

  [[noreturn]] void Fail(const std::string& what) const {
    throw std::runtime_error("XML error at offset " + std::to_string(mAt) + ": " + what);
  }
  bool Next(std::string_view token) const { return mText.substr(mAt, token.size()) == token; }
  void Expect(std::string_view token) {
    if (!Next(token)) Fail("expected \"" + std::string(token) + "\"");
    mAt += token.size();
  }
  void SkipBlanks() {
    while (mAt < mText.size() && IsBlank(mText[mAt])) ++mAt;
  }
  void SkipPast(std::string_view end) {
    const std::size_t found = mText.find(end, mAt);
    if (found == std::string_view::npos) Fail("unterminated markup, no \"" + std::string(end) + "\"");
    CheckCharacters(mText.substr(mAt, found - mAt));
    mAt = found + end.size();
  }
  void CheckCharacters(std::string_view text) const {
    for (const char c : text) {
      if (IsForbidden(static_cast<unsigned char>(c))) Fail("character " + std::to_string(static_cast<int>(c)) + " is not allowed in XML");
    }
  }
  // Comments and processing instructions.
  void SkipMisc() {
    for (SkipBlanks(); Next("<!--") || Next("<?"); SkipBlanks()) SkipPast(Next("<!--") ? "-->" : "?>");
  }
  void SkipProlog() {
    if (Next("\xEF\xBB\xBF")) mAt += 3;
    SkipMisc();
    if (Next("<!DOCTYPE")) {
      const std::size_t subset = mText.find('[', mAt);
      const std::size_t close = mText.find('>', mAt);
      if (subset != std::string_view::npos && subset < close) SkipPast("]");
      SkipPast(">");
      SkipMisc();
    }
  }
  std::string Name() {
    const std::size_t start = mAt;
    while (mAt < mText.size() && IsNameChar(mText[mAt])) ++mAt;
    if (mAt == start) Fail("expected a name");
    return std::string(mText.substr(start, mAt - start));
  }
  // Text up to `end` (exclusive) with references decoded.
  std::string Decoded(std::string_view raw) const {
    CheckCharacters(raw);
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] != '&') {
        out += raw[i];
        continue;
      }
      const std::size_t semicolon = raw.find(';', i);
      if (semicolon == std::string_view::npos) Fail("unterminated reference");
      const std::string_view name = raw.substr(i + 1, semicolon - i - 1);
      static const std::map<std::string_view, char> entities{{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
      if (const auto entity = entities.find(name); entity != entities.end()) {
        out += entity->second;
      } else if (name.size() > 1 && name[0] == '#') {
        const bool hex = name[1] == 'x';
        const std::string digits(name.substr(hex ? 2 : 1));
        if (digits.empty() || digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos) {
          Fail("bad character reference");
        }
        const unsigned long code = std::stoul(digits, nullptr, hex ? 16 : 10);
        if (code > 0x10FFFF || IsForbidden(static_cast<std::uint32_t>(code))) Fail("character reference to a forbidden character");
        AppendUtf8(out, static_cast<std::uint32_t>(code));
      } else {
        Fail("unknown entity &" + std::string(name) + ";");
      }
      i = semicolon;
    }
    return out;
  }
  void Attributes(XmlElement& element, Namespaces& namespaces) {
    for (;;) {
      SkipBlanks();
      if (Next(">") || Next("/>")) return;
      const std::string name = Name();
      SkipBlanks();
      Expect("=");
      SkipBlanks();
      if (mAt >= mText.size() || (mText[mAt] != '"' && mText[mAt] != '\'')) Fail("attribute value without quotes");
      const char quote = mText[mAt++];
      const std::size_t end = mText.find(quote, mAt);
      if (end == std::string_view::npos) Fail("unterminated attribute value");
      std::string value = Decoded(mText.substr(mAt, end - mAt));
      mAt = end + 1;
      if (name == "xmlns") {
        namespaces[""] = value;
      } else if (name.rfind("xmlns:", 0) == 0) {
        namespaces[name.substr(6)] = value;
      }
      element.attributes.emplace_back(name, std::move(value));
    }
  }
  // At "<" of a start tag.
  XmlElement Element(Namespaces namespaces, int depth) {
    if (depth > kMaxDepth) Fail("elements nested too deeply");
    Expect("<");
    const std::string qualified = Name();
    XmlElement element;
    Attributes(element, namespaces);
    const std::size_t colon = qualified.find(':');
    const std::string prefix = colon == std::string::npos ? "" : qualified.substr(0, colon);
    element.name = colon == std::string::npos ? qualified : qualified.substr(colon + 1);
    const auto uri = namespaces.find(prefix);
    if (uri == namespaces.end() && !prefix.empty()) Fail("undeclared prefix " + prefix);
    if (uri != namespaces.end()) element.namespaceUri = uri->second;
    if (Next("/>")) {
      mAt += 2;
      return element;
    }
    Expect(">");
    Content(element, namespaces, depth);
    Expect("</");
    if (Name() != qualified) Fail("end tag does not match <" + qualified + ">");
    SkipBlanks();
    Expect(">");
    return element;
  }
  void Content(XmlElement& element, const Namespaces& namespaces, int depth) {
    while (mAt < mText.size()) {
      if (Next("</")) return;
      if (Next("<![CDATA[")) {
        mAt += 9;
        const std::size_t end = mText.find("]]>", mAt);
        if (end == std::string_view::npos) Fail("unterminated CDATA section");
        CheckCharacters(mText.substr(mAt, end - mAt));
        element.text.append(mText.substr(mAt, end - mAt));
        mAt = end + 3;
      } else if (Next("<!--")) {
        SkipPast("-->");
      } else if (Next("<?")) {
        SkipPast("?>");
      } else if (Next("<")) {
        element.children.push_back(Element(namespaces, depth + 1));
      } else {
        const std::size_t end = std::min(mText.find('<', mAt), mText.size());
        element.text += Decoded(mText.substr(mAt, end - mAt));
        mAt = end;
      }
    }
    Fail("unterminated element <" + element.name + ">");
  }

  std::string_view mText;
  std::size_t mAt = 0;
};

}  // namespace

const XmlElement* XmlElement::Child(std::string_view childName) const {
  for (const XmlElement& child : children) {
    if (child.name == childName) return &child;
  }
  return nullptr;
}

std::vector<const XmlElement*> XmlElement::Children(std::string_view childName) const {
  std::vector<const XmlElement*> found;
  for (const XmlElement& child : children) {
    if (child.name == childName) found.push_back(&child);
  }
  return found;
}

const XmlElement* XmlElement::Find(std::string_view path) const {
  const XmlElement* element = this;
  while (element != nullptr && !path.empty()) {
    const std::size_t slash = path.find('/');
    element = element->Child(path.substr(0, slash));
    path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
  }
  return element;
}

std::string XmlElement::Text(std::string_view path) const {
  const XmlElement* element = Find(path);
  return element == nullptr ? std::string() : element->text;
}

XmlElement ParseXml(std::string_view document, std::size_t maxBytes) {
  if (document.size() > maxBytes) throw std::runtime_error("XML document larger than " + std::to_string(maxBytes) + " bytes");
  return Reader(document).Document();
}
