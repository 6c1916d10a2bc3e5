// Canonical fields of contact and calendar texts, recurrences expanded into their occurrences.
#include "tests/support/ItemFields.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <iterator>
#include <map>
#include <optional>
#include <set>

#include "pim/CalendarZones.h"
#include "pim/PVCard.h"
#include "pim/TimeZoneRule.h"
#include "pim/VCalDateTime.h"
#include "pim/VCalItemReader.h"
#include "pim/VCalProperty.h"
#include "pim/VCalRecurrence.h"
#include "pim/VCardContext.h"
#include "pim/VCardParser.h"

namespace {

constexpr int kExpansionDays = 2 * 366;

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string WithLf(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i] == '\r' ? '\n' : text[i];
  }
  return out;
}

std::vector<std::string> Split(std::string_view text, std::string_view separators) {
  std::vector<std::string> parts;
  for (size_t at = 0; at <= text.size();) {
    const size_t end = std::min(text.find_first_of(separators, at), text.size());
    parts.emplace_back(text.substr(at, end - at));
    at = end + 1;
  }
  return parts;
}

std::string Join(const std::vector<std::string>& parts, std::string_view separator) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) out += (i == 0 ? "" : std::string(separator)) + parts[i];
  return out;
}

// ---- Calendar texts as a tree of components

struct Line {
  std::string name;
  VCalParams params;
  std::string value;
};

struct Component {
  std::string name;
  std::vector<Line> lines;
  std::vector<Component> children;

  const Line* Find(std::string_view lineName) const {
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
      if (it->name == lineName) return &*it;
    }
    return nullptr;
  }
};

// The VEVENT and VTODO components of the text (nested VALARMs kept), and its zones.
std::vector<Component> ReadComponents(const std::string& text, VCalZones& zones) {
  std::vector<Component> items;
  std::vector<Component> open;
  size_t position = 0;
  VCalProperty property;
  std::string tz;
  std::vector<std::string> daylight;
  while (ReadVCalProperty(text, position, property)) {
    if (property.name.empty()) continue;
    const std::string name = Upper(property.name);
    if (open.size() == 1 && open.front().name == "VCALENDAR" && name == "TZ") tz = property.value;
    if (open.size() == 1 && open.front().name == "VCALENDAR" && name == "DAYLIGHT") daylight.push_back(property.value);
    if (name == "BEGIN" && Upper(property.value) == "VTIMEZONE") {
      TimeZoneRule rule;
      ReadVTimeZone(text, position, rule);
      zones.Add(std::move(rule));
    } else if (name == "BEGIN") {
      open.push_back(Component{Upper(property.value), {}, {}});
    } else if (name == "END" && !open.empty()) {
      Component done = std::move(open.back());
      open.pop_back();
      if (done.name == "VEVENT" || done.name == "VTODO") {
        items.push_back(std::move(done));
      } else if (!open.empty()) {
        open.back().children.push_back(std::move(done));
      }
    } else if (!open.empty()) {
      open.back().lines.push_back(Line{name, property.params, property.value});
    }
  }
  // vCalendar 1.0: floating times are the wall clock of the zone TZ and DAYLIGHT describe.
  if (!tz.empty()) zones.SetFloatingZone(PosixZoneOfVCal10(tz, daylight));
  return items;
}

// The zone a timed start keeps: the zone its TZID stands for (its name in the zone database, or
// the rule of its VTIMEZONE), UTC, or the floating zone.
std::string ZoneOf(const Line& start, const VCalZones& zones) {
  if (IsVCalDateOnly(start.value, start.params)) return {};
  if (const auto tzid = start.params.find("TZID"); tzid != start.params.end() && !tzid->second.empty()) {
    const std::string id = zones.ZoneIdOf(tzid->second);
    if (!id.empty()) return id;
    return zones.Rule(tzid->second) != nullptr ? "(given by dates)" : "(unknown " + tzid->second + ")";
  }
  if (IsVCalUtcText(start.value)) return "UTC";
  return zones.FloatingZone().empty() ? "(floating)" : zones.FloatingZone();
}

bool IsDateOnly(const std::string& value, const VCalParams& params) { return IsVCalDateOnly(value, params); }

std::string DateText(const OleDate& date) { return date.IsValid() ? date.Format("%Y-%m-%d") : "(invalid)"; }
std::string InstantText(const OleDate& utc) { return utc.IsValid() ? utc.Format("%Y-%m-%dT%H:%M:%SZ") : "(invalid)"; }

std::string CanonicalTime(const std::string& value, const VCalParams& params, const VCalZones& zones) {
  if (IsDateOnly(value, params)) return DateText(ParseVCalDateTime(value));
  return InstantText(VCalTimeToUtc(value, params, zones));
}

std::string CanonicalParams(const VCalParams& params, std::initializer_list<const char*> dropped) {
  std::vector<std::string> parts;
  for (const auto& [name, value] : params) {
    const std::string key = Upper(name);
    if (std::find(dropped.begin(), dropped.end(), key) != dropped.end()) continue;
    parts.push_back(key + "=" + value);
  }
  std::sort(parts.begin(), parts.end());
  return parts.empty() ? "" : "[" + Join(parts, ";") + "] ";
}

std::string WithoutMailto(std::string address) {
  if (Lower(address.substr(0, 7)) == "mailto:") address = address.substr(7);
  return Lower(address);
}

// Words of vCalendar 1.0 with their iCalendar 2.0 spelling.
struct Spelling {
  std::string_view word10;
  std::string_view word20;
};
constexpr Spelling kPartstat10[] = {{"NEEDS ACTION", "NEEDS-ACTION"}, {"SENT", "NEEDS-ACTION"}, {"CONFIRMED", "ACCEPTED"}};
constexpr Spelling kExpect10[] = {{"FYI", "NON-PARTICIPANT"}, {"REQUIRE", "REQ-PARTICIPANT"},
                                  {"REQUEST", "OPT-PARTICIPANT"}, {"IMMEDIATE", "REQ-PARTICIPANT"}};
constexpr Spelling kRsvp10[] = {{"YES", "TRUE"}, {"NO", "FALSE"}};
constexpr Spelling kTransp10[] = {{"0", "OPAQUE"}, {"1", "TRANSPARENT"}};
constexpr Spelling kAudioType10[] = {{"WAVE", "audio/x-wav"}, {"PCM", "audio/basic"}, {"AIFF", "audio/x-aiff"}};

template <std::size_t N>
std::string Spelt20(const std::string& word, const Spelling (&spellings)[N]) {
  for (const Spelling& spelling : spellings) {
    if (Upper(word) == spelling.word10) return std::string(spelling.word20);
  }
  return word;
}

// An ATTENDEE or ORGANIZER: the address, its name and its parameters, in either grammar.
std::string CanonicalAddress(const Line& line) {
  VCalParams params = line.params;
  std::string address = line.value;
  const size_t open = address.find('<');
  const size_t close = address.rfind('>');
  if (open != std::string::npos && close != std::string::npos && close > open) {
    std::string name = address.substr(0, open);
    while (!name.empty() && (name.back() == ' ' || name.back() == '"')) name.pop_back();
    while (!name.empty() && (name.front() == ' ' || name.front() == '"')) name.erase(0, 1);
    if (!name.empty() && params.count("CN") == 0) params["CN"] = name;
    address = address.substr(open + 1, close - open - 1);
  }
  // vCalendar 1.0's words in their iCalendar 2.0 spelling.
  if (const auto status = params.find("STATUS"); status != params.end()) {
    if (params.count("PARTSTAT") == 0) params["PARTSTAT"] = Spelt20(status->second, kPartstat10);
    params.erase(status);
  }
  if (const auto role = params.find("ROLE"); role != params.end() && role->second == "ATTENDEE") params.erase(role);
  if (const auto role = params.find("ROLE"); role != params.end() && role->second == "DELEGATE") role->second = "REQ-PARTICIPANT";
  if (const auto expect = params.find("EXPECT"); expect != params.end()) {
    if (params.count("ROLE") == 0) params["ROLE"] = Spelt20(expect->second, kExpect10);
    params.erase(expect);
  }
  if (const auto rsvp = params.find("RSVP"); rsvp != params.end()) rsvp->second = Spelt20(rsvp->second, kRsvp10);
  return CanonicalParams(params, {"ENCODING", "CHARSET", "TYPE"}) + WithoutMailto(address);
}

// vCalendar 1.0 names the organizer as an attendee with ROLE=ORGANIZER (or OWNER).
bool IsOrganizer10(const Line& line) {
  const auto role = line.params.find("ROLE");
  return line.name == "ATTENDEE" && role != line.params.end() && (role->second == "ORGANIZER" || role->second == "OWNER");
}

// ---- Recurrence expansion

struct Frame {
  const VCalZones* zones = nullptr;
  std::string tzid;  // a zone of the text or the system; else utc or floating
  bool utc = false;
  bool dateOnly = false;

  OleDate ToUtc(OleDate wall) const {
    if (utc || dateOnly) return wall;
    if (!tzid.empty() && zones->ToUtc(tzid, wall)) return wall;
    if (zones->FloatingToUtc(wall)) return wall;
    LocalToUtc(wall);
    return wall;
  }
};

struct Rule {
  std::string freq;
  int interval = 1;
  int count = 0;
  std::optional<OleDate> untilUtc;   // for a timed series
  std::optional<OleDate> untilDate;  // for an all-day series, or a date UNTIL
  std::vector<std::pair<int, int>> byDay;  // ordinal (0 none), weekday 1 = Sunday
  std::vector<int> byMonthDay;
  std::vector<int> byMonth;
  std::vector<int> bySetPos;
  int weekStart = 2;  // Monday
};

int WeekdayNumber(std::string_view name) {
  static constexpr std::string_view kNames[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};
  for (int i = 0; i < 7; ++i) {
    if (name == kNames[i]) return i + 1;
  }
  return 0;
}

int Number(const std::string& text) {
  try {
    return text.empty() ? 0 : std::stoi(text);
  } catch (const std::exception&) {
    return 0;
  }
}

Rule ReadRule(std::string value, const VCalZones& zones) {
  if (value.find('=') == std::string::npos) {
    // The 1.0 grammar, read as the store reads it and spelt in the 2.0 grammar.
    RecurrencePattern pattern;
    if (ReadRecurrenceRule(value, pattern)) value = WriteRecurrenceRule(pattern);
  }
  Rule rule;
  for (const std::string& part : Split(value, ";")) {
    const size_t equals = part.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = Upper(part.substr(0, equals));
    const std::string argument = part.substr(equals + 1);
    if (key == "FREQ") rule.freq = Upper(argument);
    if (key == "INTERVAL") rule.interval = std::max(1, Number(argument));
    if (key == "COUNT") rule.count = Number(argument);
    if (key == "WKST") rule.weekStart = WeekdayNumber(Upper(argument));
    if (key == "UNTIL") {
      if (IsDateOnly(argument, {})) {
        rule.untilDate = ParseVCalDateTime(argument);
      } else {
        rule.untilUtc = VCalTimeToUtc(argument, {}, zones);
      }
    }
    for (const std::string& element : Split(argument, ",")) {
      if (key == "BYDAY" && element.size() >= 2) {
        rule.byDay.emplace_back(Number(element.substr(0, element.size() - 2)), WeekdayNumber(Upper(element.substr(element.size() - 2))));
      }
      if (key == "BYMONTHDAY") rule.byMonthDay.push_back(Number(element));
      if (key == "BYMONTH") rule.byMonth.push_back(Number(element));
      if (key == "BYSETPOS") rule.bySetPos.push_back(Number(element));
    }
  }
  return rule;
}

int DaysInMonth(int year, int month) {
  const OleDate first(year, month, 1);
  const OleDate next = month == 12 ? OleDate(year + 1, 1, 1) : OleDate(year, month + 1, 1);
  return static_cast<int>((next - first).TotalSeconds() / 86400);
}

long long DayNumber(const OleDate& date) {
  return static_cast<long long>(std::floor((OleDate(date.Year(), date.Month(), date.Day()) - OleDate(1970, 1, 1)).Days() + 0.5));
}

bool MatchesDayOfPeriod(const Rule& rule, const OleDate& day, const OleDate& start) {
  const bool monthly = rule.freq == "MONTHLY" || rule.freq == "YEARLY";
  if (!rule.byMonthDay.empty()) {
    const int days = DaysInMonth(day.Year(), day.Month());
    const bool listed = std::any_of(rule.byMonthDay.begin(), rule.byMonthDay.end(), [&](int value) {
      return value == day.Day() || (value < 0 && days + 1 + value == day.Day());
    });
    if (!listed) return false;
  }
  if (!rule.byDay.empty()) {
    const int days = DaysInMonth(day.Year(), day.Month());
    const bool listed = std::any_of(rule.byDay.begin(), rule.byDay.end(), [&](const std::pair<int, int>& entry) {
      if (entry.second != day.DayOfWeek()) return false;
      if (entry.first == 0 || !monthly) return true;
      return entry.first > 0 ? (day.Day() - 1) / 7 + 1 == entry.first : (days - day.Day()) / 7 + 1 == -entry.first;
    });
    if (!listed) return false;
  }
  if (rule.byMonthDay.empty() && rule.byDay.empty()) {
    if (rule.freq == "WEEKLY") return day.DayOfWeek() == start.DayOfWeek();
    if (monthly) return day.Day() == start.Day();
  }
  return true;
}

bool MatchesPeriod(const Rule& rule, const OleDate& day, const OleDate& start) {
  const long long days = DayNumber(day) - DayNumber(start);
  if (rule.freq == "DAILY") return days % rule.interval == 0;
  if (rule.freq == "WEEKLY") {
    const auto weekOf = [&rule](const OleDate& date) {
      return (DayNumber(date) - ((date.DayOfWeek() - rule.weekStart + 7) % 7)) / 7;
    };
    return (weekOf(day) - weekOf(start)) % rule.interval == 0;
  }
  const int months = (day.Year() - start.Year()) * 12 + day.Month() - start.Month();
  if (rule.freq == "MONTHLY") return months % rule.interval == 0;
  if (rule.freq == "YEARLY") {
    if ((day.Year() - start.Year()) % rule.interval != 0) return false;
    return rule.byMonth.empty() ? day.Month() == start.Month() : true;
  }
  return false;
}

bool Matches(const Rule& rule, const OleDate& day, const OleDate& start) {
  if (!MatchesPeriod(rule, day, start)) return false;
  if (!rule.byMonth.empty() && std::find(rule.byMonth.begin(), rule.byMonth.end(), day.Month()) == rule.byMonth.end()) return false;
  if (!MatchesDayOfPeriod(rule, day, start)) return false;
  if (rule.bySetPos.empty()) return true;
  // The position among the matching days of the month.
  std::vector<int> matching;
  for (int d = 1; d <= DaysInMonth(day.Year(), day.Month()); ++d) {
    if (MatchesDayOfPeriod(rule, OleDate(day.Year(), day.Month(), d), start)) matching.push_back(d);
  }
  const int count = static_cast<int>(matching.size());
  return std::any_of(rule.bySetPos.begin(), rule.bySetPos.end(), [&](int position) {
    const int index = position > 0 ? position - 1 : count + position;
    return index >= 0 && index < count && matching[static_cast<size_t>(index)] == day.Day();
  });
}

// The starts of the series of `item` within two years of its first, as field values.
std::vector<std::string> Occurrences(const Component& item, const VCalZones& zones) {
  const Line* start = item.Find("DTSTART");
  if (start == nullptr) return {};
  Frame frame;
  frame.zones = &zones;
  frame.dateOnly = IsDateOnly(start->value, start->params);
  const auto tzid = start->params.find("TZID");
  OleDate probe = ParseVCalDateTime(start->value);
  if (!frame.dateOnly && tzid != start->params.end() && zones.ToUtc(tzid->second, probe)) frame.tzid = tzid->second;
  frame.utc = frame.tzid.empty() && IsVCalUtcText(start->value);
  const OleDate wallStart = ParseVCalDateTime(start->value);
  if (!wallStart.IsValid()) return {};
  const auto text = [&frame](const OleDate& wall) {
    return frame.dateOnly ? DateText(wall) : InstantText(frame.ToUtc(wall));
  };

  std::set<std::string> starts;
  for (const Line& line : item.lines) {
    if (line.name != "RRULE") continue;
    const Rule rule = ReadRule(line.value, zones);
    int found = 0;
    for (int offset = 0; offset <= kExpansionDays; ++offset) {
      const OleDate day = wallStart + OleDateSpan(static_cast<double>(offset));
      if (!Matches(rule, day, wallStart)) continue;
      const OleDate wall(day.Year(), day.Month(), day.Day(), wallStart.Hour(), wallStart.Minute(), wallStart.Second());
      if (rule.untilDate && DayNumber(wall) > DayNumber(*rule.untilDate)) break;
      if (rule.untilUtc && frame.ToUtc(wall) > *rule.untilUtc) break;
      starts.insert(text(wall));
      if (rule.count > 0 && ++found >= rule.count) break;
    }
  }
  if (starts.empty() && item.Find("RDATE") == nullptr) return {};
  starts.insert(text(wallStart));
  for (const Line& line : item.lines) {
    if (line.name != "RDATE" && line.name != "EXDATE") continue;
    for (const std::string& element : Split(line.value, ",;")) {
      if (element.empty()) continue;
      std::string value = CanonicalTime(element, line.params, zones);
      // An excluded day of a timed series: the occurrence on that day.
      if (!frame.dateOnly && IsDateOnly(element, line.params)) {
        const OleDate day = ParseVCalDateTime(element);
        value = text(OleDate(day.Year(), day.Month(), day.Day(), wallStart.Hour(), wallStart.Minute(), wallStart.Second()));
      } else if (frame.dateOnly && !IsDateOnly(element, line.params)) {
        OleDate local = VCalTimeToUtc(element, line.params, zones);
        UtcToLocal(local);
        value = DateText(local);
      }
      if (line.name == "RDATE") {
        starts.insert(value);
      } else {
        starts.erase(value);
      }
    }
  }
  return {starts.begin(), starts.end()};
}

OleDate InstantOf(const Line* line, const VCalZones& zones) {
  return line == nullptr ? OleDate() : VCalTimeToUtc(line->value, line->params, zones);
}

long long Seconds(const OleDate& date) {
  std::time_t seconds = 0;
  date.ToUnixTimeUtc(seconds);
  return seconds;
}

std::string LeadText(const OleDate& start, const OleDate& alarm) {
  if (!start.IsValid() || !alarm.IsValid()) return "(no time)";
  return std::to_string((Seconds(start) - Seconds(alarm)) / 60) + " min";
}

// The lead time of a VALARM's TRIGGER, or of an AALARM or DALARM line.
std::string AlarmLead(const Line& trigger, const Component& item, const VCalZones& zones, const OleDate& end) {
  const OleDate start = InstantOf(item.Find("DTSTART"), zones);
  if (trigger.name != "TRIGGER") return LeadText(start, VCalTimeToUtc(Split(trigger.value, ";").front(), {}, zones));
  if (Upper(trigger.params.count("VALUE") ? trigger.params.at("VALUE") : "") == "DATE-TIME") {
    return LeadText(start, VCalTimeToUtc(trigger.value, {}, zones));
  }
  long long seconds = 0;
  if (!ReadDuration(trigger.value, seconds)) return "(unreadable " + trigger.value + ")";
  const bool fromEnd = trigger.params.count("RELATED") != 0 && Upper(trigger.params.at("RELATED")) == "END";
  return LeadText(start, (fromEnd && end.IsValid() ? end : start) + OleDateSpan(static_cast<double>(seconds) / 86400.0));
}

// The VALARM lines a vCalendar 1.0 alarm line says in iCalendar 2.0: its action, snooze time
// and repeat count, and its sound, text, address or procedure.
void AddAlarm10Fields(const Line& line, std::vector<ItemField>& fields) {
  const std::vector<std::string> parts = Split(line.value, ";");
  const auto part = [&parts](std::size_t index) { return index < parts.size() ? parts[index] : std::string(); };
  const auto add = [&fields](const std::string& name, const std::string& value) { fields.push_back({"VALARM", name, value}); };
  add("ACTION", line.name == "AALARM" ? "AUDIO" : line.name == "DALARM" ? "DISPLAY" : line.name == "MALARM" ? "EMAIL" : "PROCEDURE");
  if (!part(1).empty()) {
    add("DURATION", part(1));
    add("REPEAT", part(2).empty() ? "0" : part(2));
  }
  if (part(3).empty() && part(4).empty()) return;
  if (line.name == "AALARM") {
    const auto type = line.params.find("TYPE");
    const std::string mediaType = type == line.params.end() ? "" : Spelt20(type->second, kAudioType10);
    add("ATTACH", (mediaType.empty() || mediaType == type->second ? "" : "[FMTTYPE=" + mediaType + "] ") + part(3));
  } else if (line.name == "DALARM") {
    add("DESCRIPTION", WithLf(part(3)));
  } else if (line.name == "MALARM") {
    if (!part(3).empty()) add("ATTENDEE", "mailto:" + part(3));
    if (!part(4).empty()) add("SUMMARY", WithLf(part(4)));
    if (!part(4).empty()) add("DESCRIPTION", WithLf(part(4)));
  } else {
    add("ATTACH", part(3));
  }
}

void AddItemFields(const Component& item, const VCalZones& zones, bool version10, std::vector<ItemField>& fields) {
  std::string component = item.name;
  if (const Line* original = item.Find("RECURRENCE-ID")) {
    component += " RECURRENCE-ID=" + CanonicalTime(original->value, original->params, zones);
  }
  const auto add = [&fields, &component](const std::string& name, const std::string& value) {
    fields.push_back({component, name, value});
  };
  OleDate end = InstantOf(item.Find("DTEND"), zones);
  const Line* duration = item.Find("DURATION");
  long long seconds = 0;
  if (item.Find("DTEND") == nullptr && duration != nullptr && item.Find("DTSTART") != nullptr &&
      ReadDuration(duration->value, seconds)) {
    const Line* start = item.Find("DTSTART");
    if (IsDateOnly(start->value, start->params)) {
      add("DTEND", DateText(ParseVCalDateTime(start->value) + OleDateSpan(static_cast<double>(seconds / 86400))));
    } else {
      end = InstantOf(start, zones) + OleDateSpan(static_cast<double>(seconds) / 86400.0);
      add("DTEND", InstantText(end));
    }
  }
  for (const Line& line : item.lines) {
    const std::string& name = line.name;
    if (name == "RRULE" || name == "EXDATE" || name == "RDATE" || name == "DURATION" || name == "RECURRENCE-ID") continue;
    if (name == "DTSTART" || name == "DTEND" || name == "DUE" || name == "COMPLETED" || name == "DTSTAMP" ||
        name == "CREATED" || name == "LAST-MODIFIED") {
      add(name, CanonicalTime(line.value, line.params, zones));
    } else if (name == "DCREATED") {
      add("CREATED", CanonicalTime(line.value, line.params, zones));  // the 1.0 name
    } else if (IsOrganizer10(line)) {
      Line organizer = line;
      organizer.params.erase("ROLE");
      organizer.params.erase("STATUS");
      add("ORGANIZER", CanonicalAddress(organizer));
    } else if (name == "ATTENDEE" || name == "ORGANIZER") {
      add(name, CanonicalAddress(line));
    } else if (name == "STATUS") {
      add(name, line.value == "NEEDS ACTION" ? "NEEDS-ACTION" : line.value);  // the 1.0 spelling
    } else if (name == "CATEGORIES" || name == "RESOURCES") {
      std::vector<std::string> categories = Split(line.value, ",;");
      std::sort(categories.begin(), categories.end());
      add(name, Join(categories, ","));
    } else if (name == "AALARM" || name == "DALARM" || name == "MALARM" || name == "PALARM") {
      add("ALARM", AlarmLead(line, item, zones, end));
      AddAlarm10Fields(line, fields);
    } else if (name == "TRANSP") {
      add(name, Spelt20(line.value, kTransp10));
    } else if (name == "PRIORITY" && version10) {
      // vCalendar 1.0's 1 (high), 2 (normal), 3 and more (low) on iCalendar's scale.
      add(name, line.value == "0" || line.value == "1" ? line.value : line.value == "2" ? "5" : "9");
    } else if (name == "GEO") {
      add(name, line.value.find(';') == std::string::npos ? Join(Split(line.value, ","), ";") : line.value);
    } else {
      add(name, CanonicalParams(line.params, {"ENCODING", "CHARSET", "LANGUAGE"}) + WithLf(line.value));
    }
  }
  for (const std::string& occurrence : Occurrences(item, zones)) add("OCCURRENCE", occurrence);
  const Line* start = item.Find("DTSTART");
  if (start == nullptr) start = item.Find("DUE");
  if (start != nullptr && !IsDateOnly(start->value, start->params)) add("ZONE", ZoneOf(*start, zones));
  for (const Component& alarm : item.children) {
    if (alarm.name != "VALARM") continue;
    for (const Line& line : alarm.lines) {
      if (line.name == "TRIGGER") {
        add("ALARM", AlarmLead(line, item, zones, end));
      } else {
        fields.push_back({"VALARM", line.name, CanonicalParams(line.params, {}) + WithLf(line.value)});
      }
    }
  }
}

void ReadCalendarFields(const std::string& text, std::vector<ItemField>& fields) {
  VCalZones zones;
  const bool version10 = text.find("VERSION:1.0") != std::string::npos;
  for (const Component& item : ReadComponents(text, zones)) AddItemFields(item, zones, version10, fields);
}

// ---- Cards

std::string FlagWords(uint32_t flags) {
  static constexpr std::pair<uint32_t, const char*> kWords[] = {
      {PROPERTY_HOME, "HOME"}, {PROPERTY_WORK, "WORK"},   {PROPERTY_PREFERRED, "PREF"}, {PROPERTY_FAX, "FAX"},
      {PROPERTY_CELL, "CELL"}, {PROPERTY_VOICE, "VOICE"}, {PROPERTY_PAGER, "PAGER"},    {PROPERTY_INSTANT_MESSAGING, "IM"}};
  std::vector<std::string> words;
  for (const auto& [bit, word] : kWords) {
    if ((flags & bit) != 0) words.emplace_back(word);
  }
  return words.empty() ? "" : "[" + Join(words, ",") + "] ";
}

void ReadCardFields(const std::string& text, std::vector<ItemField>& fields) {
  VCardContext context;
  const PVCardPtr card = Zep3_PVCard_FromStream(&context, text);
  if (!card) {
    fields.push_back({"VCARD", "(unreadable)", ""});
    return;
  }
  for (const PVCardProperty& property : card->Properties()) {
    std::vector<std::string> values;
    for (size_t i = 0; i < property.Values().size(); ++i) values.push_back(WithLf(property.ValueText(i)));
    // vCard 4.0 writes a number as a "tel:" URI.
    if (property.Type() == PROPERTY_TEL && !values.empty() && Lower(values.front().substr(0, 4)) == "tel:") values.front().erase(0, 4);
    while (values.size() > 1 && values.back().empty()) values.pop_back();
    fields.push_back({"VCARD", std::string(PropertyTypeName(property.Type())), FlagWords(property.Flags()) + Join(values, ";")});
  }
  // Properties the card library does not know: their names.
  for (const std::string& line : Split(WithLf(text), "\n")) {
    if (line.empty() || line[0] == ' ' || line[0] == '\t') continue;
    std::string name = Upper(line.substr(0, line.find_first_of(";:")));
    name = name.substr(name.rfind('.') == std::string::npos ? 0 : name.rfind('.') + 1);
    const bool plain = line.find(':') != std::string::npos && !name.empty() &&
                       std::all_of(name.begin(), name.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-'; });
    const bool header = name == "BEGIN" || name == "END" || name == "VERSION" || name == "CHARSET";
    if (!plain || header || PropertyTypeFromName(name) != PROPERTY_UNKNOWN) continue;
    // vCard 4.0's group kind and members, as 3.0 spells them.
    if (name == "KIND" || name == "MEMBER") name = "X-ADDRESSBOOKSERVER-" + name;
    fields.push_back({"VCARD", name, "(present)"});
  }
}

}  // namespace

std::vector<ItemField> ReadItemFields(std::string_view text) {
  const std::string lines = WithLf(text);
  std::vector<ItemField> fields;
  if (Upper(lines.substr(0, lines.find('\n'))).find("BEGIN:VCARD") != std::string::npos) {
    ReadCardFields(lines, fields);
  } else {
    ReadCalendarFields(lines, fields);
  }
  std::sort(fields.begin(), fields.end());
  return fields;
}

std::vector<FieldDifference> CompareItemFields(const std::vector<ItemField>& expected, const std::vector<ItemField>& actual) {
  std::map<std::pair<std::string, std::string>, std::pair<std::vector<std::string>, std::vector<std::string>>> byField;
  for (const ItemField& field : expected) byField[{field.component, field.name}].first.push_back(field.value);
  for (const ItemField& field : actual) byField[{field.component, field.name}].second.push_back(field.value);
  std::vector<FieldDifference> differences;
  for (auto& [key, values] : byField) {
    std::sort(values.first.begin(), values.first.end());
    std::sort(values.second.begin(), values.second.end());
    if (values.first != values.second) differences.push_back({key.first, key.second, values.first, values.second});
  }
  return differences;
}

std::string FieldDifference::Describe() const {
  std::vector<std::string> missing, added;
  std::set_difference(expected.begin(), expected.end(), actual.begin(), actual.end(), std::back_inserter(missing));
  std::set_difference(actual.begin(), actual.end(), expected.begin(), expected.end(), std::back_inserter(added));
  const auto list = [](const std::vector<std::string>& values) {
    std::string text;
    for (size_t i = 0; i < values.size() && i < 6; ++i) text += (i == 0 ? "" : " | ") + (values[i].empty() ? "(empty)" : values[i]);
    if (values.size() > 6) text += " | ... (" + std::to_string(values.size()) + " in all)";
    return text.empty() ? std::string("nothing") : text;
  };
  return component + " " + name + ": expected " + list(missing) + "; found " + list(added);
}
