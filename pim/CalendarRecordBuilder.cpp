// Event and task records from vCalendar text: one record per VTODO, series or changed occurrence.
#include "pim/CalendarRecordBuilder.h"

#include <algorithm>
#include <optional>

#include "pim/EncodedText.h"
#include "pim/VCalDateTime.h"
#include "pim/VCalItemReader.h"
#include "pim/VCalRecurrence.h"
#include "pim/VCardText_p.h"

namespace {

constexpr std::string_view kMailto = "mailto:";
constexpr std::string_view kTaskStatuses[] = {"NEEDS-ACTION", "IN-PROCESS", "COMPLETED", "WAITING", "POSTPONED"};

// The address after "mailto:" in any letter case, or the whole value when there is none.
std::string AfterMailto(std::string_view value) {
  const size_t colon = value.find(':');
  const bool mailto = colon != std::string_view::npos && vcardtext::EqualsIgnoreCase(value.substr(0, colon + 1), kMailto);
  return std::string(mailto ? value.substr(colon + 1) : value);
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
// the machine's local time (floating).
struct SeriesFrame {
  const VCalZones* zones = nullptr;
  std::string tzid;
  bool utc = false;
  OleDate wallStart;  // the start's own digits
  OleDate utcStart;   // the start as an instant

  OleDate ToUtc(OleDate wall) const {
    if (utc) return wall;
    if (!tzid.empty() && zones->ToUtc(tzid, wall)) return wall;
    LocalToUtc(wall);
    return wall;
  }
  OleDate FromUtc(OleDate instant) const {
    if (utc) return instant;
    if (!tzid.empty() && zones->FromUtc(tzid, instant)) return instant;
    UtcToLocal(instant);
    return instant;
  }
  // The occurrence on the day of `wall` (a time of the frame), as an instant.
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
  frame.utcStart = frame.ToUtc(frame.wallStart);
  return frame;
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
      if (name == "DTSTART") Set("VC_DTSTART", LocalDate(property));
      if (name == "DUE") Set("VC_DUE", LocalDate(property));
      if (name == "STATUS") SetTaskStatus(property.value);
      if (name == "PERCENT-COMPLETE") Set("PERCENT-COMPLETE", property.value);
      TakeText(property);
    }
    if (mRecord->Property("PERCENT-COMPLETE").empty()) Set("PERCENT-COMPLETE", "0");
  }

  void MakeEvent() {
    mAllDay = IsAllDay(mComponent);
    mFrame = FrameOf(mSeries != nullptr ? *mSeries : mComponent, mContent.zones);
    for (const VCalProperty& property : mComponent.properties) {
      const std::string& name = property.name;
      if (name == "DTSTART") Set("VC_DTSTART", EventTime(property));
      if (name == "DTEND") Set("VC_DTEND", EventTime(property));
      if (name == "CLASS") Set("VC_CLASS", property.value == "PRIVATE" ? "PRIVATE" : "PUBLIC");
      if (name == "ORGANIZER") Set("VC_ORGANIZER", AfterMailto(property.value));
      if (name == "ATTENDEE") AddAttendee(property);
      TakeText(property);
    }
    SetEndFromDuration();
    if (mComponent.IsChangedOccurrence()) {
      Set("VC_RECURRENCE_ID", OriginalStart(*mComponent.Find("RECURRENCE-ID")));
    } else {
      SetRecurrence();
    }
    SetAlarm();
    if (mRecord->Property("VC_CATEGORIES").empty()) Set("VC_CATEGORIES", "Appointment");
  }

  // The properties events and tasks share.
  void TakeText(const VCalProperty& property) {
    const std::string& name = property.name;
    const std::string& value = property.value;
    if (name == "SUMMARY") Set("VC_SUMMARY", value);
    if (name == "DESCRIPTION") Set("VC_DESCRIPTION", EncodeTransfer(value, TRANSFER_QUOTED_PRINTABLE));
    if (name == "LOCATION") Set("VC_LOCATION", value);
    if (name == "CATEGORIES") Set("VC_CATEGORIES", IsVersion10() ? Categories10(value) : value);
    if (name == "PRIORITY" && (value == "1" || value == "2" || value == "3")) Set("VC_PRIORITY", value);
  }

  bool IsVersion10() const { return mContent.version == "1.0"; }

  // vCalendar 1.0 separates categories with ";", the record (as iCalendar) with ",".
  static std::string Categories10(std::string value) {
    std::replace(value.begin(), value.end(), ';', ',');
    return value;
  }

  void SetTaskStatus(const std::string& value) {
    // vCalendar 1.0 writes "NEEDS ACTION".
    const std::string status = value == "NEEDS ACTION" ? "NEEDS-ACTION" : value;
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

  // A timed series is kept as its first start in UTC with its rule, so its occurrences fall at
  // that UTC time of day. An instant that names one of its occurrences (an excluded date, an
  // original start, the end) moves as much as the occurrence of its day does, so that it names the
  // same occurrence of the series as kept, across a change to or from daylight time of the
  // series' own zone.
  OleDate Anchored(const OleDate& instant) const {
    if (!mFrame || mFrame->utc || !instant.IsValid()) return instant;
    const OleDate original = mFrame->OccurrenceOn(mFrame->FromUtc(instant));
    const OleDate& first = mFrame->utcStart;
    OleDate kept(original.Year(), original.Month(), original.Day(), first.Hour(), first.Minute(), first.Second());
    const double moved = (kept - original).Days();
    if (moved > 0.5) kept -= OleDateSpan(1.0);
    if (moved < -0.5) kept += OleDateSpan(1.0);
    return instant + (kept - original);
  }

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
      return VCalStampText(Anchored(mFrame->OccurrenceOn(day)));
    }
    return VCalStampText(Anchored(VCalTimeToUtc(text, params, mContent.zones)));
  }

  std::string OriginalStart(const VCalProperty& recurrenceId) const {
    const bool seriesAllDay = mSeries != nullptr ? IsAllDay(*mSeries) : IsVCalDateOnly(recurrenceId.value, recurrenceId.params);
    return SeriesDate(recurrenceId.value, recurrenceId.params, seriesAllDay);
  }

  // The end of a timed series names its last occurrence the same way.
  void AnchorEnd(RecurrencePattern& pattern) const {
    if (pattern.noEndDate || pattern.endIsDate || pattern.occurrences > 0 || !pattern.end.IsValid()) return;
    OleDate end = pattern.endUtc;
    if (!end.IsValid()) {
      end = pattern.end;
      LocalToUtc(end);
    }
    pattern.endUtc = Anchored(end);
    pattern.end = pattern.endUtc;
    UtcToLocal(pattern.end);
  }

  void SetRecurrence() {
    const VCalProperty* rule = mComponent.Find("RRULE");
    if (rule == nullptr) return;
    RecurrencePattern pattern;
    if (ReadRecurrenceRule(rule->value, pattern)) {
      if (!mAllDay) AnchorEnd(pattern);
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
    for (const VCalProperty& trigger : mComponent.alarms) lead = TriggerLead(trigger, start);
    // vCalendar 1.0 alarms: the first value is the time the alarm goes off.
    for (const VCalProperty& property : mComponent.properties) {
      if (property.name != "AALARM" && property.name != "DALARM") continue;
      const std::string_view runTime = std::string_view(property.value).substr(0, property.value.find(';'));
      if (runTime.size() >= 8) lead = LeadMinutes(start, VCalTimeToUtc(runTime, {}, mContent.zones));
    }
    if (lead) Set("VC_TRIGGER", WriteTrigger(*lead));
  }

  int TriggerLead(const VCalProperty& trigger, const OleDate& start) const {
    if (trigger.Param("VALUE") == "DATE-TIME") return LeadMinutes(start, mContent.UtcTime(trigger));
    if (trigger.Param("RELATED") != "END") return ReadTrigger(trigger.value);
    OleDate end = Instant("DTEND");
    if (!end.IsValid()) end = start;
    return LeadMinutes(start, end + SecondsSpan(ReadSignedTrigger(trigger.value) * 60LL));
  }

  void AddAttendee(const VCalProperty& property) {
    std::string name = property.Param("CN");
    std::string email = AfterMailto(property.value);
    // vCalendar 1.0: "Name <address>".
    const size_t open = email.find('<');
    const size_t close = email.rfind('>');
    if (open != std::string::npos && close != std::string::npos && close > open) {
      if (name.empty()) name = Trimmed(std::string_view(email).substr(0, open));
      email = AfterMailto(email.substr(open + 1, close - open - 1));
    }
    const std::string& role = property.Param("ROLE");
    if (IsVersion10() && (role == "ORGANIZER" || role == "OWNER")) {
      Set("VC_ORGANIZER", email);
      return;
    }
    std::string status = property.Param("PARTSTAT");
    if (status.empty()) status = property.Param("STATUS");  // vCalendar 1.0
    const bool known = status == "ACCEPTED" || status == "DECLINED" || status == "TENTATIVE";
    const std::string number = std::to_string(++mAttendees);
    Set("VC_ATTENDEE_NAME_" + number, name);
    Set("VC_ATTENDEE_EMAIL_" + number, email);
    Set("VC_ATTENDEE_STATUS_" + number, known ? status : "NEEDS-ACTION");
    Set("VC_ATTENDEE_COUNT", number);
  }

  void Set(const std::string& key, const std::string& value) { (*mRecord)[key] = value; }

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
