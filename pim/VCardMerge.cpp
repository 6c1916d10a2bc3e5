// Merging a kept vCard with its contact record, line by line.
#include "pim/VCardMerge.h"

#include <algorithm>
#include <map>

#include "pim/CDataItem.h"
#include "pim/ContactRecordBuilder.h"
#include "pim/ContentLines.h"
#include "pim/PVCard.h"
#include "pim/TextMerge.h"
#include "pim/VCardContext.h"
#include "pim/VCardParser.h"

namespace {

constexpr std::string_view kListProperties[] = {"TEL", "EMAIL", "ADR", "URL"};

std::string WithLfLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

// The record the contact mapping reads from a card text; null when it holds no card.
CDataItem::Ptr ReadContact(std::string_view text) {
  VCardContext context;
  const PVCardPtr card = Zep3_PVCard_FromStream(&context, WithLfLineEnds(text));
  if (!card) return nullptr;
  CDataItem::Ptr record = CDataItem::Create(ITEM_CONTACT);
  ContactRecordBuilder(*record).Build(*card);
  return record;
}

bool HasVersionLine(const ContentText& text, std::size_t begin) {
  for (const std::size_t i : DirectLines(text, begin)) {
    if (text.lines[i].name == "VERSION") return true;
  }
  return false;
}

unsigned VersionOf(const ContentText& text, std::size_t begin) {
  for (const std::size_t i : DirectLines(text, begin)) {
    if (text.lines[i].name == "VERSION") return SplitLine(text.lines[i].raw).value.find("2.1") != std::string::npos ? 2 : 3;
  }
  return 3;
}

// The components of a raw structured value, split on ";" that no backslash escapes.
std::vector<std::string> RawComponents(std::string_view value) {
  std::vector<std::string> components(1);
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size()) {
      components.back() += value.substr(i, 2);
      ++i;
    } else if (value[i] == ';') {
      components.emplace_back();
    } else {
      components.back() += value[i];
    }
  }
  return components;
}

// Whether the record holds component `index` of a structured property: N's four name parts, ORG's
// company and department, ADR's parts after the post office box.
bool HoldsComponent(std::string_view name, std::size_t index) {
  if (name == "N") return index < 4;
  if (name == "ORG") return index < 2;
  if (name == "ADR") return index >= 1 && index < 7;
  return true;
}

// A changed structured value keeps the kept components the record does not hold (a name's
// suffix, further organizational units, a post office box), then takes the kept line's name and
// parameters as any other changed value.
std::string ReplaceStructured(const ContentLine& kept, const ContentLine& written) {
  const LineParts keptParts = SplitLine(kept.raw);
  if (!IsStructuredProperty(PropertyTypeFromName(kept.name)) || keptParts.parameters.find("ENCODING") != std::string::npos ||
      keptParts.parameters.find("encoding") != std::string::npos) {
    return ReplaceValue(kept, written);
  }
  const LineParts writtenParts = SplitLine(written.raw);
  std::vector<std::string> components = RawComponents(writtenParts.value);
  const std::vector<std::string> keptComponents = RawComponents(keptParts.value);
  if (components.size() < keptComponents.size()) components.resize(keptComponents.size());
  for (std::size_t i = 0; i < keptComponents.size(); ++i) {
    if (!HoldsComponent(kept.name, i)) components[i] = keptComponents[i];
  }
  ContentLine patched = written;
  patched.raw = writtenParts.name + (writtenParts.parameters.empty() ? "" : ";" + writtenParts.parameters) + ":";
  for (std::size_t i = 0; i < components.size(); ++i) patched.raw += (i == 0 ? "" : ";") + components[i];
  return ReplaceValue(kept, patched);
}

std::string Join(const std::vector<std::string>& lines, const std::string& lineEnd) {
  std::string text;
  for (const std::string& line : lines) text.append(line).append(lineEnd);
  return text;
}

// Reads the lines of one card as the contact mapping does, one line at a time.
class CardLines {
 public:
  CardLines(const ContentText& kept, std::size_t begin, unsigned version) : mKept(kept), mBegin(begin), mVersion(version) {
    mWhole = ReadContact(Text(kept.lines.size()));
  }

  // What the line says: its value components and the class the mapping gives it.
  const std::string& Key(const ContentLine& line) { return Describe(line).key; }
  const std::string& Class(const ContentLine& line) { return Describe(line).lineClass; }

  bool Contributes(std::size_t index) {
    if (!mWhole) return false;
    const CDataItem::Ptr without = ReadContact(Text(index));
    return !without || !(without->properties == mWhole->properties);
  }

 private:
  struct Description {
    std::string key;
    std::string lineClass;
  };

  // The card text without line `skipped` (none when out of range).
  std::string Text(std::size_t skipped) const {
    std::string text;
    const std::size_t end = mKept.EndOf(mBegin);
    for (std::size_t i = mBegin; i <= end && i < mKept.lines.size(); ++i) {
      if (i != skipped) text.append(mKept.lines[i].raw).append("\n");
    }
    return text;
  }

  const Description& Describe(const ContentLine& line) {
    const auto found = mDescriptions.find(line.raw);
    if (found != mDescriptions.end()) return found->second;
    Description description;
    VCardContext context;
    const std::string card = std::string("BEGIN:VCARD\nVERSION:") + (mVersion == 2 ? "2.1" : "3.0") + "\n" +
                             WithLfLineEnds(line.raw) + "\nEND:VCARD\n";
    const PVCardPtr parsed = Zep3_PVCard_FromStream(&context, card);
    if (parsed && !parsed->Properties().empty()) {
      const PVCardProperty& property = parsed->Properties().front();
      description.lineClass = line.name + "|";
      if (property.Type() == PROPERTY_TEL) {
        description.lineClass += PhoneClass(property);
      } else {
        description.lineClass += property.HasFlag(PROPERTY_WORK) ? "W" : "H";
      }
      description.key = description.lineClass;
      for (std::size_t i = 0; i < property.Values().size(); ++i) description.key += "|" + property.ValueText(i);
    } else {
      description.key = description.lineClass = line.raw;
    }
    return mDescriptions.emplace(line.raw, std::move(description)).first->second;
  }

  const ContentText& mKept;
  std::size_t mBegin;
  unsigned mVersion;
  CDataItem::Ptr mWhole;
  std::map<std::string, Description> mDescriptions;
};

}  // namespace

const std::vector<std::string_view>& HeldContactProperties() {
  static const std::vector<std::string_view> names = {"N", "FN", "NICKNAME", "ORG", "TITLE", "EMAIL", "TEL", "ADR", "URL", "NOTE"};
  return names;
}

std::string MergeContactText(std::string_view kept, const CDataItem& record) {
  const ContentText keptText = ContentText::Split(kept, true);
  const std::size_t begin = keptText.FindBegin("VCARD");
  const CDataItem::Ptr was = begin < keptText.lines.size() ? ReadContact(kept) : nullptr;
  if (!was || record.kind != ITEM_CONTACT) return record.ToText();
  const unsigned version = VersionOf(keptText, begin);
  const ContentText now = ContentText::Split(record.ToVCard(version), true);
  const ContentText before = ContentText::Split(was->ToVCard(version), true);
  CardLines lines(keptText, begin, version);
  ComponentMerge merge;
  merge.kept = &keptText;
  merge.keptBegin = begin;
  merge.now = &now;
  merge.nowBegin = now.FindBegin("VCARD");
  merge.was = &before;
  merge.wasBegin = before.FindBegin("VCARD");
  merge.groupOf = [](std::string_view name) {
    const auto& held = HeldContactProperties();
    return std::find(held.begin(), held.end(), name) != held.end() ? std::string(name) : std::string();
  };
  merge.isList = [](std::string_view group) {
    return std::find(std::begin(kListProperties), std::end(kListProperties), group) != std::end(kListProperties);
  };
  merge.contributes = [&lines](std::size_t index) { return lines.Contributes(index); };
  merge.key = [&lines](const ContentLine& line) { return lines.Key(line); };
  merge.lineClass = [&lines](const ContentLine& line) { return lines.Class(line); };
  merge.replace = ReplaceStructured;
  std::vector<std::string> out;
  for (std::size_t i = 0; i < begin; ++i) out.push_back(keptText.lines[i].raw);
  std::vector<std::string> card = MergeComponent(merge);
  // A card without a VERSION line (some servers send one) says which version its lines now are.
  if (!HasVersionLine(keptText, begin)) card.insert(card.begin() + 1, "VERSION:3.0");
  out.insert(out.end(), card.begin(), card.end());
  for (std::size_t i = keptText.EndOf(begin) + 1; i < keptText.lines.size(); ++i) out.push_back(keptText.lines[i].raw);
  return Join(out, keptText.lineEnd);
}

std::string WithContactUid(std::string_view text, std::string_view uid) {
  ContentText card = ContentText::Split(text, true);
  const std::size_t begin = card.FindBegin("VCARD");
  if (begin == card.lines.size()) return std::string(text);
  for (const std::size_t i : DirectLines(card, begin)) {
    if (card.lines[i].name == "UID") return std::string(text);
  }
  std::vector<std::string> out;
  const std::size_t end = card.EndOf(begin);
  for (std::size_t i = 0; i < card.lines.size(); ++i) {
    if (i == end) out.push_back("UID:" + std::string(uid));
    out.push_back(card.lines[i].raw);
  }
  return Join(out, card.lineEnd);
}
