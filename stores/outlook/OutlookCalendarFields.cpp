// Reading Outlook appointments and tasks into records and writing records into them.
#include "stores/outlook/OutlookCalendarFields.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "pim/CalendarZones.h"
#include "pim/EncodedText.h"
#include "pim/VCalDateTime.h"
#include "pim/VCalRecurrence.h"
#include "pim/ZoneDates.h"
#include "platform/automation/AutomationDate.h"
#include "stores/outlook/OutlookContactFields.h"

namespace {

constexpr const char* kTaskStatuses[] = {"NEEDS-ACTION", "IN-PROCESS", "COMPLETED", "WAITING", "POSTPONED"};
// What this client once sent for "no categories": read as none.
constexpr const char* kFormerDefaultCategory = "Appointment";
constexpr const char* kUnknownRecipient = "Unknown";
constexpr const char* kCancelled = "CANCELLED";
constexpr int32_t kMeeting = 1;
constexpr int32_t kMeetingCanceled = 5;
constexpr int32_t kSensitivityPrivate = 2;
constexpr int32_t kSensitivityConfidential = 3;
constexpr int32_t kImportanceNormal = 1;
constexpr int32_t kShowAsFree = 0;
constexpr int32_t kShowAsBusy = 2;
constexpr int32_t kRecipientOrganizer = 0;
constexpr int32_t kRecipientRequired = 1;
constexpr int32_t kRecipientOptional = 2;
constexpr std::time_t kDaySeconds = 24 * 60 * 60;
// Years of a series without an end in which the months its day of the month skips are removed.
constexpr int kSkippedMonthsYears = 10;

bool Absent(double date) { return OleDate(date).IsAbsent(); }

// Importance 0 (low), 1, 2 (high) against the record's priority "3", none, "1".
std::string PriorityOfImportance(int32_t importance) {
  if (importance == 2) return "1";
  if (importance == 0) return "3";
  return "";
}

int32_t ImportanceOfPriority(const std::string& priority) {
  if (priority == "1") return 2;
  if (priority == "3") return 0;
  return kImportanceNormal;
}

// Sensitivity 0 (normal), 1 (personal), 2 (private), 3 (confidential) against CLASS.
std::string ClassOfSensitivity(int32_t sensitivity) {
  if (sensitivity == 1 || sensitivity == 2) return "PRIVATE";
  if (sensitivity == 3) return "CONFIDENTIAL";
  return "";
}

int32_t SensitivityOfClass(const std::string& value) {
  if (value == "PRIVATE") return kSensitivityPrivate;
  if (value == "CONFIDENTIAL") return kSensitivityConfidential;
  return 0;
}

// A task's date as a date; one with a time as its UTC instant.
std::string TaskDateText(double date) {
  if (Absent(date)) return "";
  return TimeOfDay(date) == 0.0 ? VCalDateText(OleDate(date)) : RecordDateText(date, false);
}

// A task date of the record as the date put into Outlook: a date at its midnight, a time in
// local time; no date when the text holds none.
double TaskDateOfText(const std::string& text) {
  const double date = LocalDateOfRecordText(text);
  if (date == 0) return kNoDate;
  return text.find('T') == std::string::npos ? DayOf(date) : date;
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

// The organizer is the recipient of type organizer (with its name), else the item's organizer text.
void ReadOrganizer(const outlook::AppointmentItem& event, const outlook::Recipient* organizer, const CalendarUser& user,
                   CDataItem& record) {
  const std::string address = organizer != nullptr ? organizer->GetAddress() : event.GetOrganizer();
  if (address.empty() || user.Is(address)) return;
  const std::string name = organizer != nullptr ? organizer->GetName() : std::string();
  if (user.Is(name)) return;
  record["VC_ORGANIZER"] = address;
  if (!name.empty() && name != address) record["VC_ORGANIZER_NAME"] = name;
}

void ReadAttendees(const outlook::AppointmentItem& event, const CalendarUser& user, CDataItem& record) {
  const outlook::Recipients recipients = event.GetRecipients();
  const int32_t count = recipients.GetCount();
  const bool responses = event.GetResponseRequested();
  std::optional<outlook::Recipient> organizer;
  int attendees = 0;
  for (int32_t i = 1; i <= count; ++i) {
    const outlook::Recipient recipient = recipients.Item(i);
    const std::string address = recipient.GetAddress();
    if (address == kUnknownRecipient) continue;
    const int32_t type = recipient.GetType();
    if (type == kRecipientOrganizer) {
      organizer = recipient;
      continue;
    }
    const std::string number = std::to_string(++attendees);
    // A recipient added by address alone shows the address as its name: it has no name.
    const std::string name = recipient.GetName();
    record["VC_ATTENDEE_NAME_" + number] = name == address ? std::string() : name;
    record["VC_ATTENDEE_EMAIL_" + number] = address;
    record["VC_ATTENDEE_STATUS_" + number] = ResponseText(recipient.GetMeetingResponseStatus());
    if (type == kRecipientOptional) record["VC_ATTENDEE_ROLE_" + number] = "OPT-PARTICIPANT";
    if (responses) record["VC_ATTENDEE_RSVP_" + number] = "TRUE";
  }
  if (attendees == 0) return;
  record["VC_ATTENDEE_COUNT"] = std::to_string(attendees);
  ReadOrganizer(event, organizer ? &*organizer : nullptr, user, record);
}

void WriteAttendees(const outlook::AppointmentItem& event, const CDataItem& record, const CalendarUser& user) {
  const outlook::Recipients recipients = event.GetRecipients();
  for (int32_t i = recipients.GetCount(); i >= 1; --i) recipients.Remove(i);
  const long count = std::strtol(record.Property("VC_ATTENDEE_COUNT").c_str(), nullptr, 10);
  bool meeting = false;
  bool responses = false;
  const std::string& organizer = record.Property("VC_ORGANIZER");
  for (long i = 1; i <= count && i <= 10000; ++i) {
    const std::string number = std::to_string(i);
    const std::string& address = record.Property("VC_ATTENDEE_EMAIL_" + number);
    if (address.empty()) continue;
    if (!meeting && !organizer.empty() && !user.Is(organizer)) {
      // The organizer heads the recipients, with its name.
      const outlook::Recipient head = recipients.Add(organizer);
      head.SetType(kRecipientOrganizer);
      if (const std::string& name = record.Property("VC_ORGANIZER_NAME"); !name.empty()) head.GetAddressEntry().SetName(name);
    }
    const outlook::Recipient recipient = recipients.Add(address);
    meeting = true;
    if (const std::string& name = record.Property("VC_ATTENDEE_NAME_" + number); !name.empty()) {
      recipient.GetAddressEntry().SetName(name);
    }
    const std::string& role = record.Property("VC_ATTENDEE_ROLE_" + number);
    recipient.SetType(role == "OPT-PARTICIPANT" || role == "NON-PARTICIPANT" ? kRecipientOptional : kRecipientRequired);
    recipient.SetMeetingResponseStatus(ResponseOfText(record.Property("VC_ATTENDEE_STATUS_" + number)));
    responses = responses || record.Property("VC_ATTENDEE_RSVP_" + number) == "TRUE";
  }
  event.SetResponseRequested(responses);
  if (meeting) event.SetMeetingStatus(kMeeting);
}

// The zone an appointment's times and recurrence are kept in; UTC when it names none this
// program knows.
SystemTimeZone ZoneOf(const std::string& id) {
  std::optional<SystemTimeZone> zone = CalendarZone(id);
  return zone ? *zone : *SystemTimeZone::FromPosix("UTC0");
}

// The zone id an appointment gets for a record's VC_TZID: itself when known, else UTC.
std::string ZoneIdOfRecord(const CDataItem& record) {
  const std::string& id = record.Property("VC_TZID");
  return !id.empty() && CalendarZone(id) ? id : "UTC";
}

int DaysInMonth(int year, int month) {
  const OleDate first(year, month, 1);
  const OleDate next = month == 12 ? OleDate(year + 1, 1, 1) : OleDate(year, month + 1, 1);
  return static_cast<int>(std::lround((next - first).Days()));
}

// A rule on a day of the month some months lack (the 29th to the 31st): the calendar text skips
// those months, while the store's pattern falls on their last day.
struct SkippedMonths {
  std::vector<OleDate> days;  // the last days of the skipped months, dates of the series' zone
  int outlookCount = 0;       // occurrences the pattern needs to hold `count` of the rule's
};

bool SkipsShortMonths(const RecurrencePattern& rule) {
  if (rule.type == RECUR_MONTHLY) return rule.dayOfMonth >= 29;
  return rule.type == RECUR_YEARLY && rule.monthOfYear == 2 && rule.dayOfMonth == 29;
}

// The months the rule skips from `first` (the first occurrence's zone date) up to `lastDay`, or
// until `count` occurrences of the rule, or for kSkippedMonthsYears of an open series.
SkippedMonths ShortMonthsOf(const RecurrencePattern& rule, const OleDate& first, int count, const OleDate& lastDay) {
  SkippedMonths skipped;
  const int step = rule.type == RECUR_YEARLY ? std::max(rule.interval, 12) : std::max(rule.interval, 1);
  int occurrences = 0;
  for (int months = 0; months < kSkippedMonthsYears * 12 + 12; months += step) {
    const int index = first.Year() * 12 + first.Month() - 1 + months;
    const int year = index / 12;
    const int month = index % 12 + 1;
    const int length = DaysInMonth(year, month);
    const OleDate day(year, month, std::min(length, rule.dayOfMonth));
    if (lastDay.IsValid() && day > lastDay) break;
    if (count == 0 && !lastDay.IsValid() && year > first.Year() + kSkippedMonthsYears) break;
    ++skipped.outlookCount;
    if (length < rule.dayOfMonth) {
      skipped.days.push_back(day);
    } else if (++occurrences == count) {
      break;
    }
  }
  return skipped;
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
  SetIfNotEmpty(*record, "VC_SUMMARY", task.GetSubject());
  SetIfNotEmpty(*record, "VC_DESCRIPTION", EncodeDescription(task.GetBody()));
  SetIfNotEmpty(*record, "VC_PRIORITY", PriorityOfImportance(task.GetImportance()));
  SetIfNotEmpty(*record, "VC_CLASS", ClassOfSensitivity(task.GetSensitivity()));
  if (const int32_t status = task.GetStatus(); status >= 1 && status <= 4) (*record)["VC_STATUS"] = kTaskStatuses[status];
  SetIfNotEmpty(*record, "VC_DTSTART", TaskDateText(task.GetStartDate()));
  SetIfNotEmpty(*record, "VC_DUE", TaskDateText(task.GetDueDate()));
  SetIfNotEmpty(*record, "VC_COMPLETED", TaskDateText(task.GetDateCompleted()));
  SetIfNotEmpty(*record, "VC_CATEGORIES", task.GetCategories());
  if (const int32_t percent = task.GetPercentComplete(); percent > 0) (*record)["PERCENT-COMPLETE"] = std::to_string(percent);
  return record;
}

CDataItem::Ptr ReadEventRecord(const outlook::AppointmentItem& event, const CalendarUser& user, double occurrenceOf,
                               bool seriesAllDay) {
  const CDataItem::Ptr record = NewItemRecord(ITEM_EVENT, event);
  const std::string entryId = record->itemId;
  SetIfNotEmpty(*record, "VC_SUMMARY", event.GetSubject());
  SetIfNotEmpty(*record, "VC_DESCRIPTION", EncodeDescription(event.GetBody()));
  if (occurrenceOf != 0) {
    record->itemId = entryId + "/" + VCalDateText(OleDate(occurrenceOf));
    (*record)["VC_RECURRENCE_ID"] = RecordDateText(occurrenceOf, seriesAllDay);
  }
  SetIfNotEmpty(*record, "VC_CLASS", ClassOfSensitivity(event.GetSensitivity()));
  SetIfNotEmpty(*record, "VC_PRIORITY", PriorityOfImportance(event.GetImportance()));
  if (event.GetMeetingStatus() == kMeetingCanceled) (*record)["VC_STATUS"] = kCancelled;
  if (event.GetBusyStatus() == kShowAsFree) (*record)["VC_TRANSP"] = "TRANSPARENT";
  const bool allDay = event.GetAllDayEvent();
  if (allDay) {
    for (const auto& [key, date] : {std::pair{"VC_DTSTART", event.GetStart()}, std::pair{"VC_DTEND", event.GetEnd()}}) {
      if (!Absent(date)) SetIfNotEmpty(*record, key, VCalDateText(OleDate(date)));
    }
  } else {
    // Instants as the application keeps them: no local time between, which a change of the
    // clocks makes ambiguous.
    for (const auto& [key, date] : {std::pair{"VC_DTSTART", event.GetStartUTC()}, std::pair{"VC_DTEND", event.GetEndUTC()}}) {
      if (!Absent(date)) SetIfNotEmpty(*record, key, VCalStampText(OleDate(date)));
    }
    const std::string zone = event.GetStartTimeZone();  // an occurrence's is its series'
    if (!zone.empty() && !IsUtcZoneId(zone)) (*record)["VC_TZID"] = zone;
  }
  if (event.GetReminderSet()) (*record)["VC_TRIGGER"] = WriteTrigger(event.GetReminderMinutesBeforeStart());
  const std::string categories = event.GetCategories();
  if (categories != kFormerDefaultCategory) SetIfNotEmpty(*record, "VC_CATEGORIES", categories);
  SetIfNotEmpty(*record, "VC_LOCATION", event.GetLocation());
  ReadAttendees(event, user, *record);
  return record;
}

bool ReadSeries(const outlook::AppointmentItem& event, bool allDay, CDataItem& record) {
  const outlook::RecurrencePattern pattern = event.GetRecurrencePattern();
  RecurrencePattern rule = PatternOf(pattern);
  const SystemTimeZone zone = ZoneOf(event.GetStartTimeZone());
  const double startTime = TimeOfDay(pattern.GetStartTime());
  // A zone's date as the instant of the occurrence on it.
  const auto occurrenceOn = [&](const OleDate& day) {
    return ZoneWallToUtc(zone, OleDate(day.Days() + (allDay ? 0.0 : startTime)));
  };
  // A local date and time as the zone's date it is an occurrence of.
  const auto zoneDayOf = [&](double local) {
    OleDate utc(local);
    LocalToUtc(utc);
    return OleDate(DayOf(allDay ? local : ZoneUtcToWall(zone, utc).Days()));
  };
  const outlook::Exceptions exceptions = pattern.GetExceptions();
  const int32_t count = exceptions.GetCount();
  std::vector<std::pair<OleDate, double>> deleted;  // zone day, local original date
  bool changed = false;
  for (int32_t i = 1; i <= count; ++i) {
    const outlook::Exception exception = exceptions.Item(i);
    if (!exception.GetDeleted()) {
      changed = true;
      continue;
    }
    deleted.emplace_back(zoneDayOf(exception.GetOriginalDate()), exception.GetOriginalDate());
  }
  const bool byCount = pattern.GetEndsAfterOccurrences();
  const OleDate lastDay = rule.noEndDate ? OleDate() : OleDate(DayOf(pattern.GetPatternEndDate()));
  // Months the rule's day of the month skips, when the store was told to leave them out.
  int skippedCount = 0;
  if (SkipsShortMonths(rule)) {
    const SkippedMonths months = ShortMonthsOf(rule, OleDate(DayOf(pattern.GetPatternStartDate())), 0, lastDay);
    const auto isSkipped = [&](const OleDate& day) { return std::find(months.days.begin(), months.days.end(), day) != months.days.end(); };
    skippedCount = static_cast<int>(std::count_if(deleted.begin(), deleted.end(), [&](const auto& entry) { return isSkipped(entry.first); }));
    if (skippedCount > 0) {
      std::erase_if(deleted, [&](const auto& entry) { return isSkipped(entry.first); });
    } else if (!months.days.empty() && rule.dayOfMonth == 31) {
      rule.dayOfMonth = -1;  // the store's "31st" is the last day of every month
    }
  }
  if (byCount) {
    rule.occurrences = std::max(pattern.GetOccurrences() - skippedCount, 1);
    rule.noEndDate = false;
  } else if (!rule.noEndDate && !allDay) {
    rule.endUtc = occurrenceOn(lastDay);
    rule.end = rule.endUtc;
    UtcToLocal(rule.end);
    rule.endIsDate = false;
  }
  if (IsKnownType(rule.type)) SetIfNotEmpty(record, "VC_RRULE", WriteRecurrenceRule(rule, {allDay}));
  std::string excluded;
  for (const auto& [day, local] : deleted) {
    const std::string date = allDay ? VCalDateText(day) : VCalStampText(occurrenceOn(day));
    if (!date.empty()) excluded += (excluded.empty() ? "" : ",") + date;
  }
  SetIfNotEmpty(record, "EXDATE", excluded);
  return changed;
}

void WriteTaskFields(const outlook::TaskItem& task, const CDataItem& record) {
  task.SetSubject(record.Property("VC_SUMMARY"));
  task.SetBody(DecodedDescription(record.Property("VC_DESCRIPTION")));
  task.SetImportance(ImportanceOfPriority(record.Property("VC_PRIORITY")));
  task.SetSensitivity(SensitivityOfClass(record.Property("VC_CLASS")));
  task.SetCategories(record.Property("VC_CATEGORIES"));
  task.SetStartDate(TaskDateOfText(record.Property("VC_DTSTART")));
  task.SetDueDate(TaskDateOfText(record.Property("VC_DUE")));
  task.SetDateCompleted(TaskDateOfText(record.Property("VC_COMPLETED")));
  // A task without a status needs action: one reopened elsewhere is reopened here.
  const std::string& status = record.Property("VC_STATUS");
  int32_t state = 0;
  for (int32_t i = 0; i < 5; ++i) {
    if (status == kTaskStatuses[i]) state = i;
  }
  task.SetStatus(state);
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
    event.SetSensitivity(SensitivityOfClass(record.Property("VC_CLASS")));
    event.SetImportance(ImportanceOfPriority(record.Property("VC_PRIORITY")));
  }
  event.SetBusyStatus(record.Property("VC_TRANSP") == "TRANSPARENT" ? kShowAsFree : kShowAsBusy);
  const double start = LocalDateOfRecordText(startText);
  event.SetAllDayEvent(allDay && start != 0);
  if (start != 0 && allDay) {
    double end = LocalDateOfRecordText(endText);
    if (end < start) end = start + 1.0;
    event.SetStart(start);
    event.SetEnd(end);
  } else if (start != 0) {
    // The zone first: it is the frame of the series the caller puts in next.
    if (!occurrence) event.SetStartTimeZone(ZoneIdOfRecord(record));
    const OleDate startUtc = ParseVCalDateTime(startText);
    OleDate endUtc = ParseVCalDateTime(endText);
    if (!endUtc.IsValid() || endUtc < startUtc) endUtc = startUtc;
    event.SetStartUTC(startUtc.Days());
    event.SetEndUTC(endUtc.Days());
  }
  event.SetLocation(record.Property("VC_LOCATION"));
  const std::string& categories = record.Property("VC_CATEGORIES");
  event.SetCategories(categories == kFormerDefaultCategory ? "" : categories);
  const std::string& trigger = record.Property("VC_TRIGGER");
  event.SetReminderSet(!trigger.empty());
  if (!trigger.empty()) event.SetReminderMinutesBeforeStart(ReadTrigger(trigger));
  WriteAttendees(event, record, user);
  if (const std::string& organizer = record.Property("VC_ORGANIZER"); !organizer.empty() && !user.Is(organizer)) {
    event.SetOrganizer(organizer);
  }
  if (record.Property("VC_STATUS") == kCancelled) event.SetMeetingStatus(kMeetingCanceled);
}

bool IsCancelled(const CDataItem& record) { return record.Property("VC_STATUS") == kCancelled; }

bool WriteRecurrence(const outlook::AppointmentItem& event, const CDataItem& record) {
  RecurrencePattern rule;
  if (!ReadRecurrenceRule(record.Property("VC_RRULE"), rule) || !IsKnownType(rule.type)) return false;
  const bool allDay = event.GetAllDayEvent();
  const outlook::RecurrencePattern pattern = event.GetRecurrencePattern();
  pattern.SetRecurrenceType(rule.type);
  pattern.SetInterval(std::clamp(rule.interval, 1, 999));
  if (rule.dayMask != 0) pattern.SetDayOfWeekMask(rule.dayMask & 0x7F);
  if (IsNthType(rule.type) && rule.instance >= 1) pattern.SetInstance(std::min(rule.instance, kLastInstance));
  if (IsDayOfMonthType(rule.type) && rule.dayOfMonth != 0) {
    pattern.SetDayOfMonth(rule.dayOfMonth < 0 ? 31 : std::min(rule.dayOfMonth, 31));
  }
  if (IsYearlyType(rule.type) && rule.monthOfYear >= 1 && rule.monthOfYear <= 12) pattern.SetMonthOfYear(rule.monthOfYear);
  // The series' days are those of its zone: the first one, and the last.
  const SystemTimeZone zone = ZoneOf(event.GetStartTimeZone());
  const double startTime = TimeOfDay(pattern.GetStartTime());
  const OleDate first(DayOf(pattern.GetPatternStartDate()));
  OleDate lastDay;
  if (!rule.noEndDate && rule.occurrences == 0 && rule.end.IsValid()) {
    if (allDay || rule.endIsDate) {
      lastDay = OleDate(DayOf(rule.end.Days()));
    } else {
      OleDate utc = rule.endUtc;
      if (!utc.IsValid()) {
        utc = rule.end;
        LocalToUtc(utc);
      }
      const OleDate wall = ZoneUtcToWall(zone, utc);
      lastDay = OleDate(DayOf(wall.Days()) - (TimeOfDay(wall.Days()) + 1e-9 < startTime ? 1.0 : 0.0));
    }
  }
  int count = rule.occurrences;
  if (SkipsShortMonths(rule)) count = std::max(count, ShortMonthsOf(rule, first, rule.occurrences, lastDay).outlookCount);
  if (count > 0) {
    pattern.SetOccurrences(std::min(count, 999));
  } else if (lastDay.IsValid()) {
    pattern.SetPatternEndDate(lastDay.Days());
  } else {
    pattern.SetNoEndDate(true);
  }
  return true;
}

std::vector<double> SkippedOccurrences(const outlook::AppointmentItem& event, const CDataItem& record) {
  RecurrencePattern rule;
  if (!ReadRecurrenceRule(record.Property("VC_RRULE"), rule) || !SkipsShortMonths(rule)) return {};
  const outlook::RecurrencePattern pattern = event.GetRecurrencePattern();
  const OleDate lastDay = pattern.GetNoEndDate() ? OleDate() : OleDate(DayOf(pattern.GetPatternEndDate()));
  const SkippedMonths months = ShortMonthsOf(rule, OleDate(DayOf(pattern.GetPatternStartDate())), 0, lastDay);
  std::vector<double> local;
  for (const OleDate& day : months.days) local.push_back(LocalStartOfOccurrence(event, day.Days()));
  return local;
}

double LocalStartOfOccurrence(const outlook::AppointmentItem& event, double zoneDay) {
  if (event.GetAllDayEvent()) return DayOf(zoneDay);
  const SystemTimeZone zone = ZoneOf(event.GetStartTimeZone());
  OleDate start = ZoneWallToUtc(zone, OleDate(DayOf(zoneDay) + TimeOfDay(event.GetRecurrencePattern().GetStartTime())));
  UtcToLocal(start);
  return start.Days();
}

double LocalStartOfRecordDate(const outlook::AppointmentItem& series, const std::string& text) {
  const double local = LocalDateOfRecordText(text);
  if (local == 0 || text.find('T') == std::string::npos || series.GetAllDayEvent()) return local;
  const SystemTimeZone zone = ZoneOf(series.GetStartTimeZone());
  const OleDate wall = ZoneUtcToWall(zone, ParseVCalDateTime(text));
  return LocalStartOfOccurrence(series, DayOf(wall.Days()));
}
