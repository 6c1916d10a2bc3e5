// vCard parser: header lines, nested cards, property lines with their parameters, folded lines,
// quoted-printable soft line breaks, continuation lines, escapes and structured components.
#include "pim/VCardParser.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "pim/VCardContext.h"
#include "pim/VCardStream.h"
#include "pim/VCardText_p.h"

using vcardtext::EqualsIgnoreCase;
using vcardtext::FindIgnoreCase;
using vcardtext::StartsWithIgnoreCase;

namespace {

// A property line cut short by the end of the input inside a quoted-printable value.
constexpr int kInputEnded = -1;
constexpr std::string_view kDefaultValueCharset = "iso-8859-1";

struct FlagText {
  std::string_view text;
  uint32_t bit;
};

// Each text found anywhere in the parameters (any letter case) sets its bit.
constexpr std::array<FlagText, 18> kFlagTexts = {{
    {"HOME", PROPERTY_HOME},
    {"WORK", PROPERTY_WORK},
    {"QUOTED-PRINTABLE", PROPERTY_QUOTED_PRINTABLE},
    {"ENCODING=Q", PROPERTY_QUOTED_PRINTABLE},
    {"ENCODING=\"Q\"", PROPERTY_QUOTED_PRINTABLE},
    {"BASE64", PROPERTY_BASE64},
    {"ENCODING=B", PROPERTY_BASE64},
    {"ENCODING=\"B\"", PROPERTY_BASE64},
    {"7BIT", PROPERTY_7BIT},
    {"8BIT", PROPERTY_8BIT},
    {"PREF", PROPERTY_PREFERRED},
    {"FAX", PROPERTY_FAX},
    {"CELL", PROPERTY_CELL},
    {"VOICE", PROPERTY_VOICE},
    {"PAGER", PROPERTY_PAGER},
    {"X-AIM", PROPERTY_INSTANT_MESSAGING},
    {"X-MS-IMADDRESS", PROPERTY_INSTANT_MESSAGING},
    {"CAR", PROPERTY_CAR},
}};

uint32_t FlagsFromParameters(std::string_view parameters) {
  if (parameters.empty()) return 0;
  std::string upper(parameters);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  uint32_t flags = 0;
  for (const auto& entry : kFlagTexts) {
    if (upper.find(entry.text) != std::string::npos) flags |= entry.bit;
  }
  // A value has one transfer encoding; base64 wins, as it decides how the values are read.
  if ((flags & PROPERTY_BASE64) != 0) flags &= ~PROPERTY_QUOTED_PRINTABLE;
  return flags;
}

// The text after "CHARSET=" up to the next ";", without quotes; "" when there is none.
std::string_view CharsetParameter(std::string_view parameters) {
  constexpr std::string_view kKey = "CHARSET=";
  const size_t at = FindIgnoreCase(parameters, kKey);
  if (at == std::string_view::npos) return {};
  std::string_view value = parameters.substr(at + kKey.size());
  value = value.substr(0, value.find(';'));
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
  return value;
}

bool IsFoldedLine(std::string_view line) { return !line.empty() && (line[0] == ' ' || line[0] == '\t'); }

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

bool IsContinuationByte(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Whether `bytes` end inside a UTF-8 sequence: a lead byte whose continuation bytes are missing.
bool EndsInsideUtf8Sequence(std::string_view bytes) {
  size_t continuation = 0;
  for (size_t i = bytes.size(); i > 0 && continuation < 4; --i) {
    const auto byte = static_cast<unsigned char>(bytes[i - 1]);
    if (IsContinuationByte(byte)) {
      ++continuation;
      continue;
    }
    const size_t length = byte >= 0xF0 && byte <= 0xF4 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC2 && byte < 0xE0 ? 2 : 1;
    return length > 1 && continuation + 1 < length;
  }
  return false;
}

// The bytes that the quoted-printable escapes at the end of `text` stand for (at most four).
std::string TrailingEscapedBytes(std::string_view text) {
  std::string bytes;
  size_t end = text.size();
  while (bytes.size() < 4 && end >= 3 && text[end - 3] == '=' && IsHexDigit(text[end - 2]) && IsHexDigit(text[end - 1])) {
    bytes.insert(bytes.begin(), static_cast<char>(HexValue(text[end - 2]) * 16 + HexValue(text[end - 1])));
    end -= 3;
  }
  return bytes;
}

// The first byte a quoted-printable text stands for, or -1 when it does not begin with an escape
// or a plain character.
int FirstEscapedByte(std::string_view text) {
  if (text.size() >= 3 && text[0] == '=' && IsHexDigit(text[1]) && IsHexDigit(text[2])) {
    return HexValue(text[1]) * 16 + HexValue(text[2]);
  }
  return text.empty() ? -1 : static_cast<unsigned char>(text[0]);
}

// The property name without its group ("item1.EMAIL" is EMAIL).
std::string_view WithoutGroup(std::string_view name) {
  const size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? name : name.substr(dot + 1);
}

// Appends what the escape "\\" + `next` stands for; returns 1 when `next` belongs to the escape,
// 0 for an unknown escape (the backslash is kept and `next` is read on its own).
size_t AppendEscape(char next, std::string& out) {
  switch (next) {
    case '\\':
    case ';':
    case ',':
    case ':':
      out += next;
      return 1;
    case 'n':
    case 'N':
      out += '\n';
      return 1;
    default:
      out += '\\';
      return 0;
  }
}

// Splits a value into components, resolving the escapes \\ \; \, \: \n \N. Only structured values
// are split, and only on a ";" that is not escaped. False when more than `budget` components
// would result.
bool SplitComponents(std::string_view text, bool structured, size_t budget, std::vector<std::string>& components) {
  components.assign(1, std::string());
  const std::string_view special = structured ? "\\;" : "\\";
  size_t i = 0;
  while (i < text.size()) {
    const size_t stop = std::min(text.find_first_of(special, i), text.size());
    components.back().append(text.substr(i, stop - i));
    if (stop == text.size()) break;
    i = stop + 1;
    if (text[stop] == ';') {
      if (components.size() >= budget) return false;
      components.emplace_back();
    } else if (i < text.size()) {
      i += AppendEscape(text[i], components.back());
    } else {
      components.back() += '\\';
    }
  }
  return components.size() <= budget;
}

class CardParser {
 public:
  CardParser(VCardContext* context, VCardInputStream& stream) : mContext(context), mStream(stream) {}

  int Parse(PVCardPtr& card, int depth) {
    std::string_view line;
    do {
      if (!mStream.ReadLine(line)) return VCARD_OK;
    } while (!StartsWithIgnoreCase(line, "BEGIN:VCARD"));
    card = std::make_unique<PVCard>(mContext, 0);
    return ReadBody(*card, depth);
  }

 private:
  int ReadBody(PVCard& card, int depth) {
    std::string_view line;
    while (true) {
      const size_t lineStart = mStream.Tell();
      if (!mStream.ReadLine(line)) return VCARD_OK;
      if (card.Version() == 0 && StartsWithIgnoreCase(line, "VERSION")) {
        ReadVersion(line, card);
      } else if (card.Charset().empty() && StartsWithIgnoreCase(line, "CHARSET:")) {
        card.SetCharset(line.substr(8));
      } else if (EqualsIgnoreCase(line, "END:VCARD")) {
        return VCARD_OK;
      } else if (EqualsIgnoreCase(line, "BEGIN:VCARD")) {
        mStream.Seek(lineStart);
        if (const int code = ReadNestedCard(card, depth); code != VCARD_OK) return code;
      } else {
        const int code = ReadProperty(line, card);
        if (code == kInputEnded) return VCARD_OK;
        if (code != VCARD_OK && code != VCARD_UNKNOWN_PROPERTY) return code;
      }
    }
  }

  static void ReadVersion(std::string_view line, PVCard& card) {
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) return;
    card.SetVersion(line.substr(colon + 1).find("2.1") != std::string_view::npos ? 2 : 3);
  }

  int ReadNestedCard(PVCard& card, int depth) {
    if (depth + 1 >= kMaxVCardNesting) return VCARD_NESTING_TOO_DEEP;
    PVCardPtr nested;
    const int code = Parse(nested, depth + 1);
    if (nested != nullptr) card.AddCard(std::move(nested));
    return code;
  }

  // Appends the folded lines that follow: vCard 2.1 keeps the leading blank of such a line,
  // unless it splits a UTF-8 sequence (a blank cannot be part of one); vCard 3.0 removes it.
  void AppendFoldedLines(std::string& text, unsigned version) {
    std::string_view next;
    while (mStream.PeekLine(next) && IsFoldedLine(next)) {
      mStream.ReadLine(next);
      const bool splitsSequence = next.size() > 1 && IsContinuationByte(static_cast<unsigned char>(next[1])) &&
                                  EndsInsideUtf8Sequence(text);
      text.append(version == 2 && !splitsSequence ? next : next.substr(1));
    }
  }

  // Whether the next line, with the folded lines after it, holds a colon: then it is a property
  // line (possibly with its name or parameters folded), not the continuation of a value.
  bool NextLineHoldsColon() {
    const size_t mark = mStream.Tell();
    std::string_view next;
    bool colon = mStream.ReadLine(next) && next.find(':') != std::string_view::npos;
    while (!colon && mStream.PeekLine(next) && IsFoldedLine(next)) {
      mStream.ReadLine(next);
      colon = next.find(':') != std::string_view::npos;
    }
    mStream.Seek(mark);
    return colon;
  }

  bool FoldSplitsEscape(unsigned version) const {
    std::string_view next;
    return version != 2 && mStream.PeekLine(next) && IsFoldedLine(next) && next.size() >= 3 && IsHexDigit(next[1]) &&
           IsHexDigit(next[2]);
  }

  // Whether the blank that begins `next`, the line after a soft line break, marks a fold rather
  // than text: always in vCard 3.0, whose continuation lines all begin with one; in vCard 2.1 only
  // when it would split a UTF-8 sequence of the decoded value.
  static bool BlankIsFold(std::string_view valueBeforeBreak, std::string_view next, unsigned version) {
    if (!IsFoldedLine(next)) return false;
    if (version != 2) return true;
    const int byte = FirstEscapedByte(next.substr(1));
    return byte >= 0 && IsContinuationByte(static_cast<unsigned char>(byte)) &&
           EndsInsideUtf8Sequence(TrailingEscapedBytes(valueBeforeBreak));
  }

  // Joins the lines that continue a value. False when the input ends where a quoted-printable
  // soft line break promised another line.
  bool ReadContinuation(std::string& value, bool quotedPrintable, unsigned version) {
    std::string_view next;
    while (true) {
      if (quotedPrintable) {
        // A soft line break comes first: the line after it is taken whole. A blank it begins with
        // is the fold marker of vCard 3.0 lines and is dropped; in vCard 2.1 it is text unless it
        // splits a UTF-8 sequence. A vCard 3.0 fold that splits an escape ("=" then a blank and
        // two hexadecimal digits) is joined as a fold, keeping the "=".
        if (!value.empty() && value.back() == '=' && !FoldSplitsEscape(version)) {
          value.pop_back();
          if (!mStream.ReadLine(next)) return false;
          value.append(BlankIsFold(value, next, version) ? next.substr(1) : next);
          continue;
        }
        const size_t before = value.size();
        AppendFoldedLines(value, version);
        if (value.size() == before) return true;
      } else {
        AppendFoldedLines(value, version);
        // A line without a colon continues a plain value on a new line. Empty lines continue it
        // only when such a line follows them: a paragraph break is kept, trailing blanks are not.
        const size_t mark = mStream.Tell();
        size_t emptyLines = 0;
        while (mStream.PeekLine(next) && next.empty()) {
          mStream.ReadLine(next);
          ++emptyLines;
        }
        if (!mStream.PeekLine(next) || NextLineHoldsColon()) {
          mStream.Seek(mark);
          return true;
        }
        mStream.ReadLine(next);
        for (size_t i = 0; i <= emptyLines; ++i) value.append("\r\n");
        value.append(next);
      }
    }
  }

  int ReadProperty(std::string_view firstLine, PVCard& card) {
    std::string line(firstLine);
    // A name or parameter list folded before its colon is joined first.
    if (line.find(':') == std::string::npos) AppendFoldedLines(line, card.Version());
    const size_t colon = line.find(':');
    if (colon == std::string::npos) return VCARD_UNKNOWN_PROPERTY;
    const std::string_view head = std::string_view(line).substr(0, colon);
    const size_t semicolon = head.find(';');
    const std::string_view name = WithoutGroup(head.substr(0, semicolon));
    const std::string_view parameters = semicolon == std::string_view::npos ? "" : head.substr(semicolon + 1);
    const uint32_t flags = FlagsFromParameters(parameters);
    std::string value = line.substr(colon + 1);
    // Continuation lines are taken for unknown properties too, so they are not read as lines of their own.
    if (!ReadContinuation(value, (flags & PROPERTY_QUOTED_PRINTABLE) != 0, card.Version())) return kInputEnded;
    const int type = PropertyTypeFromName(name);
    if (type == PROPERTY_UNKNOWN) return VCARD_UNKNOWN_PROPERTY;
    std::string_view charset = CharsetParameter(parameters);
    if (charset.empty()) charset = card.Charset();
    PVCardProperty property(mContext, charset, type);
    property.SetEncodingFlags(flags);
    if (const int code = AddComponents(property, value, charset); code != VCARD_OK) return code;
    return card.AddProperty(std::move(property));
  }

  int AddComponents(PVCardProperty& property, std::string_view value, std::string_view charset) {
    std::vector<std::string> components;
    if (!SplitComponents(value, IsStructuredProperty(property.Type()), kMaxVCardValues - mValueCount, components)) {
      return VCARD_TOO_MANY_VALUES;
    }
    mValueCount += components.size();
    const bool base64 = property.HasFlag(PROPERTY_BASE64);
    const bool quoted = property.HasFlag(PROPERTY_QUOTED_PRINTABLE);
    const int state = base64 || quoted ? ENCODED_STATE_ENCODED : ENCODED_STATE_PLAIN;
    const int encoding = base64 ? TRANSFER_BASE64 : quoted ? TRANSFER_QUOTED_PRINTABLE : TRANSFER_NONE;
    const std::string_view valueCharset = charset.empty() ? kDefaultValueCharset : charset;
    for (auto& component : components) {
      property.AppendValue(EncodedText(mContext, state, valueCharset, encoding, component));
    }
    return VCARD_OK;
  }

  VCardContext* mContext;
  VCardInputStream& mStream;
  size_t mValueCount = 0;
};

}  // namespace

int ParseVCard(VCardContext* context, PVCardPtr& card, VCardInputStream& stream) {
  card.reset();
  const int code = CardParser(context, stream).Parse(card, 0);
  return context != nullptr ? context->Record(code) : code;
}

PVCardPtr Zep3_PVCard_FromStream(VCardContext* context, std::string_view text) {
  if (context == nullptr || text.empty()) return nullptr;
  VCardInputStream stream;
  if (const int code = stream.Open(text, kMaxVCardBytes); code != VCARD_OK) {
    context->Record(code);
    return nullptr;
  }
  PVCardPtr card;
  ParseVCard(context, card, stream);
  if (card) card->SetSourceText(text);
  return card;
}
