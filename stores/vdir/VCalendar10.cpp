// vCalendar 1.0 item text converted to iCalendar 2.0: time zone, times, recurrence rules, alarms,
// attendees and text values.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "common/BuildInfo.h"
#include "pim/CalendarZones.h"
#include "pim/OleDate.h"
#include "pim/TimeZoneRule.h"
#include "pim/VCalDateTime.h"
#include "stores/vdir/ItemValues.h"
#include "stores/vdir/VdirCalendar_p.h"

namespace {

// How a property of a vCalendar 1.0 event or task is converted.
enum class Conversion {
  Text,      // decoded, escaped
  Priority,  // vCalendar 1.0's 1 (high), 2 (normal) and 3 or more (low) as iCalendar's 1, 5 and 9
  List,      // decoded, values separated by ","
  Time,      // a date or date-time: VALUE=DATE or the zone's TZID
  Stamp,     // a date-time that iCalendar 2.0 wants in UTC
  TimeList,  // EXDATE, RDATE
  Rule,      // RRULE, EXRULE in the 1.0 grammar
  Alarm,     // AALARM, DALARM, MALARM, PALARM
  Attendee,
  Transp,
  Geo,
  Raw,       // decoded, as it stands
};

struct PropertyConversion {
  std::string_view name;
  Conversion conversion;
  std::string_view newName;  // "" keeps the name
};

constexpr PropertyConversion kConversions[] = {
    {"SUMMARY", Conversion::Text, ""},        {"DESCRIPTION", Conversion::Text, ""},
    {"LOCATION", Conversion::Text, ""},       {"COMMENT", Conversion::Text, ""},
    {"CONTACT", Conversion::Text, ""},        {"UID", Conversion::Text, ""},
    {"CLASS", Conversion::Text, ""},          {"STATUS", Conversion::Text, ""},
    {"CATEGORIES", Conversion::List, ""},     {"RESOURCES", Conversion::List, ""},
    {"DTSTART", Conversion::Time, ""},        {"DTEND", Conversion::Time, ""},
    {"DUE", Conversion::Time, ""},            {"RECURRENCE-ID", Conversion::Time, ""},
    {"COMPLETED", Conversion::Stamp, ""},     {"LAST-MODIFIED", Conversion::Stamp, ""},
    {"DCREATED", Conversion::Stamp, "CREATED"}, {"CREATED", Conversion::Stamp, ""},
    {"DTSTAMP", Conversion::Stamp, ""},       {"EXDATE", Conversion::TimeList, ""},
    {"RDATE", Conversion::TimeList, ""},      {"RRULE", Conversion::Rule, ""},
    {"EXRULE", Conversion::Rule, ""},         {"AALARM", Conversion::Alarm, ""},
    {"DALARM", Conversion::Alarm, ""},        {"MALARM", Conversion::Alarm, ""},
    {"PALARM", Conversion::Alarm, ""},        {"ATTENDEE", Conversion::Attendee, ""},
    {"TRANSP", Conversion::Transp, ""},       {"GEO", Conversion::Geo, ""},
    {"PRIORITY", Conversion::Priority, ""},        {"SEQUENCE", Conversion::Raw, ""},
    {"URL", Conversion::Raw, ""},             {"ATTACH", Conversion::Raw, ""},
    {"PERCENT-COMPLETE", Conversion::Raw, ""}, {"RNUM", Conversion::Raw, ""},
};

const PropertyConversion* ConversionOf(std::string_view name) {
  for (const PropertyConversion& conversion : kConversions) {
    if (conversion.name == name) return &conversion;
  }
  return nullptr;
}

bool IsDateOnly(std::string_view value) {
  return value.size() == 8 && value.find_first_not_of("0123456789") == std::string_view::npos;
}

bool IsUtc(std::string_view value) { return IsVCalUtcText(value); }

std::string OffsetText(int minutes, bool colon) {
  char text[16];
  const int magnitude = std::abs(minutes);
  std::snprintf(text, sizeof text, colon ? "%c%02d:%02d" : "%c%02d%02d", minutes < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
  return text;
}

// "+01", "+0100", "+01:00", "-5" as minutes east of UTC.
std::optional<int> ReadOffset(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const int sign = text.front() == '-' ? -1 : 1;
  if (text.front() == '+' || text.front() == '-') text.remove_prefix(1);
  std::string digits;
  for (const char c : text) {
    if (c >= '0' && c <= '9') digits += c;
  }
  if (digits.empty() || digits.size() > 4) return std::nullopt;
  const int hours = digits.size() <= 2 ? std::stoi(digits) : std::stoi(digits.substr(0, digits.size() - 2));
  const int minutes = digits.size() <= 2 ? 0 : std::stoi(digits.substr(digits.size() - 2));
  return sign * (hours * 60 + minutes);
}

// ---- The time zone of TZ and DAYLIGHT

struct DaylightPeriod {
  std::string start;  // as written
  std::string end;
  int offset = 0;  // minutes east of UTC
  std::string standardName;
  std::string daylightName;
};

struct Zone10 {
  std::string tzid;
  int standardOffset = 0;
  std::vector<DaylightPeriod> periods;
  TimeZoneRule rule;  // the VTIMEZONE as the readers see it
  CalendarComponent component;
};

// A transition time as a wall-clock time of the zone in `offset` (minutes east).
std::string WallTime(const std::string& value, int offset) {
  OleDate date = ParseVCalDateTime(value);
  if (!date.IsValid()) return value.substr(0, 15);
  if (IsUtc(value)) date += OleDateSpan(0, 0, offset, 0);
  return date.Format("%Y%m%dT%H%M%S");
}

CalendarComponent ZonePart(const char* name, const std::string& start, int from, int to, const std::string& zoneName) {
  CalendarComponent part;
  part.name = name;
  part.lines.push_back(ItemLine{"", "DTSTART", {}, start});
  part.lines.push_back(ItemLine{"", "TZOFFSETFROM", {}, OffsetText(from, false)});
  part.lines.push_back(ItemLine{"", "TZOFFSETTO", {}, OffsetText(to, false)});
  if (!zoneName.empty()) part.lines.push_back(ItemLine{"", "TZNAME", {}, EscapeText(zoneName)});
  return part;
}

// The VTIMEZONE `zone` of the header's `tz` and `daylight` values: the yearly rule the first
// daylight period follows (as the calendar reader takes the zone, so occurrences in years the
// DAYLIGHT lines do not list keep their time), else a part per listed period.
CalendarComponent ZoneComponent(const Zone10& zone, const std::string& tz, const std::vector<std::string>& daylight) {
  const DaylightPeriod* named = zone.periods.empty() ? nullptr : &zone.periods.front();
  if (named != nullptr) {
    const OleDate start = ParseVCalDateTime(named->start);
    const std::string posix = PosixZoneOfVCal10(tz, daylight);
    const std::string rule = start.IsValid() ? VTimeZoneText(posix, start.Year(), start.Year()) : std::string();
    if (rule.find("\r\nRRULE:") != std::string::npos) {
      CalendarComponent component = ReadComponent(rule);
      if (ItemLine* tzid = component.Find("TZID")) tzid->value = EscapeText(zone.tzid);
      for (CalendarComponent& part : component.children) {
        const std::string& name = part.name == "DAYLIGHT" ? named->daylightName : named->standardName;
        if (ItemLine* tzname = part.Find("TZNAME"); tzname != nullptr && !name.empty()) tzname->value = EscapeText(name);
      }
      return component;
    }
  }
  CalendarComponent component;
  component.name = "VTIMEZONE";
  component.lines.push_back(ItemLine{"", "TZID", {}, EscapeText(zone.tzid)});
  const std::string standardName = named != nullptr ? named->standardName : "";
  component.children.push_back(ZonePart("STANDARD", "19700101T000000", zone.standardOffset, zone.standardOffset, standardName));
  for (const DaylightPeriod& period : zone.periods) {
    component.children.push_back(ZonePart("DAYLIGHT", WallTime(period.start, zone.standardOffset), zone.standardOffset,
                                          period.offset, period.daylightName));
    component.children.push_back(ZonePart("STANDARD", WallTime(period.end, period.offset), period.offset,
                                          zone.standardOffset, period.standardName));
  }
  return component;
}

// The zone the header's TZ and DAYLIGHT lines describe (they are taken out of the header);
// nullopt without a readable TZ.
std::optional<Zone10> TakeZone(std::vector<ItemLine>& header) {
  std::optional<int> standard;
  std::string tz;
  std::vector<std::string> daylight;
  std::vector<DaylightPeriod> periods;
  for (const ItemLine& line : header) {
    if (line.name == "TZ") {
      standard = ReadOffset(line.value);
      tz = line.value;
    }
    if (line.name != "DAYLIGHT") continue;
    daylight.push_back(line.value);
    const std::vector<std::string> parts = SplitEscaped(line.value, ";");
    if (parts.size() < 4 || UpperAscii(parts[0]) != "TRUE") continue;
    const std::optional<int> offset = ReadOffset(parts[1]);
    if (!offset) continue;
    periods.push_back(DaylightPeriod{parts[2], parts[3], *offset, parts.size() > 4 ? parts[4] : "", parts.size() > 5 ? parts[5] : ""});
  }
  std::erase_if(header, [](const ItemLine& line) { return line.name == "TZ" || line.name == "DAYLIGHT"; });
  if (!standard) return std::nullopt;
  Zone10 zone;
  zone.standardOffset = *standard;
  zone.periods = std::move(periods);
  const DaylightPeriod* named = zone.periods.empty() ? nullptr : &zone.periods.front();
  zone.tzid = named != nullptr && !named->standardName.empty() && !named->daylightName.empty()
                  ? named->standardName + "/" + named->daylightName
                  : "UTC" + OffsetText(zone.standardOffset, true);
  zone.component = ZoneComponent(zone, tz, daylight);
  std::string text = zone.component.Text();
  for (std::size_t at = text.find('\r'); at != std::string::npos; at = text.find('\r', at)) text.erase(at, 1);
  std::size_t position = text.find('\n') + 1;
  ReadVTimeZone(text, position, zone.rule);
  return zone;
}

// ---- Times

// The UTC instant of a 1.0 date-time: as it stands with "Z", else a wall-clock time of the zone,
// or of the machine without one.
OleDate InstantOf(const std::string& value, const Zone10* zone) {
  OleDate date = ParseVCalDateTime(value);
  if (!date.IsValid() || IsUtc(value)) return date;
  if (zone != nullptr) {
    ZoneToUtc(zone->rule, date);
  } else {
    LocalToUtc(date);
  }
  return date;
}

std::string UtcText(const OleDate& date) { return date.Format("%Y%m%dT%H%M%SZ"); }

// A time line: dates marked, floating times given the zone.
void ConvertTime(ItemLine& line, const Zone10* zone) {
  if (IsDateOnly(line.value)) {
    line.SetParam("VALUE", {"DATE"});
  } else if (zone != nullptr && !IsUtc(line.value) && line.Param("TZID") == nullptr) {
    line.SetParam("TZID", {zone->tzid});
  }
}

void ConvertStamp(ItemLine& line, const Zone10* zone) {
  if (IsDateOnly(line.value) || IsUtc(line.value)) return;
  const OleDate instant = InstantOf(line.value, zone);
  if (instant.IsValid()) line.value = UtcText(instant);
}

void ConvertTimeList(ItemLine& line, const Zone10* zone) {
  std::vector<std::string> values;
  for (std::string& value : SplitEscaped(line.value, ";,")) {
    if (!value.empty()) values.push_back(std::move(value));
  }
  line.value.clear();
  for (const std::string& value : values) line.value += (line.value.empty() ? "" : ",") + value;
  if (values.empty()) return;
  if (IsDateOnly(values.front())) {
    line.SetParam("VALUE", {"DATE"});
  } else if (zone != nullptr && !IsUtc(values.front()) && line.Param("TZID") == nullptr) {
    line.SetParam("TZID", {zone->tzid});
  }
}

// ---- Recurrence rules

struct RuleWords {
  std::vector<std::string> words;
  std::size_t at = 0;
  bool Done() const { return at >= words.size(); }
  const std::string& Peek() const { return words[at]; }
};

bool IsWeekday(const std::string& word) {
  static constexpr std::string_view kDays[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};
  return std::find(std::begin(kDays), std::end(kDays), word) != std::end(kDays);
}

// "1+" 1, "2-" -2, "LD" -1; nullopt for anything else.
std::optional<int> Ordinal(const std::string& word) {
  if (word == "LD") return -1;
  if (word.size() < 2 || (word.back() != '+' && word.back() != '-')) return std::nullopt;
  const std::string digits = word.substr(0, word.size() - 1);
  if (digits.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  const int number = std::stoi(digits);
  return word.back() == '-' ? -number : number;
}

std::string Joined(const std::vector<std::string>& parts) {
  std::string out;
  for (const std::string& part : parts) out += (out.empty() ? "" : ",") + part;
  return out;
}

// The 2.0 rule of a 1.0 rule; nullopt when it cannot be read. `start` is the item's DTSTART
// line (after conversion), whose form UNTIL takes.
std::optional<std::string> ConvertRule(const std::string& value, const ItemLine* start, const Zone10* zone) {
  RuleWords rule;
  for (std::size_t at = 0; at < value.size();) {
    const std::size_t end = std::min(value.find(' ', at), value.size());
    if (end > at) rule.words.push_back(UpperAscii(value.substr(at, end - at)));
    at = end + 1;
  }
  if (rule.Done()) return std::nullopt;
  const std::string head = rule.words[rule.at++];
  std::string frequency;
  std::size_t digits = 1;
  if (head.rfind("MP", 0) == 0 || head.rfind("MD", 0) == 0 || head.rfind("YM", 0) == 0 || head.rfind("YD", 0) == 0) {
    digits = 2;
  }
  const std::string kind = head.substr(0, digits);
  const std::string interval = head.substr(digits);
  if (interval.empty() || interval.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  std::string parts;
  std::vector<std::string> list;
  if (kind == "D") {
    frequency = "DAILY";
  } else if (kind == "W") {
    frequency = "WEEKLY";
    while (!rule.Done() && IsWeekday(rule.Peek())) list.push_back(rule.words[rule.at++]);
    if (!list.empty()) parts = ";BYDAY=" + Joined(list);
  } else if (kind == "MP") {
    frequency = "MONTHLY";
    while (!rule.Done()) {
      const std::optional<int> ordinal = Ordinal(rule.Peek());
      if (!ordinal) break;
      ++rule.at;
      while (!rule.Done() && IsWeekday(rule.Peek())) list.push_back(std::to_string(*ordinal) + rule.words[rule.at++]);
    }
    if (!list.empty()) parts = ";BYDAY=" + Joined(list);
  } else if (kind == "MD" || kind == "YM" || kind == "YD") {
    frequency = kind == "MD" ? "MONTHLY" : "YEARLY";
    while (!rule.Done()) {
      const std::string& word = rule.Peek();
      if (const std::optional<int> ordinal = Ordinal(word)) {
        list.push_back(std::to_string(*ordinal));
      } else if (!word.empty() && word.find_first_not_of("0123456789") == std::string::npos) {
        list.push_back(word);
      } else {
        break;
      }
      ++rule.at;
    }
    const char* by = kind == "MD" ? ";BYMONTHDAY=" : kind == "YM" ? ";BYMONTH=" : ";BYYEARDAY=";
    if (!list.empty()) parts = by + Joined(list);
  } else {
    return std::nullopt;
  }
  std::string text = "FREQ=" + frequency;
  if (interval != "1") text += ";INTERVAL=" + interval;
  text += parts;
  if (!rule.Done()) {
    const std::string& end = rule.words[rule.at];
    if (end.size() > 1 && end.front() == '#') {
      if (end != "#0") text += ";COUNT=" + end.substr(1);
    } else if (ParseVCalDateTime(end).IsValid()) {
      const bool allDay = start != nullptr && start->ParamValue("VALUE") == "DATE";
      const bool zoned = start != nullptr && start->Param("TZID") != nullptr;
      std::string until = end;
      if (allDay) {
        until = end.substr(0, 8);
      } else if (zoned && !IsUtc(end)) {
        until = UtcText(InstantOf(end, zone));
      }
      text += ";UNTIL=" + until;
    }
  }
  return text;
}

// ---- Alarms

std::string DurationText(long long seconds) {
  std::string text = seconds < 0 ? "-P" : "P";
  seconds = std::llabs(seconds);
  if (seconds % 86400 == 0 && seconds > 0) return text + std::to_string(seconds / 86400) + "D";
  text += "T";
  if (seconds >= 3600) text += std::to_string(seconds / 3600) + "H";
  if (seconds % 3600 >= 60) text += std::to_string(seconds % 3600 / 60) + "M";
  if (seconds % 60 != 0 || seconds == 0) text += std::to_string(seconds % 60) + "S";
  return text;
}

long long SecondsBetween(const OleDate& from, const OleDate& to) { return (to - from).TotalSeconds(); }

std::string AudioType(const std::string& type) {
  const std::string upper = UpperAscii(type);
  if (upper == "WAVE") return "audio/x-wav";
  if (upper == "PCM") return "audio/basic";
  if (upper == "AIFF") return "audio/x-aiff";
  return {};
}

// The VALARM of an AALARM, DALARM, MALARM or PALARM line.
CalendarComponent ConvertAlarm(const ItemLine& line, const CalendarComponent& item, const Zone10* zone) {
  const std::vector<std::string> parts = SplitEscaped(line.value, ";");
  const auto part = [&parts](std::size_t index) { return index < parts.size() ? parts[index] : std::string(); };
  CalendarComponent alarm;
  alarm.name = "VALARM";
  const char* action = line.name == "AALARM" ? "AUDIO" : line.name == "DALARM" ? "DISPLAY" : line.name == "MALARM" ? "EMAIL" : "PROCEDURE";
  alarm.lines.push_back(ItemLine{"", "ACTION", {}, action});
  const OleDate when = InstantOf(part(0), zone);
  const ItemLine* start = item.Find("DTSTART");
  const ItemLine* due = item.Find("DUE");
  const ItemLine* anchor = start != nullptr ? start : due;
  ItemLine trigger{"", "TRIGGER", {}, ""};
  const OleDate anchorTime = anchor == nullptr ? OleDate() : InstantOf(anchor->value, zone);
  if (anchorTime.IsValid() && when.IsValid()) {
    trigger.value = DurationText(SecondsBetween(anchorTime, when));
    if (anchor == due) trigger.params.push_back(ItemParam{"RELATED", {"END"}});
  } else if (when.IsValid()) {
    trigger.params.push_back(ItemParam{"VALUE", {"DATE-TIME"}});
    trigger.value = UtcText(when);
  }
  alarm.lines.push_back(std::move(trigger));
  // iCalendar 2.0 has the snooze time and the repeat count together or neither.
  if (!part(1).empty()) {
    alarm.lines.push_back(ItemLine{"", "DURATION", {}, part(1)});
    alarm.lines.push_back(ItemLine{"", "REPEAT", {}, part(2).empty() ? "0" : part(2)});
  }
  if (line.name == "AALARM" && !part(3).empty()) {
    ItemLine attach{"", "ATTACH", {}, part(3)};
    if (const std::string type = AudioType(line.ParamValue("TYPE")); !type.empty()) attach.params.push_back(ItemParam{"FMTTYPE", {type}});
    alarm.lines.push_back(std::move(attach));
  } else if (line.name == "DALARM" && !part(3).empty()) {
    alarm.lines.push_back(ItemLine{"", "DESCRIPTION", {}, EscapeText(part(3))});
  } else if (line.name == "MALARM") {
    if (!part(3).empty()) alarm.lines.push_back(ItemLine{"", "ATTENDEE", {}, "mailto:" + part(3)});
    if (!part(4).empty()) {
      alarm.lines.push_back(ItemLine{"", "SUMMARY", {}, EscapeText(part(4))});
      alarm.lines.push_back(ItemLine{"", "DESCRIPTION", {}, EscapeText(part(4))});
    }
  } else if (line.name == "PALARM" && !part(3).empty()) {
    alarm.lines.push_back(ItemLine{"", "ATTACH", {}, part(3)});
  }
  return alarm;
}

// ---- Attendees

struct WordMap {
  std::string_view from;
  std::string_view to;
};

constexpr WordMap kPartstat[] = {{"ACCEPTED", "ACCEPTED"},   {"NEEDS ACTION", "NEEDS-ACTION"}, {"SENT", "NEEDS-ACTION"},
                                 {"TENTATIVE", "TENTATIVE"}, {"CONFIRMED", "ACCEPTED"},       {"DECLINED", "DECLINED"},
                                 {"COMPLETED", "COMPLETED"}, {"DELEGATED", "DELEGATED"}};
constexpr WordMap kExpect[] = {{"FYI", "NON-PARTICIPANT"}, {"REQUIRE", "REQ-PARTICIPANT"},
                               {"REQUEST", "OPT-PARTICIPANT"}, {"IMMEDIATE", "REQ-PARTICIPANT"}};

std::string Mapped(const std::string& word, const WordMap* begin, const WordMap* end) {
  const std::string upper = UpperAscii(word);
  for (const WordMap* entry = begin; entry != end; ++entry) {
    if (entry->from == upper) return std::string(entry->to);
  }
  return word;
}

void ConvertAttendee(ItemLine& line) {
  std::string value = line.value;
  std::string name;
  const std::size_t open = value.find('<');
  const std::size_t close = value.rfind('>');
  if (open != std::string::npos && close != std::string::npos && close > open) {
    name = value.substr(0, open);
    while (!name.empty() && (name.back() == ' ' || name.back() == '"')) name.pop_back();
    while (!name.empty() && (name.front() == ' ' || name.front() == '"')) name.erase(0, 1);
    value = value.substr(open + 1, close - open - 1);
  }
  const std::string role = UpperAscii(line.ParamValue("ROLE"));
  const bool organizer = role == "ORGANIZER" || role == "OWNER";
  std::vector<ItemParam> params;
  if (!name.empty() && line.Param("CN") == nullptr) params.push_back(ItemParam{"CN", {name}});
  for (ItemParam& param : line.params) {
    if (param.name == "ROLE") {
      if (!organizer && role != "ATTENDEE") params.push_back(ItemParam{"ROLE", {role == "DELEGATE" ? "REQ-PARTICIPANT" : role}});
    } else if (param.name == "STATUS") {
      if (!organizer && !param.values.empty()) params.push_back(ItemParam{"PARTSTAT", {Mapped(param.values.front(), std::begin(kPartstat), std::end(kPartstat))}});
    } else if (param.name == "EXPECT") {
      if (!organizer && !param.values.empty()) params.push_back(ItemParam{"ROLE", {Mapped(param.values.front(), std::begin(kExpect), std::end(kExpect))}});
    } else if (param.name == "RSVP") {
      if (!organizer && !param.values.empty()) params.push_back(ItemParam{"RSVP", {UpperAscii(param.values.front()) == "YES" ? "TRUE" : "FALSE"}});
    } else if (param.name == "TYPE") {
      continue;  // INTERNET: the address is a mailto URI
    } else {
      params.push_back(std::move(param));
    }
  }
  line.params = std::move(params);
  if (organizer) line.name = "ORGANIZER";
  const bool uri = value.find(':') != std::string::npos;
  line.value = uri ? value : "mailto:" + value;
}

// ---- Items

void ConvertItem(CalendarComponent& item, const Zone10* zone) {
  std::vector<ItemLine> lines;
  std::vector<CalendarComponent> alarms;
  for (ItemLine& line : item.lines) DecodeLineValue(line);
  // The start's form decides the rules' UNTIL; it is converted first.
  for (ItemLine& line : item.lines) {
    if (line.name == "DTSTART") ConvertTime(line, zone);
  }
  const std::optional<ItemLine> start = item.Find("DTSTART") != nullptr ? std::optional<ItemLine>(*item.Find("DTSTART")) : std::nullopt;
  // Alarms are made while the times they relate to are still in place. Mail and procedure alarms
  // go first: a reader that keeps one alarm keeps the last, which 1.0 readers took from AALARM
  // and DALARM alone.
  for (const bool reminder : {false, true}) {
    for (const ItemLine& line : item.lines) {
      const PropertyConversion* rule = ConversionOf(line.name);
      const bool isReminder = line.name == "AALARM" || line.name == "DALARM";
      if (rule != nullptr && rule->conversion == Conversion::Alarm && isReminder == reminder) {
        alarms.push_back(ConvertAlarm(line, item, zone));
      }
    }
  }
  for (ItemLine& line : item.lines) {
    const PropertyConversion* rule = ConversionOf(line.name);
    const Conversion conversion = rule == nullptr ? Conversion::Text : rule->conversion;
    if (rule != nullptr && !rule->newName.empty()) line.name = std::string(rule->newName);
    switch (conversion) {
      case Conversion::Text:
        line.value = EscapeText(UnescapeText(line.value));
        if (line.name == "STATUS" && UpperAscii(line.value) == "NEEDS ACTION") line.value = "NEEDS-ACTION";
        break;
      case Conversion::List:
        line.value = JoinEscaped(SplitEscaped(line.value, ";,"), ',');
        break;
      case Conversion::Time:
        if (line.name != "DTSTART") ConvertTime(line, zone);
        break;
      case Conversion::Stamp:
        ConvertStamp(line, zone);
        break;
      case Conversion::TimeList:
        ConvertTimeList(line, zone);
        break;
      case Conversion::Rule:
        if (const std::optional<std::string> converted = ConvertRule(line.value, start ? &*start : nullptr, zone)) line.value = *converted;
        break;
      case Conversion::Alarm:
        continue;
      case Conversion::Attendee:
        ConvertAttendee(line);
        break;
      case Conversion::Transp:
        if (line.value == "0") line.value = "OPAQUE";
        if (line.value == "1") line.value = "TRANSPARENT";
        break;
      case Conversion::Geo:
        if (line.value.find(';') == std::string::npos) std::replace(line.value.begin(), line.value.end(), ',', ';');
        break;
      case Conversion::Priority:
        if (!line.value.empty() && line.value.size() <= 2 && line.value.find_first_not_of("0123456789") == std::string::npos) {
          const int priority = std::stoi(line.value);
          line.value = priority == 0 ? "0" : priority == 1 ? "1" : priority == 2 ? "5" : "9";
        }
        break;
      case Conversion::Raw:
        break;
    }
    lines.push_back(std::move(line));
  }
  item.lines = std::move(lines);
  for (CalendarComponent& alarm : alarms) item.children.push_back(std::move(alarm));
}

}  // namespace

void DecodeLegacyCalendarLines(CalendarComponent& component) {
  for (ItemLine& line : component.lines) {
    if (!IsQuotedPrintable(line) && line.Param("CHARSET") == nullptr) continue;
    DecodeLineValue(line);
    line.value = EscapeText(UnescapeText(line.value));
  }
  for (CalendarComponent& child : component.children) DecodeLegacyCalendarLines(child);
}

void ConvertVCalendar10(CalendarComponent& root) {
  const std::optional<Zone10> zone = TakeZone(root.lines);
  bool hasProductId = false;
  for (ItemLine& line : root.lines) {
    DecodeLineValue(line);
    if (line.name == "VERSION") line.value = "2.0";
    if (line.name == "PRODID") hasProductId = true;
  }
  if (!hasProductId) {
    const std::string productId = std::string("-//") + BuildInfo::kCompanyName + "//" + BuildInfo::kProductName + "//EN";
    const auto version = std::find_if(root.lines.begin(), root.lines.end(), [](const ItemLine& line) { return line.name == "VERSION"; });
    root.lines.insert(version == root.lines.end() ? root.lines.begin() : version + 1, ItemLine{"", "PRODID", {}, productId});
  }
  for (CalendarComponent& child : root.children) {
    if (child.name == "VEVENT" || child.name == "VTODO") ConvertItem(child, zone ? &*zone : nullptr);
  }
  if (zone) {
    const auto first = std::find_if(root.children.begin(), root.children.end(),
                                    [](const CalendarComponent& child) { return child.name == "VEVENT" || child.name == "VTODO"; });
    root.children.insert(first, zone->component);
  }
}
