// Reading Outlook appointments and tasks into records and writing records into them.
#include "stores/outlook/OutlookCalendarFields.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "pim/EncodedText.h"
#include "pim/VCalDateTime.h"
#include "pim/VCalRecurrence.h"
#include "platform/automation/AutomationDate.h"
#include "stores/outlook/OutlookContactFields.h"

namespace {

constexpr const char* kTaskStatuses[] = {"NEEDS-ACTION", "IN-PROCESS", "COMPLETED", "WAITING", "POSTPONED"};
constexpr const char* kDefaultCategory = "Appointment";
constexpr const char* kUnknownRecipient = "Unknown";
constexpr int32_t kMeeting = 1;
constexpr int32_t kSensitivityPrivate = 2;
constexpr int32_t kImportanceNormal = 1;
constexpr std::time_t kDaySeconds = 24 * 60 * 60;

bool Absent(double date) { return OleDate(date).IsAbsent(); }

// Importance 0 (low), 1, 2 (high) against the calendar priority "3", "2", "1".
std::string PriorityOfImportance(int32_t importance) {
  if (importance < 0 || importance > 2) return "";
  return std::to_string(3 - importance);
}

int32_t ImportanceOfPriority(const std::string& priority) {
  if (priority == "1") return 2;
  if (priority == "3") return 0;
  return kImportanceNormal;
}

std::string ResponseText(int32_t status) {
  switch (status) {
    case 2: return "TENTATIVE";
    case 3: return "ACCEPTED";
    case 4: return "DECLINED";
    default: return "NEEDS-ACTION";
  }
}

int32_t ResponseOfText(const std::string& status) {
  if (status == "ACCEPTED") return 3;
  if (status == "DECLINED") return 4;
  if (status == "TENTATIVE") return 2;
  return 5;  // not responded
}

void SetIfNotEmpty(CDataItem& record, const std::string& key, const std::string& value) {
  if (!value.empty()) record[key] = value;
}

std::string DecodedDescription(const std::string& value) {
  std::string plain;
  if (value.empty() || !QuotedPrintableDecode(value, plain)) return value;
  return plain;
}

bool IsYearlyType(int32_t type) { return type == olRecursYearly || type == olRecursYearNth; }
bool IsNthType(int32_t type) { return type == olRecursMonthNth || type == olRecursYearNth; }
bool IsDayOfMonthType(int32_t type) { return type == olRecursMonthly || type == olRecursYearly; }
bool IsKnownType(int32_t type) { return (type >= olRecursDaily && type <= olRecursMonthNth) || IsYearlyType(type); }

void ReadAttendees(const outlook::AppointmentItem& event, const CalendarUser& user, CDataItem& record) {
  const outlook::Recipients recipients = event.GetRecipients();
  const int32_t count = recipients.GetCount();
  int attendees = 0;
  for (int32_t i = 1; i <= count; ++i) {
    const outlook::Recipient recipient = recipients.Item(i);
    const std::string address = recipient.GetAddress();
    if (address == kUnknownRecipient) continue;
    const std::string number = std::to_string(++attendees);
    // A recipient added by address alone shows the address as its name: it has no name.
    const std::string name = recipient.GetName();
    record["VC_ATTENDEE_NAME_" + number] = name == address ? std::string() : name;
    record["VC_ATTENDEE_EMAIL_" + number] = address;
    record["VC_ATTENDEE_STATUS_" + number] = ResponseText(recipient.GetMeetingResponseStatus());
  }
  if (attendees == 0) return;
  record["VC_ATTENDEE_COUNT"] = std::to_string(attendees);
  const std::string organizer = event.GetOrganizer();
  if (!organizer.empty() && !user.Is(organizer)) record["VC_ORGANIZER"] = organizer;
}

void WriteAttendees(const outlook::AppointmentItem& event, const CDataItem& record) {
  const outlook::Recipients recipients = event.GetRecipients();
  for (int32_t i = recipients.GetCount(); i >= 1; --i) recipients.Remove(i);
  const long count = std::strtol(record.Property("VC_ATTENDEE_COUNT").c_str(), nullptr, 10);
  bool meeting = false;
  for (long i = 1; i <= count && i <= 10000; ++i) {
    const std::string number = std::to_string(i);
    const std::string& address = record.Property("VC_ATTENDEE_EMAIL_" + number);
    if (address.empty()) continue;
    const outlook::Recipient recipient = recipients.Add(address);
    meeting = true;
    if (const std::string& name = record.Property("VC_ATTENDEE_NAME_" + number); !name.empty()) {
      recipient.GetAddressEntry().SetName(name);
    }
    recipient.SetMeetingResponseStatus(ResponseOfText(record.Property("VC_ATTENDEE_STATUS_" + number)));
  }
  if (meeting) event.SetMeetingStatus(kMeeting);
}

// Days from the UTC date of a local time to its local date: -1, 0 or 1. A timed series' rule is kept
// against its start in UTC, while Outlook's pattern counts in local days, so its weekdays and day
// of the month move by that many days between the two.
int LocalDayShift(double localStart) {
  OleDate utc(localStart);
  LocalToUtc(utc);
  if (!utc.IsValid()) return 0;
  return static_cast<int>(std::lround(DayOf(localStart) - DayOf(utc.Days())));
}

int RotatedDays(int mask, int shift) {
  if (shift > 0) return ((mask << 1) | (mask >> 6)) & 0x7F;
  if (shift < 0) return ((mask >> 1) | ((mask & 1) << 6)) & 0x7F;
  return mask;
}

// A day of the month moved by `shift`; before the 1st it is the last day (-1), after the 31st the 1st.
int ShiftedMonthDay(int day, int shift) {
  if (day <= 0 || shift == 0) return day;
  const int moved = day + shift;
  return moved < 1 ? -1 : moved > 31 ? 1 : moved;
}

void ShiftPattern(RecurrencePattern& rule, int shift) {
  rule.dayMask = RotatedDays(rule.dayMask, shift);
  rule.dayOfMonth = ShiftedMonthDay(rule.dayOfMonth, shift);
}

// The pattern in the terms of the rule writer.
RecurrencePattern PatternOf(const outlook::RecurrencePattern& pattern) {
  RecurrencePattern rule;
  rule.type = pattern.GetRecurrenceType();
  rule.interval = std::max(pattern.GetInterval(), 1);
  // A yearly interval below 12 counts years.
  if (IsYearlyType(rule.type) && rule.interval < 12) rule.interval *= 12;
  rule.dayMask = std::max(pattern.GetDayOfWeekMask(), 0);
  if (IsNthType(rule.type)) rule.instance = pattern.GetInstance();
  if (IsDayOfMonthType(rule.type)) rule.dayOfMonth = pattern.GetDayOfMonth();
  if (IsYearlyType(rule.type)) rule.monthOfYear = pattern.GetMonthOfYear();
  rule.noEndDate = pattern.GetNoEndDate();
  const double end = pattern.GetPatternEndDate();
  if (!rule.noEndDate && !Absent(end)) {
    rule.end = OleDate(end);
    rule.endIsDate = true;
  } else {
    rule.noEndDate = true;
  }
  return rule;
}

// The offset east of UTC that `seconds` has in the machine's zone; false when the C library
// cannot tell. localtime_r reads the zone once per process, while mktime (behind LocalToUtc)
// looks at the zone file again on every call (a fifth of loading the calendar).
bool OffsetAt(std::time_t seconds, long& offset) {
  std::tm parts{};
  if (localtime_r(&seconds, &parts) == nullptr) return false;
  offset = parts.tm_gmtoff;
  return true;
}

// The UTC instant of a local time when the zone's offset is the same a day before and a day after
// it: the one instant that shows that local time. Near a change of offset (a skipped or repeated
// hour) false, and the caller asks mktime.
bool SteadyLocalToUtc(const OleDate& local, std::time_t& utc) {
  std::time_t asUtc = 0;
  long before = 0, after = 0, at = 0;
  if (!local.ToUnixTimeUtc(asUtc) || !OffsetAt(asUtc - kDaySeconds, before) ||
      !OffsetAt(asUtc + kDaySeconds, after) || before != after || !OffsetAt(asUtc - before, at) || at != before) {
    return false;
  }
  utc = asUtc - before;
  return true;
}

}  // namespace

std::string RecordDateText(double date, bool allDay) {
  const OleDate local(date);
  std::time_t utc = 0;
  if (allDay || !(date > 0) || !local.IsValid() || !SteadyLocalToUtc(local, utc)) return DateToVCalText(date, allDay);
  return VCalStampText(OleDate::FromUnixTimeUtc(utc));
}

CalendarPeriod::CalendarPeriod(std::string_view startDate) {
  if (!startDate.empty()) mStart = ParseVCalDateTime(startDate);
}

bool CalendarPeriod::Holds(const outlook::AppointmentItem& event) const {
  if (!Limited()) return true;
  const double start = event.GetStart();
  if (IsNoDate(start) || NotBefore(start) || NotBefore(event.GetEnd())) return true;
  if (event.GetRecurrenceState() == olApptNotRecurring) return false;
  const outlook::RecurrencePattern pattern = event.GetRecurrencePattern();
  return pattern.GetNoEndDate() || NotBefore(pattern.GetPatternEndDate());
}

bool CalendarPeriod::Holds(const outlook::TaskItem& task) const {
  if (!Limited()) return true;
  const double start = task.GetStartDate();
  return IsNoDate(start) || NotBefore(start) || NotBefore(task.GetDueDate());
}

bool CalendarUser::Is(const std::string& text) const {
  return !text.empty() && std::find(identities.begin(), identities.end(), text) != identities.end();
}

std::string EncodeDescription(std::string_view body) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(body.size());
  for (const char c : body) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == '=' || byte >= 0x7F) {
      encoded += '=';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0x0F];
    } else {
      encoded += c;
    }
  }
  return encoded.empty() ? std::string(body) : encoded;
}

double LocalDateOfRecordText(std::string_view text) {
  OleDate date = ParseVCalDateTime(text);
  if (!date.IsValid()) return 0;
  if (IsVCalUtcText(text)) UtcToLocal(date);
  return date.Days();
}

CDataItem::Ptr ReadTaskRecord(const outlook::TaskItem& task) {
  const CDataItem::Ptr record = NewItemRecord(ITEM_TASK, task);
  (*record)["VC_SUMMARY"] = task.GetSubject();
  (*record)["VC_DESCRIPTION"] = EncodeDescription(task.GetBody());
  SetIfNotEmpty(*record, "VC_PRIORITY", PriorityOfImportance(task.GetImportance()));
  if (const int32_t status = task.GetStatus(); status >= 0 && status <= 4) (*record)["VC_STATUS"] = kTaskStatuses[status];
  for (const auto& [key, date] : {std::pair{"VC_DTSTART", task.GetStartDate()}, std::pair{"VC_DUE", task.GetDueDate()}}) {
    if (!Absent(date)) SetIfNotEmpty(*record, key, VCalDateText(OleDate(date)));
  }
  (*record)["PERCENT-COMPLETE"] = std::to_string(static_cast<uint32_t>(task.GetPercentComplete()));
  return record;
}

CDataItem::Ptr ReadEventRecord(const outlook::AppointmentItem& event, const CalendarUser& user, double occurrenceOf,
                               bool seriesAllDay) {
  const CDataItem::Ptr record = NewItemRecord(ITEM_EVENT, event);
  const std::string entryId = record->itemId;
  (*record)["VC_SUMMARY"] = event.GetSubject();
  (*record)["VC_DESCRIPTION"] = EncodeDescription(event.GetBody());
  if (occurrenceOf != 0) {
    record->itemId = entryId + "/" + VCalDateText(OleDate(occurrenceOf));
    (*record)["VC_RECURRENCE_ID"] = RecordDateText(occurrenceOf, seriesAllDay);
  }
  (*record)["VC_CLASS"] = event.GetSensitivity() == 0 ? "PUBLIC" : "PRIVATE";
  SetIfNotEmpty(*record, "VC_PRIORITY", PriorityOfImportance(event.GetImportance()));
  const bool allDay = event.GetAllDayEvent();
  for (const auto& [key, date] : {std::pair{"VC_DTSTART", event.GetStart()}, std::pair{"VC_DTEND", event.GetEnd()}}) {
    if (!Absent(date)) SetIfNotEmpty(*record, key, RecordDateText(date, allDay));
  }
  if (event.GetReminderSet()) (*record)["VC_TRIGGER"] = WriteTrigger(event.GetReminderMinutesBeforeStart());
  const std::string categories = event.GetCategories();
  (*record)["VC_CATEGORIES"] = categories.empty() ? kDefaultCategory : categories;
  (*record)["VC_LOCATION"] = event.GetLocation();
  ReadAttendees(event, user, *record);
  return record;
}

bool ReadSeries(const outlook::RecurrencePattern& pattern, bool allDay, double start, CDataItem& record) {
  RecurrencePattern rule = PatternOf(pattern);
  if (!allDay) ShiftPattern(rule, -LocalDayShift(start));
  if (IsKnownType(rule.type)) SetIfNotEmpty(record, "VC_RRULE", WriteRecurrenceRule(rule, {allDay}));
  const outlook::Exceptions exceptions = pattern.GetExceptions();
  const int32_t count = exceptions.GetCount();
  std::string excluded;
  bool changed = false;
  for (int32_t i = 1; i <= count; ++i) {
    const outlook::Exception exception = exceptions.Item(i);
    if (!exception.GetDeleted()) {
      changed = true;
      continue;
    }
    const std::string date = RecordDateText(exception.GetOriginalDate(), allDay);
    if (!date.empty()) excluded += (excluded.empty() ? "" : ",") + date;
  }
  SetIfNotEmpty(record, "EXDATE", excluded);
  return changed;
}

void WriteTaskFields(const outlook::TaskItem& task, const CDataItem& record) {
  task.SetSubject(record.Property("VC_SUMMARY"));
  task.SetBody(DecodedDescription(record.Property("VC_DESCRIPTION")));
  task.SetImportance(ImportanceOfPriority(record.Property("VC_PRIORITY")));
  const double start = LocalDateOfRecordText(record.Property("VC_DTSTART"));
  const double due = LocalDateOfRecordText(record.Property("VC_DUE"));
  task.SetStartDate(start != 0 ? DayOf(start) : kNoDate);
  task.SetDueDate(due != 0 ? DayOf(due) : kNoDate);
  const std::string& status = record.Property("VC_STATUS");
  for (int32_t i = 0; i < 5; ++i) {
    if (status == kTaskStatuses[i]) task.SetStatus(i);
  }
  const long percent = std::strtol(record.Property("PERCENT-COMPLETE").c_str(), nullptr, 10);
  task.SetPercentComplete(static_cast<int32_t>(std::clamp(percent, 0L, 100L)));
}

void WriteEventFields(const outlook::AppointmentItem& event, const CDataItem& record, const CalendarUser& user) {
  const std::string& startText = record.Property("VC_DTSTART");
  const std::string& endText = record.Property("VC_DTEND");
  const bool allDay = startText.find('T') == std::string::npos && endText.find('T') == std::string::npos;
  const bool occurrence = !record.Property("VC_RECURRENCE_ID").empty();
  event.SetSubject(record.Property("VC_SUMMARY"));
  event.SetBody(DecodedDescription(record.Property("VC_DESCRIPTION")));
  if (!occurrence) {
    event.SetSensitivity(record.Property("VC_CLASS") == "PRIVATE" ? kSensitivityPrivate : 0);
    event.SetImportance(ImportanceOfPriority(record.Property("VC_PRIORITY")));
  }
  const double start = LocalDateOfRecordText(startText);
  if (start != 0) {
    double end = LocalDateOfRecordText(endText);
    if (end < start) end = allDay ? start + 1.0 : start;
    event.SetStart(start);
    event.SetEnd(end);
  }
  event.SetAllDayEvent(allDay && start != 0);
  event.SetLocation(record.Property("VC_LOCATION"));
  const std::string& categories = record.Property("VC_CATEGORIES");
  event.SetCategories(categories == kDefaultCategory ? "" : categories);
  const std::string& trigger = record.Property("VC_TRIGGER");
  event.SetReminderSet(!trigger.empty());
  if (!trigger.empty()) event.SetReminderMinutesBeforeStart(ReadTrigger(trigger));
  WriteAttendees(event, record);
  if (const std::string& organizer = record.Property("VC_ORGANIZER"); !organizer.empty() && !user.Is(organizer)) {
    event.SetOrganizer(organizer);
  }
}

bool WriteRecurrence(const outlook::AppointmentItem& event, const CDataItem& record) {
  RecurrencePattern rule;
  if (!ReadRecurrenceRule(record.Property("VC_RRULE"), rule) || !IsKnownType(rule.type)) return false;
  if (!event.GetAllDayEvent()) ShiftPattern(rule, LocalDayShift(event.GetStart()));
  const outlook::RecurrencePattern pattern = event.GetRecurrencePattern();
  pattern.SetRecurrenceType(rule.type);
  pattern.SetInterval(std::clamp(rule.interval, 1, 999));
  if (rule.dayMask != 0) pattern.SetDayOfWeekMask(rule.dayMask & 0x7F);
  if (IsNthType(rule.type) && rule.instance >= 1) pattern.SetInstance(std::min(rule.instance, kLastInstance));
  if (IsDayOfMonthType(rule.type) && rule.dayOfMonth != 0) {
    pattern.SetDayOfMonth(rule.dayOfMonth < 0 ? 31 : std::min(rule.dayOfMonth, 31));
  }
  if (IsYearlyType(rule.type) && rule.monthOfYear >= 1 && rule.monthOfYear <= 12) pattern.SetMonthOfYear(rule.monthOfYear);
  if (rule.occurrences > 0) {
    pattern.Put(OutlookId::kOccurrences, Variant(std::min(rule.occurrences, 999)));
  } else if (!rule.noEndDate && rule.end.IsValid()) {
    pattern.SetPatternEndDate(DayOf(rule.end.Days()));
  } else {
    pattern.SetNoEndDate(true);
  }
  return true;
}
