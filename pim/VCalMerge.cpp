// Merging a kept vCalendar with an event or task record, line by line.
#include "pim/VCalMerge.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "pim/CDataItem.h"
#include "pim/CalendarRecordBuilder.h"
#include "pim/ContentLines.h"
#include "pim/TextMerge.h"
#include "pim/VCalProperty.h"
#include "pim/VCardText_p.h"

namespace {

// Lines of properties both calendar versions write alike, which a record does not hold.
constexpr std::string_view kSharedUnheld[] = {"UID",     "URL",        "SEQUENCE", "LAST-MODIFIED", "DTSTAMP", "CREATED",
                                              "RELATED-TO", "COMMENT", "CONTACT",  "RESOURCES",     "GEO"};

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string WithLfLineEnds(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

VCalProperty ReadLine(const ContentLine& line) {
  VCalProperty property;
  const std::string text = WithLfLineEnds(line.raw) + "\n";
  std::size_t position = 0;
  ReadVCalProperty(text, position, property);
  return property;
}

std::string Join(const std::vector<std::string>& lines, const std::string& lineEnd) {
  std::string text;
  for (const std::string& line : lines) text.append(line).append(lineEnd);
  return text;
}

const char* ComponentName(const CDataItem& record) { return record.kind == ITEM_TASK ? "VTODO" : "VEVENT"; }

bool IsHeld(std::string_view name, int kind) {
  const std::vector<std::string_view>& held = kind == ITEM_TASK ? HeldTaskProperties() : HeldEventProperties();
  return std::find(held.begin(), held.end(), name) != held.end();
}

// The group of a held line: an end given as DURATION is the event's DTEND, a vCalendar 1.0 alarm
// its alarm.
std::string GroupOf(std::string_view name, int kind) {
  if (!IsHeld(name, kind)) return {};
  if (name == "DURATION") return "DTEND";
  if (name == "AALARM" || name == "DALARM") return "ALARM";
  return std::string(name);
}

std::string VersionOf(const ContentText& text) {
  const std::size_t calendar = text.FindBegin("VCALENDAR");
  for (const std::size_t i : DirectLines(text, calendar)) {
    if (text.lines[i].name == "VERSION") return SplitLine(text.lines[i].raw).value;
  }
  return {};
}

bool HasDirectLine(const ContentText& text, std::size_t begin, std::string_view name) {
  for (const std::size_t i : DirectLines(text, begin)) {
    if (text.lines[i].name == name) return true;
  }
  return false;
}

std::string DirectValue(const ContentText& text, std::size_t begin, std::string_view name) {
  for (const std::size_t i : DirectLines(text, begin)) {
    if (text.lines[i].name == name) return ReadLine(text.lines[i]).value;
  }
  return {};
}

// The components of `name` directly in the calendar, in text order.
std::vector<std::size_t> Components(const ContentText& text, std::string_view name) {
  std::vector<std::size_t> found;
  for (std::size_t i = text.FindBegin(name); i < text.lines.size(); i = text.FindBegin(name, i + 1)) {
    if (text.lines[i].depth == 2) found.push_back(i);
  }
  return found;
}

// The component of the record in a calendar text, and the record its text reads as: the series
// (the first component without RECURRENCE-ID), or the changed occurrence whose record has the
// record's original start. Calendar records come in text order: the series, then its changed
// occurrences (of its UID, or of none).
struct FoundComponent {
  std::size_t begin = 0;
  CDataItem::Ptr record;
};

std::optional<FoundComponent> FindComponent(const ContentText& text, std::string_view source, const CDataItem& record) {
  const std::vector<CDataItem::Ptr> records = CalendarRecordBuilder::BuildAll(source);
  const std::vector<std::size_t> components = Components(text, ComponentName(record));
  if (records.empty() || components.empty() || records.front()->kind != record.kind) return std::nullopt;
  std::vector<std::size_t> series, occurrences;
  for (const std::size_t begin : components) (HasDirectLine(text, begin, "RECURRENCE-ID") ? occurrences : series).push_back(begin);
  if (!IsChangedOccurrence(record)) {
    if (series.empty() || IsChangedOccurrence(*records.front())) return std::nullopt;
    return FoundComponent{series.front(), records.front()};
  }
  if (!series.empty()) {
    const std::string uid = DirectValue(text, series.front(), "UID");
    std::erase_if(occurrences, [&](std::size_t begin) {
      const std::string own = DirectValue(text, begin, "UID");
      return !own.empty() && own != uid;
    });
  }
  std::vector<CDataItem::Ptr> changed;
  for (const CDataItem::Ptr& read : records) {
    if (IsChangedOccurrence(*read)) changed.push_back(read);
  }
  if (changed.size() != occurrences.size()) return std::nullopt;
  for (std::size_t i = 0; i < changed.size(); ++i) {
    if (changed[i]->Property("VC_RECURRENCE_ID") == record.Property("VC_RECURRENCE_ID")) {
      return FoundComponent{occurrences[i], changed[i]};
    }
  }
  return std::nullopt;
}

// The nested VALARM blocks of a component: [BEGIN, END] pairs.
std::vector<std::pair<std::size_t, std::size_t>> AlarmBlocks(const ContentText& text, std::size_t begin) {
  std::vector<std::pair<std::size_t, std::size_t>> blocks;
  const std::size_t end = text.EndOf(begin);
  for (std::size_t i = begin + 1; i < end; ++i) {
    if (text.lines[i].name == "BEGIN" && text.lines[i].value == "VALARM" && text.lines[i].depth == text.lines[begin].depth + 1) {
      blocks.emplace_back(i, text.EndOf(i));
      i = blocks.back().second;
    }
  }
  return blocks;
}

std::vector<std::string> AlarmRaws(const ContentText& text, std::size_t begin) {
  std::vector<std::string> raws;
  for (const auto& [first, last] : AlarmBlocks(text, begin)) {
    for (std::size_t i = first; i <= last && i < text.lines.size(); ++i) raws.push_back(text.lines[i].raw);
  }
  return raws;
}

ContentLine Line(std::string raw, int depth) {
  ContentText one = ContentText::Split(raw, false);
  ContentLine line = one.lines.empty() ? ContentLine{} : one.lines.front();
  line.raw = std::move(raw);
  line.depth = depth;
  return line;
}

// The kept text with the alarm of the component at `begin` following the record's: gone when the
// record has none, the first kept alarm's TRIGGER replaced when it has another lead time (its
// action and texts stay), the record's alarm added when the kept component has none.
ContentText WithRecordAlarm(const ContentText& kept, std::size_t begin, const ContentText& now, std::size_t nowBegin,
                            const ContentText& was, std::size_t wasBegin) {
  if (AlarmRaws(now, nowBegin) == AlarmRaws(was, wasBegin)) return kept;
  const std::vector<std::pair<std::size_t, std::size_t>> keptBlocks = AlarmBlocks(kept, begin);
  const std::vector<std::pair<std::size_t, std::size_t>> nowBlocks = AlarmBlocks(now, nowBegin);
  const int depth = kept.lines[begin].depth;
  ContentText result;
  result.lineEnd = kept.lineEnd;
  const std::size_t end = kept.EndOf(begin);
  for (std::size_t i = 0; i < kept.lines.size(); ++i) {
    const auto block = std::find_if(keptBlocks.begin(), keptBlocks.end(), [i](const auto& b) { return i >= b.first && i <= b.second; });
    if (block != keptBlocks.end() && nowBlocks.empty()) continue;
    if (block == keptBlocks.begin() && !nowBlocks.empty() && kept.lines[i].name == "TRIGGER" && kept.lines[i].depth == depth + 1) {
      continue;
    }
    if (i == end && keptBlocks.empty() && !nowBlocks.empty()) {
      for (std::size_t n = nowBlocks.front().first; n <= nowBlocks.front().second; ++n) {
        result.lines.push_back(Line(now.lines[n].raw, depth + 1));
      }
    }
    result.lines.push_back(kept.lines[i]);
    if (block == keptBlocks.begin() && !nowBlocks.empty() && i == block->first) {
      for (std::size_t n = nowBlocks.front().first + 1; n < nowBlocks.front().second; ++n) {
        if (now.lines[n].name == "TRIGGER") result.lines.push_back(Line(now.lines[n].raw, depth + 1));
      }
    }
  }
  return result;
}

// The parameters of a raw parameter text, split on ";" outside double quotes.
std::vector<std::string> Parameters(std::string_view text) {
  std::vector<std::string> parameters;
  if (text.empty()) return parameters;
  std::string current;
  bool quoted = false;
  for (const char c : text) {
    if (c == '"') quoted = !quoted;
    if (c == ';' && !quoted) {
      parameters.push_back(std::move(current));
      current.clear();
      continue;
    }
    current += c;
  }
  parameters.push_back(std::move(current));
  return parameters;
}

std::string ParameterName(std::string_view parameter) { return Lower(parameter.substr(0, parameter.find('='))); }

// A parameter's value without enclosing double quotes.
std::string Unquoted(std::string_view parameter) {
  const std::size_t equals = parameter.find('=');
  std::string_view value = equals == std::string_view::npos ? std::string_view() : parameter.substr(equals + 1);
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
  return std::string(value);
}

// The address of an attendee or organizer line, without "mailto:", in lower case.
std::string CalendarAddress(const ContentLine& line) {
  std::string address = Lower(ReadLine(line).value);
  if (address.rfind("mailto:", 0) == 0) address.erase(0, 7);
  return address;
}

// An attendee or organizer the record changed keeps the parameters it has no key for (ROLE,
// RSVP, CUTYPE, ...): the written line's parameters replace those of the same name, and the
// record's own (CN, PARTSTAT) that the written line no longer has are removed.
std::string MergedPerson(const ContentLine& kept, const ContentLine& written) {
  if (kept.name != "ATTENDEE" && kept.name != "ORGANIZER") return ReplaceValue(kept, written);
  const LineParts keptParts = SplitLine(kept.raw);
  const LineParts writtenParts = SplitLine(written.raw);
  std::vector<std::string> parameters = Parameters(keptParts.parameters);
  const std::vector<std::string> fresh = Parameters(writtenParts.parameters);
  std::erase_if(parameters, [&fresh](const std::string& parameter) {
    const std::string name = ParameterName(parameter);
    const bool recordsOwn = name == "cn" || name == "partstat";
    const bool rewritten = std::any_of(fresh.begin(), fresh.end(), [&name](const std::string& f) { return ParameterName(f) == name; });
    return recordsOwn && !rewritten;
  });
  for (const std::string& parameter : fresh) {
    const auto same = std::find_if(parameters.begin(), parameters.end(),
                                   [&parameter](const std::string& p) { return ParameterName(p) == ParameterName(parameter); });
    if (same == parameters.end()) {
      parameters.push_back(parameter);
    } else if (Unquoted(*same) != Unquoted(parameter)) {
      *same = parameter;
    }
  }
  std::string line = keptParts.name;
  for (const std::string& parameter : parameters) line += ";" + parameter;
  // The same address keeps its spelling ("mailto:" in the kept letter case).
  const bool sameAddress = CalendarAddress(kept) == CalendarAddress(written);
  return line + ":" + (sameAddress ? keptParts.value : writtenParts.value);
}

// Reads the record's view of kept lines, one at a time.
class CalendarLines {
 public:
  CalendarLines(const ContentText& kept, const CDataItem& record, CDataItem::Ptr whole)
      : mKept(kept), mRecord(record), mWhole(std::move(whole)) {}

  bool Contributes(std::size_t index) {
    std::string text;
    for (std::size_t i = 0; i < mKept.lines.size(); ++i) {
      if (i != index) text.append(mKept.lines[i].raw).append("\n");
    }
    const ContentText without = ContentText::Split(text, false);
    const std::optional<FoundComponent> found = FindComponent(without, text, mRecord);
    return !found || !(found->record->properties == mWhole->properties);
  }

  // An attendee: its address, its name and the state the record keeps.
  static std::string Key(const ContentLine& line) {
    const VCalProperty property = ReadLine(line);
    const std::string& state = property.Param("PARTSTAT");
    const bool kept = state == "ACCEPTED" || state == "DECLINED" || state == "TENTATIVE";
    return Class(line) + "|" + property.Param("CN") + "|" + (kept ? state : "NEEDS-ACTION");
  }
  static std::string Class(const ContentLine& line) { return line.name + "|" + CalendarAddress(line); }

 private:
  const ContentText& mKept;
  const CDataItem& mRecord;
  CDataItem::Ptr mWhole;
};

// A line of another version's text that says the same in the record's version: the value decoded
// and escaped again, without the transfer encoding and character set parameters.
std::string InRecordVersion(const ContentLine& line) {
  const LineParts parts = SplitLine(line.raw);
  std::vector<std::string> parameters = Parameters(parts.parameters);
  const bool encoded = std::any_of(parameters.begin(), parameters.end(), [](const std::string& p) {
    const std::string name = ParameterName(p);
    return name == "encoding" || name == "charset" || name == "quoted-printable" || name == "base64";
  });
  if (!encoded) return line.raw;
  std::erase_if(parameters, [](const std::string& p) {
    const std::string name = ParameterName(p);
    return name == "encoding" || name == "charset" || name == "quoted-printable" || name == "base64";
  });
  std::string out = parts.name;
  for (const std::string& parameter : parameters) out += ";" + parameter;
  return out + ":" + EscapeVCalValue(ReadLine(line).value);
}

// The record's text with what a kept text of another version says that both versions share; a
// property the record did not change and the kept text does not have is left out.
std::string MergeAcrossVersions(const ContentText& kept, std::size_t keptBegin, const ContentText& now, const ContentText& was,
                                const CDataItem& record) {
  const std::size_t nowBegin = now.FindBegin(ComponentName(record));
  std::map<std::string, std::vector<std::string>> nowGroups, wasGroups;
  std::set<std::string> keptGroups;
  for (const std::size_t i : DirectLines(now, nowBegin)) nowGroups[GroupOf(now.lines[i].name, record.kind)].push_back(now.lines[i].raw);
  const std::size_t wasBegin = was.FindBegin(ComponentName(record));
  for (const std::size_t i : DirectLines(was, wasBegin)) wasGroups[GroupOf(was.lines[i].name, record.kind)].push_back(was.lines[i].raw);
  for (const std::size_t i : DirectLines(kept, keptBegin)) keptGroups.insert(GroupOf(kept.lines[i].name, record.kind));
  const auto notHad = [&](const ContentLine& line) {
    const std::string group = GroupOf(line.name, record.kind);
    return !group.empty() && keptGroups.count(group) == 0 && nowGroups[group] == wasGroups[group];
  };
  std::vector<std::string> shared;
  std::string uid;
  for (const std::size_t i : DirectLines(kept, keptBegin)) {
    const ContentLine& line = kept.lines[i];
    const bool sharedName = line.name.rfind("X-", 0) == 0 ||
                            std::find(std::begin(kSharedUnheld), std::end(kSharedUnheld), line.name) != std::end(kSharedUnheld);
    if (!sharedName || IsHeld(line.name, record.kind)) continue;
    if (line.name == "UID") {
      uid = InRecordVersion(line);
    } else {
      shared.push_back(InRecordVersion(line));
    }
  }
  std::vector<std::string> out;
  const std::size_t nowEnd = now.EndOf(nowBegin);
  bool inserted = false;
  for (std::size_t i = 0; i < now.lines.size(); ++i) {
    const ContentLine& line = now.lines[i];
    const bool ours = i > nowBegin && i < nowEnd;
    if (ours && line.name == "UID" && line.depth == now.lines[nowBegin].depth) {
      if (!uid.empty()) out.push_back(uid);
      continue;
    }
    if (ours && line.depth == now.lines[nowBegin].depth && (notHad(line) || SplitLine(line.raw).value.empty())) continue;
    if (ours && !inserted && (i == nowEnd || (line.name == "BEGIN" && line.depth > now.lines[nowBegin].depth))) {
      out.insert(out.end(), shared.begin(), shared.end());
      inserted = true;
    }
    if (i == nowEnd && !inserted) {
      out.insert(out.end(), shared.begin(), shared.end());
      inserted = true;
    }
    out.push_back(line.raw);
  }
  return Join(out, now.lineEnd);
}

}  // namespace

const std::vector<std::string_view>& HeldEventProperties() {
  static const std::vector<std::string_view> names = {"SUMMARY",  "DESCRIPTION", "CLASS",     "PRIORITY", "DTSTART",
                                                      "DTEND",    "DURATION",    "LOCATION",  "CATEGORIES", "RRULE",
                                                      "EXDATE",   "ATTENDEE",    "ORGANIZER", "RECURRENCE-ID", "AALARM",
                                                      "DALARM"};
  return names;
}

const std::vector<std::string_view>& HeldTaskProperties() {
  static const std::vector<std::string_view> names = {"SUMMARY", "DESCRIPTION", "PRIORITY",         "DTSTART", "DUE",
                                                      "STATUS",  "CLASS",       "PERCENT-COMPLETE", "CATEGORIES"};
  return names;
}

std::string MergeCalendarText(std::string_view kept, const CDataItem& record, const ItemTextOptions& options) {
  if (record.kind != ITEM_EVENT && record.kind != ITEM_TASK) return record.ToText(options);
  const ContentText keptText = ContentText::Split(kept, false);
  const std::optional<FoundComponent> found = FindComponent(keptText, kept, record);
  if (!found) return record.ToText(options);
  const std::string nowText = record.ToText(options), wasText = found->record->ToText(options);
  const ContentText now = ContentText::Split(nowText, false);
  // Lines of another version can take no line of the record's: unless the record changed
  // nothing, it goes out in its own version.
  const ContentText was = ContentText::Split(wasText, false);
  if (VersionOf(now) != VersionOf(keptText) && nowText != wasText) {
    return MergeAcrossVersions(keptText, found->begin, now, was, record);
  }

  const char* const name = ComponentName(record);
  const std::size_t nowBegin = now.FindBegin(name), wasBegin = was.FindBegin(name);
  const ContentText adjusted = WithRecordAlarm(keptText, found->begin, now, nowBegin, was, wasBegin);
  std::string adjustedText;
  for (const ContentLine& line : adjusted.lines) adjustedText.append(line.raw).append("\n");
  const std::optional<FoundComponent> whole = FindComponent(adjusted, adjustedText, record);
  CalendarLines lines(adjusted, record, whole ? whole->record : found->record);
  ComponentMerge merge;
  merge.kept = &adjusted;
  merge.keptBegin = found->begin;
  merge.now = &now;
  merge.nowBegin = nowBegin;
  merge.was = &was;
  merge.wasBegin = wasBegin;
  const int kind = record.kind;
  merge.groupOf = [kind](std::string_view line) { return GroupOf(line, kind); };
  merge.isList = [](std::string_view group) { return group == "ATTENDEE"; };
  merge.contributes = [&lines](std::size_t index) { return lines.Contributes(index); };
  merge.key = [](const ContentLine& line) { return CalendarLines::Key(line); };
  merge.lineClass = [](const ContentLine& line) { return CalendarLines::Class(line); };
  merge.replace = MergedPerson;
  const std::vector<std::string> component = MergeComponent(merge);

  // The calendar's own lines and time zones, the record's zones the kept text lacks (when the
  // record changed: an unchanged item goes back as it came), the component.
  std::vector<std::string> out;
  std::vector<std::string> keptZones;
  for (std::size_t zone = adjusted.FindBegin("VTIMEZONE"); zone < adjusted.lines.size(); zone = adjusted.FindBegin("VTIMEZONE", zone + 1)) {
    keptZones.push_back(DirectValue(adjusted, zone, "TZID"));
  }
  for (std::size_t i = 0; i < adjusted.lines.size(); ++i) {
    const ContentLine& line = adjusted.lines[i];
    if (line.name == "BEGIN" && line.depth == 2) {
      const std::size_t end = adjusted.EndOf(i);
      if (i == found->begin) {
        for (std::size_t zone = now.FindBegin("VTIMEZONE"); nowText != wasText && zone < now.lines.size();
             zone = now.FindBegin("VTIMEZONE", zone + 1)) {
          const std::string tzid = DirectValue(now, zone, "TZID");
          if (std::find(keptZones.begin(), keptZones.end(), tzid) != keptZones.end()) continue;
          for (std::size_t z = zone; z <= now.EndOf(zone) && z < now.lines.size(); ++z) out.push_back(now.lines[z].raw);
        }
        out.insert(out.end(), component.begin(), component.end());
      } else if (line.value != "VEVENT" && line.value != "VTODO") {
        for (std::size_t k = i; k <= end && k < adjusted.lines.size(); ++k) out.push_back(adjusted.lines[k].raw);
      }
      i = end;
      continue;
    }
    out.push_back(line.raw);
  }
  return Join(out, keptText.lineEnd);
}
