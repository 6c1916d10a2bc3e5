// vCard 2.1, 3.0 and 4.0 read into the vCard 3.0 the store writes, and group cards.
#include "stores/vdir/VdirCard.h"

#include <algorithm>

#include "stores/vdir/ItemValues.h"

namespace {

// How a property's value is written in vCard 3.0.
enum class ValueKind {
  Text,        // one text: \ ; , and line breaks escaped
  Structured,  // components separated by ";", each escaped (also every unknown property)
  List,        // values separated by ","
  Raw,         // not text (a URI, a date, binary data): as it stands
};

struct PropertyRule {
  std::string_view name;
  ValueKind kind;
};

constexpr PropertyRule kPropertyRules[] = {
    {"N", ValueKind::Structured},  {"ADR", ValueKind::Structured},   {"ORG", ValueKind::Structured},
    {"CATEGORIES", ValueKind::List}, {"NICKNAME", ValueKind::List},
    {"FN", ValueKind::Text},       {"NOTE", ValueKind::Text},        {"TITLE", ValueKind::Text},
    {"ROLE", ValueKind::Text},     {"LABEL", ValueKind::Text},       {"EMAIL", ValueKind::Text},
    {"TEL", ValueKind::Text},      {"MAILER", ValueKind::Text},      {"UID", ValueKind::Text},
    {"SORT-STRING", ValueKind::Text}, {"PRODID", ValueKind::Text},  {"CLASS", ValueKind::Text},
    {"URL", ValueKind::Raw},       {"PHOTO", ValueKind::Raw},        {"LOGO", ValueKind::Raw},
    {"SOUND", ValueKind::Raw},     {"KEY", ValueKind::Raw},          {"BDAY", ValueKind::Raw},
    {"REV", ValueKind::Raw},       {"GEO", ValueKind::Raw},          {"TZ", ValueKind::Raw},
    {"AGENT", ValueKind::Raw},     {"X-ADDRESSBOOKSERVER-MEMBER", ValueKind::Raw},
};

ValueKind KindOf(std::string_view name) {
  for (const PropertyRule& rule : kPropertyRules) {
    if (rule.name == name) return rule.kind;
  }
  return ValueKind::Structured;
}

bool IsBinaryProperty(std::string_view name) { return name == "PHOTO" || name == "LOGO" || name == "SOUND" || name == "KEY"; }

bool EqualsIgnoreCase(std::string_view a, std::string_view b) { return UpperAscii(a) == UpperAscii(b); }

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

std::string WithoutBlanks(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') out += c;
  }
  return out;
}

// A line of vCard 2.1 (or a 3.0 line with a character set or quoted-printable): decoded, its
// parameters and value in the 3.0 form.
void ConvertLegacyLine(ItemLine& line) {
  DecodeLineValue(line);
  const bool base64 = IsBase64Value(line);
  std::vector<std::string> types;
  std::vector<ItemParam> kept;
  for (ItemParam& param : line.params) {
    if (param.name.empty() || param.name == "TYPE") {
      for (std::string& word : param.values) {
        const std::string upper = UpperAscii(word);
        if (upper != "BASE64" && upper != "B") types.push_back(std::move(word));
      }
    } else if (param.name == "ENCODING") {
      continue;
    } else if (param.name == "VALUE" && EqualsIgnoreCase(param.values.empty() ? "" : param.values.front(), "URL")) {
      kept.push_back(ItemParam{"VALUE", {"uri"}});
    } else {
      kept.push_back(std::move(param));
    }
  }
  if (base64) kept.push_back(ItemParam{"ENCODING", {"b"}});
  if (!types.empty()) kept.push_back(ItemParam{"TYPE", std::move(types)});
  line.params = std::move(kept);
  if (base64) {
    line.value = WithoutBlanks(line.value);
    return;
  }
  switch (KindOf(line.name)) {
    case ValueKind::Text:
      line.value = EscapeText(UnescapeText(line.value));
      break;
    case ValueKind::Structured:
      line.value = JoinEscaped(SplitEscaped(line.value, ";"), ';');
      break;
    case ValueKind::List:
      // Categories written the vCalendar way are separated by ";".
      line.value = JoinEscaped(SplitEscaped(line.value, line.name == "CATEGORIES" ? ",;" : ","), ',');
      break;
    case ValueKind::Raw:
      break;
  }
}

// "data:image/jpeg;base64,..." as the 3.0 ENCODING=b with the type, other URIs as they are.
void ConvertDataUri(ItemLine& line) {
  if (!StartsWithIgnoreCase(line.value, "data:")) return;
  const std::size_t comma = line.value.find(',');
  if (comma == std::string::npos) return;
  const std::string header = line.value.substr(5, comma - 5);
  const std::size_t semicolon = header.find(';');
  if (semicolon == std::string::npos || !EqualsIgnoreCase(header.substr(semicolon + 1), "base64")) return;
  const std::string mediaType = header.substr(0, semicolon);
  const std::size_t slash = mediaType.find('/');
  line.value = line.value.substr(comma + 1);
  line.RemoveParam("VALUE");
  line.RemoveParam("MEDIATYPE");
  line.SetParam("ENCODING", {"b"});
  if (slash != std::string::npos) line.SetParam("TYPE", {UpperAscii(mediaType.substr(slash + 1))});
}

void ConvertLine40(ItemLine& line) {
  if (line.name == "KIND" && EqualsIgnoreCase(line.value, "group")) {
    line.name = std::string(VdirCard::kGroupKind);
    line.value = "group";
  } else if (line.name == "MEMBER") {
    line.name = std::string(VdirCard::kGroupMember);
  } else if (line.name == "TEL" && EqualsIgnoreCase(line.ParamValue("VALUE"), "uri")) {
    line.RemoveParam("VALUE");
    if (StartsWithIgnoreCase(line.value, "tel:")) line.value = line.value.substr(4);
  } else if (IsBinaryProperty(line.name)) {
    ConvertDataUri(line);
  }
  // A quoted list of types ("voice,cell") is a list in 3.0.
  if (const ItemParam* type = line.Param("TYPE")) {
    std::vector<std::string> types;
    for (const std::string& value : type->values) {
      for (std::string& word : SplitEscaped(value, ",")) types.push_back(std::move(word));
    }
    line.SetParam("TYPE", std::move(types));
  }
  if (line.Param("PREF") != nullptr) {
    line.RemoveParam("PREF");
    std::vector<std::string> types = line.Param("TYPE") != nullptr ? line.Param("TYPE")->values : std::vector<std::string>();
    types.emplace_back("PREF");
    line.SetParam("TYPE", std::move(types));
  }
}

const ItemLine* FindLine(const std::vector<ItemLine>& lines, std::string_view name) {
  const auto found = std::find_if(lines.begin(), lines.end(), [name](const ItemLine& line) { return line.name == name; });
  return found == lines.end() ? nullptr : &*found;
}

std::string JoinNonEmpty(const std::vector<std::string>& parts) {
  std::string out;
  for (const std::string& part : parts) {
    if (part.empty()) continue;
    if (!out.empty()) out += ' ';
    out += part;
  }
  return out;
}

}  // namespace

std::optional<VdirCard> VdirCard::Read(std::string_view text) {
  const std::vector<ItemLine> lines = ReadItemLines(text);
  const auto begin = std::find_if(lines.begin(), lines.end(), [](const ItemLine& line) {
    return line.name == "BEGIN" && EqualsIgnoreCase(line.value, "VCARD");
  });
  if (begin == lines.end()) return std::nullopt;
  VdirCard card;
  std::vector<ItemLine> body;
  int depth = 1;
  for (auto it = begin + 1; it != lines.end(); ++it) {
    if (it->name == "BEGIN") ++depth;
    if (it->name == "END" && --depth == 0) break;
    body.push_back(*it);
  }
  const ItemLine* version = FindLine(body, "VERSION");
  card.mSourceVersion = version != nullptr ? version->value : "2.1";
  const bool legacy = card.mSourceVersion == "2.1" || card.mSourceVersion == "2.0";
  const bool v4 = card.mSourceVersion == "4.0";
  card.mLines.push_back(ItemLine{"", "VERSION", {}, "3.0"});
  depth = 0;
  for (ItemLine& line : body) {
    // A nested card (a 2.1 AGENT) stays as it is.
    if (line.name == "BEGIN") ++depth;
    const bool nested = depth > 0;
    if (line.name == "END") --depth;
    if (!nested) {
      if (line.name == "VERSION" || line.name == "CHARSET") continue;
      if (legacy || IsQuotedPrintable(line) || line.Param("CHARSET") != nullptr) {
        ConvertLegacyLine(line);
      } else if (v4) {
        ConvertLine40(line);
      }
    }
    card.mLines.push_back(std::move(line));
  }
  return card;
}

VdirCard VdirCard::Group(const std::string& name, const std::optional<std::string>& note,
                         const std::vector<std::string>& memberUids, const std::string& uid) {
  VdirCard card;
  card.mSourceVersion = "3.0";
  card.mLines.push_back(ItemLine{"", "VERSION", {}, "3.0"});
  card.mLines.push_back(ItemLine{"", "UID", {}, EscapeText(uid)});
  card.mLines.push_back(ItemLine{"", "FN", {}, EscapeText(name)});
  card.mLines.push_back(ItemLine{"", "N", {}, EscapeText(name) + ";;;;"});
  card.mLines.push_back(ItemLine{"", std::string(kGroupKind), {}, "group"});
  if (note) card.mLines.push_back(ItemLine{"", "NOTE", {}, EscapeText(*note)});
  for (const std::string& member : memberUids) {
    card.mLines.push_back(ItemLine{"", std::string(kGroupMember), {}, "urn:uuid:" + member});
  }
  return card;
}

std::string VdirCard::Uid() const {
  const ItemLine* uid = FindLine(mLines, "UID");
  return uid == nullptr ? std::string() : UnescapeText(uid->value);
}

void VdirCard::SetUid(const std::string& uid) {
  for (ItemLine& line : mLines) {
    if (line.name == "UID") {
      line.value = EscapeText(uid);
      return;
    }
  }
  mLines.insert(mLines.begin() + 1, ItemLine{"", "UID", {}, EscapeText(uid)});
}

bool VdirCard::IsGroup() const {
  return std::any_of(mLines.begin(), mLines.end(), [](const ItemLine& line) {
    return (line.name == kGroupKind || line.name == "KIND") && EqualsIgnoreCase(line.value, "group");
  });
}

std::vector<std::string> VdirCard::MemberUids() const {
  std::vector<std::string> members;
  for (const ItemLine& line : mLines) {
    if (line.name != kGroupMember && line.name != "MEMBER") continue;
    std::string member = line.value;
    if (StartsWithIgnoreCase(member, "urn:uuid:")) member = member.substr(9);
    if (!member.empty()) members.push_back(member);
  }
  return members;
}

bool VdirCard::CompleteFormattedName() {
  if (FindLine(mLines, "FN") != nullptr) return false;
  std::string name;
  if (const ItemLine* n = FindLine(mLines, "N")) {
    std::vector<std::string> parts = SplitEscaped(n->value, ";");
    parts.resize(5);
    name = JoinNonEmpty({parts[3], parts[1], parts[2], parts[0], parts[4]});
  }
  for (const char* source : {"ORG", "NICKNAME", "EMAIL"}) {
    const ItemLine* line = FindLine(mLines, source);
    if (name.empty() && line != nullptr) name = SplitEscaped(line->value, source == std::string_view("EMAIL") ? "" : ";,").front();
  }
  if (name.empty()) return false;
  mLines.push_back(ItemLine{"", "FN", {}, EscapeText(name)});
  return true;
}

std::string VdirCard::Text() const {
  std::string text = "BEGIN:VCARD\r\n";
  text += WriteItemLines(mLines);
  return text + "END:VCARD\r\n";
}
