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
constexpr std::array<FlagText, 17> kFlagTexts = {{
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

// Appends what the escape "\\" + `next` stands for; returns 1 when `next` belongs to the escape,
// 0 for an unknown escape (the backslash is kept and `next` is read on its own).
size_t AppendEscape(char next, std::string& out) {
  switch (next) {
    case '\\':
    case ';':
    case ',':
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

// Splits a value into components, resolving the escapes \\ \; \, \n \N. Only structured values
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
  // vCard 3.0 removes it.
  void AppendFoldedLines(std::string& text, unsigned version) {
    std::string_view next;
    while (mStream.PeekLine(next) && IsFoldedLine(next)) {
      mStream.ReadLine(next);
      text.append(version == 2 ? next : next.substr(1));
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

  // Joins the lines that continue a value. False when the input ends where a quoted-printable
  // soft line break promised another line.
  bool ReadContinuation(std::string& value, bool quotedPrintable, unsigned version) {
    std::string_view next;
    while (true) {
      if (quotedPrintable) {
        // A soft line break comes first: the line after it is taken whole, so a blank it begins
        // with is text, not a fold. Only a vCard 3.0 fold that splits an escape ("=" then a blank
        // and two hexadecimal digits) is read as a fold.
        if (!value.empty() && value.back() == '=' && !FoldSplitsEscape(version)) {
          value.pop_back();
          if (!mStream.ReadLine(next)) return false;
          value.append(next);
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
    const std::string_view name = head.substr(0, semicolon);
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
  return card;
}
