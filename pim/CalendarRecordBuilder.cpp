// Event and task records from vCalendar text: one record per VTODO, series or changed occurrence.
#include "pim/CalendarRecordBuilder.h"

#include <algorithm>
#include <optional>

#include "pim/CalendarZones.h"
#include "pim/EncodedText.h"
#include "pim/VCalDateTime.h"
#include "pim/VCalItemReader.h"
#include "pim/VCalProperty.h"
#include "pim/VCalRecurrence.h"
#include "pim/VCardText_p.h"

namespace {

constexpr std::string_view kMailto = "mailto:";
constexpr std::string_view kDefaultAlarmText = "Reminder";
constexpr std::string_view kTaskStatuses[] = {"NEEDS-ACTION", "IN-PROCESS", "COMPLETED", "WAITING", "POSTPONED"};

// The address after "mailto:" in any letter case, or the whole value when there is none.
std::string AfterMailto(std::string_view value) {
  const size_t colon = value.find(':');
  const bool mailto = colon != std::string_view::npos && vcardtext::EqualsIgnoreCase(value.substr(0, colon + 1), kMailto);
  return std::string(mailto ? value.substr(colon + 1) : value);
}

// Line breaks as the local applications keep them in a body (CR LF), whichever form the text had.
std::string WithCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      out += "\r\n";
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\"");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t\"");
  return std::string(text.substr(first, last - first + 1));
}

// The elements of a list value separated by "," (and ";" as vCalendar 1.0 writes them).
std::vector<std::string_view> ListElements(std::string_view value) {
  std::vector<std::string_view> elements;
  for (size_t at = 0; at <= value.size();) {
    const size_t end = std::min(value.find_first_of(",;", at), value.size());
    if (end > at) elements.push_back(value.substr(at, end - at));
    at = end + 1;
  }
  return elements;
}

long long SecondsOf(const OleDate& date) {
  std::time_t seconds = 0;
  date.ToUnixTimeUtc(seconds);
  return seconds;
}

// The minutes from `alarm` to `start`, never negative (a store's reminder comes before the start).
int LeadMinutes(const OleDate& start, const OleDate& alarm) {
  if (!start.IsValid() || !alarm.IsValid()) return 0;
  const long long seconds = SecondsOf(start) - SecondsOf(alarm);
  return static_cast<int>(std::clamp<long long>(seconds / 60, 0, 1000000000LL));
}

// The time frame of a timed series' start: its zone (a TZID the text or the system knows), UTC, or
// the floating wall clock (of the item's vCalendar 1.0 zone, or of the machine).
struct SeriesFrame {
  const VCalZones* zones = nullptr;
  std::string tzid;
  bool utc = false;
  OleDate wallStart;  // the start's own digits

  OleDate ToUtc(OleDate wall) const {
    if (utc) return wall;
    if (!tzid.empty() && zones->ToUtc(tzid, wall)) return wall;
    if (zones->FloatingToUtc(wall)) return wall;
    LocalToUtc(wall);
    return wall;
  }
  // The occurrence on the day of `wall` (a date of the frame), as an instant.
  OleDate OccurrenceOn(const OleDate& wall) const {
    return ToUtc(OleDate(wall.Year(), wall.Month(), wall.Day(), wallStart.Hour(), wallStart.Minute(), wallStart.Second()));
  }
};

std::optional<SeriesFrame> FrameOf(const VCalComponent& series, const VCalZones& zones) {
  const VCalProperty* start = series.Find("DTSTART");
  if (start == nullptr || IsVCalDateOnly(start->value, start->params)) return std::nullopt;
  SeriesFrame frame;
  frame.zones = &zones;
  frame.wallStart = ParseVCalDateTime(start->value);
  if (!frame.wallStart.IsValid()) return std::nullopt;
  const std::string& tzid = start->Param("TZID");
  OleDate probe = frame.wallStart;
  if (!tzid.empty() && zones.ToUtc(tzid, probe)) {
    frame.tzid = tzid;
  } else {
    frame.utc = IsVCalUtcText(start->value);
  }
  return frame;
}

// The zone a timed value keeps in its record (VC_TZID): the zone its TZID names, the floating
// zone of a floating time; none for UTC or for a TZID nothing describes.
std::string RecordZoneOf(const VCalProperty& time, const VCalZones& zones) {
  if (IsVCalDateOnly(time.value, time.params)) return {};
  if (const std::string& tzid = time.Param("TZID"); !tzid.empty()) return zones.ZoneIdOf(tzid);
  if (IsVCalUtcText(time.value)) return {};
  return zones.FloatingZone().empty() ? MachineZoneId() : zones.FloatingZone();
}

// A PRIORITY as the record's "1" (high) or "3" (low); "" for normal or undefined. iCalendar
// counts 1 (highest) to 9, 5 being medium; vCalendar 1.0 senders write 1 to 3.
std::string RecordPriority(const std::string& value, bool version10) {
  if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos || value.size() > 2) return {};
  const int priority = std::stoi(value);
  if (priority == 0) return {};
  if (version10) return priority == 1 ? "1" : priority == 2 ? "" : "3";
  return priority < 5 ? "1" : priority == 5 ? "" : "3";
}

// Builds the record of one component.
class RecordMaker {
 public:
  RecordMaker(int kind, const VCalItemContent& content, const VCalComponent& component, const VCalComponent* series)
      : mRecord(CDataItem::Create(kind)), mContent(content), mComponent(component), mSeries(series) {}

  CDataItem::Ptr Make() {
    if (mRecord->kind == ITEM_TASK) {
      MakeTask();
    } else {
      MakeEvent();
    }
    return mRecord;
  }

 private:
  void MakeTask() {
    for (const VCalProperty& property : mComponent.properties) {
      const std::string& name = property.name;
      if (name == "DTSTART") Set("VC_DTSTART", TaskTime(property));
      if (name == "DUE") Set("VC_DUE", TaskTime(property));
      if (name == "COMPLETED") Set("VC_COMPLETED", TaskTime(property));
      if (name == "STATUS") SetTaskStatus(property.value);
      if (name == "PERCENT-COMPLETE" && property.value != "0") Set("PERCENT-COMPLETE", property.value);
      TakeText(property);
    }
    for (const char* name : {"DUE", "DTSTART"}) {
      if (const VCalProperty* time = mComponent.Find(name); time != nullptr && mRecord->Property("VC_TZID").empty()) {
        SetIfAny("VC_TZID", RecordZoneOf(*time, mContent.zones));
      }
    }
  }

  void MakeEvent() {
    mAllDay = IsAllDay(mComponent);
    mFrame = FrameOf(mSeries != nullptr ? *mSeries : mComponent, mContent.zones);
    for (const VCalProperty& property : mComponent.properties) {
      const std::string& name = property.name;
      if (name == "DTSTART") Set("VC_DTSTART", EventTime(property));
      if (name == "DTEND") Set("VC_DTEND", EventTime(property));
      if (name == "STATUS") Set("VC_STATUS", property.value);
      // vCalendar 1.0 counts: 0 opaque, 1 and more transparent.
      if (name == "TRANSP" && (property.value == "TRANSPARENT" || (IsVersion10() && property.value != "0"))) {
        Set("VC_TRANSP", "TRANSPARENT");
      }
      if (name == "ORGANIZER") SetOrganizer(property);
      if (name == "ATTENDEE") AddAttendee(property);
      TakeText(property);
    }
    if (!mAllDay) {
      const VCalProperty* start = mComponent.Find("DTSTART");
      if (start == nullptr && mSeries != nullptr) start = mSeries->Find("DTSTART");
      if (start != nullptr) SetIfAny("VC_TZID", RecordZoneOf(*start, mContent.zones));
    }
    SetEndFromDuration();
    if (mComponent.IsChangedOccurrence()) {
      Set("VC_RECURRENCE_ID", OriginalStart(*mComponent.Find("RECURRENCE-ID")));
    } else {
      SetRecurrence();
    }
    SetAlarm();
  }

  // The properties events and tasks share.
  void TakeText(const VCalProperty& property) {
    const std::string& name = property.name;
    const std::string& value = property.value;
    if (name == "SUMMARY") Set("VC_SUMMARY", value);
    if (name == "DESCRIPTION") Set("VC_DESCRIPTION", EncodeTransfer(WithCrLf(value), TRANSFER_QUOTED_PRINTABLE));
    if (name == "LOCATION") Set("VC_LOCATION", value);
    if (name == "CATEGORIES") Set("VC_CATEGORIES", IsVersion10() ? Categories10(value) : value);
    if (name == "PRIORITY") SetIfAny("VC_PRIORITY", RecordPriority(value, IsVersion10()));
    if (name == "CLASS" && (value == "PRIVATE" || value == "CONFIDENTIAL")) Set("VC_CLASS", value);
  }

  bool IsVersion10() const { return mContent.version == "1.0"; }

  // vCalendar 1.0 separates categories with ";", the record (as iCalendar) with ",".
  static std::string Categories10(std::string value) {
    std::replace(value.begin(), value.end(), ';', ',');
    return value;
  }

  // A task that needs action is one without a status.
  void SetTaskStatus(const std::string& value) {
    // vCalendar 1.0 writes "NEEDS ACTION".
    const std::string status = value == "NEEDS ACTION" ? "NEEDS-ACTION" : value;
    if (status == "NEEDS-ACTION") return;
    if (std::find(std::begin(kTaskStatuses), std::end(kTaskStatuses), status) != std::end(kTaskStatuses)) {
      Set("VC_STATUS", status);
    }
  }

  static bool IsAllDay(const VCalComponent& component) {
    for (const char* name : {"DTSTART", "DTEND"}) {
      const VCalProperty* line = component.Find(name);
      if (line != nullptr && !IsVCalDateOnly(line->value, line->params)) return false;
    }
    return true;
  }

  std::string LocalDate(const VCalProperty& property) const { return VCalDateText(mContent.LocalTime(property)); }

  // A task's date as its date; its time as the UTC instant.
  std::string TaskTime(const VCalProperty& property) const {
    if (IsVCalDateOnly(property.value, property.params)) return LocalDate(property);
    return VCalStampText(mContent.UtcTime(property));
  }

  // An all-day event's dates as they stand; any other event's times as UTC instants (a date
  // among them is its local midnight).
  std::string EventTime(const VCalProperty& property) const {
    if (mAllDay) return LocalDate(property);
    return VCalStampText(mContent.UtcTime(property));
  }

  OleDate Instant(const char* name) const {
    const VCalProperty* line = mComponent.Find(name);
    return line == nullptr ? OleDate() : mContent.UtcTime(*line);
  }

  void SetEndFromDuration() {
    const VCalProperty* duration = mComponent.Find("DURATION");
    const VCalProperty* start = mComponent.Find("DTSTART");
    long long seconds = 0;
    if (mComponent.Find("DTEND") != nullptr || duration == nullptr || start == nullptr ||
        !ReadDuration(duration->value, seconds)) {
      return;
    }
    if (mAllDay) {
      const OleDate end = mContent.LocalTime(*start) + OleDateSpan(static_cast<double>(seconds / 86400));
      Set("VC_DTEND", VCalDateText(end));
    } else {
      Set("VC_DTEND", VCalStampText(mContent.UtcTime(*start) + SecondsSpan(seconds)));
    }
  }

  static OleDateSpan SecondsSpan(long long seconds) { return OleDateSpan(static_cast<double>(seconds) / 86400.0); }

  // One date of the series (an excluded date, an original start) in the record's form: a date of
  // an all-day series; else the instant of the occurrence it names (a date naming the occurrence
  // on that day).
  std::string SeriesDate(std::string_view text, const VCalParams& params, bool seriesAllDay) const {
    if (seriesAllDay) {
      VCalProperty line{"", std::string(text), params};
      return VCalDateText(mContent.LocalTime(line));
    }
    if (IsVCalDateOnly(text, params)) {
      const OleDate day = ParseVCalDateTime(text);
      if (!mFrame || !day.IsValid()) return VCalDateText(day);
      return VCalStampText(mFrame->OccurrenceOn(day));
    }
    // A time without a zone of its own is in the series' frame (vCalendar 1.0 and some senders
    // write them so).
    VCalParams zoned = params;
    if (mFrame && !mFrame->tzid.empty() && !IsVCalUtcText(text) && zoned.count("TZID") == 0) zoned["TZID"] = mFrame->tzid;
    return VCalStampText(VCalTimeToUtc(text, zoned, mContent.zones));
  }

  std::string OriginalStart(const VCalProperty& recurrenceId) const {
    const bool seriesAllDay = mSeries != nullptr ? IsAllDay(*mSeries) : IsVCalDateOnly(recurrenceId.value, recurrenceId.params);
    return SeriesDate(recurrenceId.value, recurrenceId.params, seriesAllDay);
  }

  // A floating end of a zoned series is the zone's wall clock.
  void ZoneEnd(RecurrencePattern& pattern) const {
    if (pattern.noEndDate || pattern.endIsDate || pattern.occurrences > 0 || !pattern.end.IsValid()) return;
    if (pattern.endUtc.IsValid() || !mFrame || mFrame->utc) return;
    pattern.endUtc = mFrame->ToUtc(pattern.end);
    pattern.end = pattern.endUtc;
    UtcToLocal(pattern.end);
  }

  void SetRecurrence() {
    const VCalProperty* rule = mComponent.Find("RRULE");
    if (rule == nullptr) return;
    RecurrencePattern pattern;
    if (ReadRecurrenceRule(rule->value, pattern)) {
      if (!mAllDay) ZoneEnd(pattern);
      Set("VC_RRULE", WriteRecurrenceRule(pattern, {mAllDay}));
    } else if (rule->value.find("FREQ=") != std::string::npos) {
      Set("VC_RRULE", rule->value);  // a rule the pattern cannot hold, kept as the sender wrote it
    } else {
      return;
    }
    std::string excluded;
    for (const VCalProperty& property : mComponent.properties) {
      if (property.name != "EXDATE") continue;
      for (const std::string_view element : ListElements(property.value)) {
        const std::string date = SeriesDate(element, property.params, mAllDay);
        if (date.empty()) continue;
        excluded += (excluded.empty() ? "" : ",") + date;
      }
    }
    if (!excluded.empty()) Set("EXDATE", excluded);
  }

  void SetAlarm() {
    const OleDate start = Instant("DTSTART");
    std::optional<int> lead;
    for (const VCalProperty& line : mComponent.alarms) {
      if (line.name == "TRIGGER") lead = TriggerLead(line, start);
      if (line.name == "DESCRIPTION") Set("VC_ALARM_DESCRIPTION", line.value);
    }
    // vCalendar 1.0 alarms: the first value is the time the alarm goes off, a display alarm's
    // fourth its text.
    for (const VCalProperty& property : mComponent.properties) {
      if (property.name != "AALARM" && property.name != "DALARM") continue;
      const std::string_view runTime = std::string_view(property.value).substr(0, property.value.find(';'));
      if (runTime.size() >= 8) lead = LeadMinutes(start, VCalTimeToUtc(runTime, {}, mContent.zones));
      const std::vector<std::string_view> fields = SemicolonFields(property.value);
      if (property.name == "DALARM" && fields.size() >= 4 && !fields[3].empty()) Set("VC_ALARM_DESCRIPTION", std::string(fields[3]));
    }
    if (lead) Set("VC_TRIGGER", WriteTrigger(*lead));
    // An alarm that shows the summary (or, without one, "Reminder"), as writers do without a text
    // of their own, has none.
    const std::string& text = mRecord->Property("VC_ALARM_DESCRIPTION");
    const std::string& summary = mRecord->Property("VC_SUMMARY");
    if (!text.empty() && (!lead || text == summary || (summary.empty() && text == kDefaultAlarmText))) {
      mRecord->properties.erase("VC_ALARM_DESCRIPTION");
    }
  }


  int TriggerLead(const VCalProperty& trigger, const OleDate& start) const {
    if (trigger.Param("VALUE") == "DATE-TIME") return LeadMinutes(start, mContent.UtcTime(trigger));
    if (trigger.Param("RELATED") != "END") return ReadTrigger(trigger.value);
    OleDate end = Instant("DTEND");
    if (!end.IsValid()) end = start;
    return LeadMinutes(start, end + SecondsSpan(ReadSignedTrigger(trigger.value) * 60LL));
  }

  // "Name <address>" as vCalendar 1.0 writes a participant: the name and the address.
  static void SplitParticipant(std::string& name, std::string& email) {
    const size_t open = email.find('<');
    const size_t close = email.rfind('>');
    if (open != std::string::npos && close != std::string::npos && close > open) {
      if (name.empty()) name = Trimmed(std::string_view(email).substr(0, open));
      email = AfterMailto(email.substr(open + 1, close - open - 1));
    }
  }

  void SetOrganizer(const VCalProperty& property) {
    std::string name = property.Param("CN");
    std::string email = AfterMailto(property.value);
    SplitParticipant(name, email);
    Set("VC_ORGANIZER", email);
    if (!name.empty() && name != email) Set("VC_ORGANIZER_NAME", name);
  }

  // iCalendar's ROLE, or vCalendar 1.0's EXPECT (REQUIRE, REQUEST, FYI); "" for a required one.
  std::string AttendeeRole(const VCalProperty& property) const {
    const std::string& role = property.Param("ROLE");
    if (role == "OPT-PARTICIPANT" || role == "NON-PARTICIPANT" || role == "CHAIR") return role;
    const std::string& expect = property.Param("EXPECT");
    if (expect == "REQUEST") return "OPT-PARTICIPANT";
    if (expect == "FYI") return "NON-PARTICIPANT";
    return {};
  }

  void AddAttendee(const VCalProperty& property) {
    std::string name = property.Param("CN");
    std::string email = AfterMailto(property.value);
    SplitParticipant(name, email);
    const std::string& role = property.Param("ROLE");
    if (IsVersion10() && (role == "ORGANIZER" || role == "OWNER")) {
      Set("VC_ORGANIZER", email);
      if (!name.empty() && name != email) Set("VC_ORGANIZER_NAME", name);
      return;
    }
    std::string status = property.Param("PARTSTAT");
    if (status.empty()) status = property.Param("STATUS");  // vCalendar 1.0
    const bool known = status == "ACCEPTED" || status == "DECLINED" || status == "TENTATIVE";
    const std::string& rsvp = property.Param("RSVP");
    const std::string number = std::to_string(++mAttendees);
    Set("VC_ATTENDEE_NAME_" + number, name);
    Set("VC_ATTENDEE_EMAIL_" + number, email);
    Set("VC_ATTENDEE_STATUS_" + number, known ? status : "NEEDS-ACTION");
    SetIfAny("VC_ATTENDEE_ROLE_" + number, AttendeeRole(property));
    if (rsvp == "TRUE" || rsvp == "YES") Set("VC_ATTENDEE_RSVP_" + number, "TRUE");
    Set("VC_ATTENDEE_COUNT", number);
  }

  void Set(const std::string& key, const std::string& value) { (*mRecord)[key] = value; }
  void SetIfAny(const std::string& key, const std::string& value) {
    if (!value.empty()) Set(key, value);
  }

  CDataItem::Ptr mRecord;
  const VCalItemContent& mContent;
  const VCalComponent& mComponent;
  const VCalComponent* mSeries;  // the series of a changed occurrence, when the text holds it
  std::optional<SeriesFrame> mFrame;  // of the series, when it starts at a time
  bool mAllDay = false;
  int mAttendees = 0;
};

std::string UidOf(const VCalComponent& component) {
  const VCalProperty* uid = component.Find("UID");
  return uid == nullptr ? std::string() : uid->value;
}

}  // namespace

std::vector<CDataItem::Ptr> CalendarRecordBuilder::BuildAll(std::string_view text) {
  const bool task = text.find("BEGIN:VTODO") != std::string_view::npos;
  if (!task && text.find("BEGIN:VEVENT") == std::string_view::npos) return {};
  const int kind = task ? ITEM_TASK : ITEM_EVENT;
  VCalItemContent content;
  if (!ReadVCalItem(text, VCalWalkOptions{kind, false}, content)) return {};
  if (content.components.empty()) content.components.emplace_back();  // an item without properties
  std::vector<CDataItem::Ptr> records;
  if (task) {
    records.push_back(RecordMaker(kind, content, content.components.front(), nullptr).Make());
    return records;
  }
  const auto series = std::find_if(content.components.begin(), content.components.end(),
                                   [](const VCalComponent& component) { return !component.IsChangedOccurrence(); });
  if (series != content.components.end()) records.push_back(RecordMaker(kind, content, *series, nullptr).Make());
  for (const VCalComponent& component : content.components) {
    if (!component.IsChangedOccurrence()) continue;
    // An occurrence without a UID belongs to the series it is sent with.
    const bool ofSeries = series == content.components.end() || UidOf(component).empty() || UidOf(component) == UidOf(*series);
    if (ofSeries) records.push_back(RecordMaker(kind, content, component, series == content.components.end() ? nullptr : &*series).Make());
  }
  return records;
}

CDataItem::Ptr CalendarRecordBuilder::Build(std::string_view text) {
  std::vector<CDataItem::Ptr> records = BuildAll(text);
  return records.empty() ? nullptr : records.front();
}

bool IsChangedOccurrence(const CDataItem& record) { return !record.Property("VC_RECURRENCE_ID").empty(); }

std::string ChangedOccurrenceKey(const std::string& seriesKey, const CDataItem& occurrence) {
  const std::string& original = occurrence.Property("VC_RECURRENCE_ID");
  if (original.empty()) return {};
  OleDate date = ParseVCalDateTime(original);
  if (!date.IsValid()) return {};
  if (IsVCalUtcText(original)) UtcToLocal(date);
  return seriesKey + "/" + VCalDateText(date);
}

std::string SeriesKeyOf(const std::string& key) { return key.substr(0, key.find('/')); }
