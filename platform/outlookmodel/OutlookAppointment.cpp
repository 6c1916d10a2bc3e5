// Appointments, recurrence patterns, occurrences and exceptions.
#include "platform/outlookmodel/OutlookAppointment_p.h"

#include <algorithm>
#include <cmath>

#include "platform/automation/OutlookDispIds.h"

namespace outlookmodel {

using DispatchArgs::PutValue;
using DispatchArgs::RequireCount;

namespace {

constexpr double kMinutesPerDay = 1440.0;
constexpr double kOneSecond = 1.0 / 86400.0;
constexpr const char* kNoOccurrenceText =
    "You changed one of the recurrences of this item, and this instance no longer exists. "
    "Close any open items and try again.";

[[noreturn]] void ThrowNoOccurrence() { ThrowModelError(AutomationCode::kNotFound, kNoOccurrenceText); }

bool SameDay(double a, double b) { return DayOf(a) == DayOf(b); }

void RequireRange(int32_t value, int32_t min, int32_t max) {
  if (value < min || value > max) ThrowInvalidArgument();
}

}  // namespace

OutlookAppointment::OutlookAppointment(std::shared_ptr<ModelSession> session, ItemRecord record)
    : OutlookItem(std::move(session), ItemKind::Appointment, std::move(record)) {}

OutlookAppointment::OutlookAppointment(std::shared_ptr<OutlookAppointment> master, double originalDate,
                                       ItemRecord record, bool isException)
    : OutlookItem(master->SessionPtr(), ItemKind::Appointment, std::move(record)),
      mMaster(std::move(master)),
      mOriginalDate(originalDate),
      mIsException(isException) {}

double OutlookAppointment::Start() { return StoredValue("Start").ToDate(); }
double OutlookAppointment::End() { return StoredValue("End").ToDate(); }

void OutlookAppointment::SetStart(double start) {
  const double duration = End() - Start();
  mRecord.props["Start"] = Variant::Date(RoundToMillisecond(start));
  mRecord.props["End"] = Variant::Date(RoundToMillisecond(start + duration));
  if (!IsOccurrence() && mRecord.recurrence) mRecord.recurrence->rule.patternStart = DayOf(start);
}

void OutlookAppointment::SetEnd(double end) { mRecord.props["End"] = Variant::Date(RoundToMillisecond(end)); }

RecurrenceData& OutlookAppointment::EnsureRecurrence() {
  if (!mRecord.recurrence) mRecord.recurrence = RecurrenceData{RuleStartingOn(Start()), {}};
  return *mRecord.recurrence;
}

std::string OutlookAppointment::EntryId() { return IsOccurrence() ? mMaster->EntryId() : mRecord.entryId; }

double OutlookAppointment::LastModificationTime() {
  return IsOccurrence() ? mMaster->LastModificationTime() : mRecord.lastModified;
}

int32_t OutlookAppointment::RecurrenceState() const {
  if (IsOccurrence()) return mIsException ? olApptException : olApptOccurrence;
  return mRecord.recurrence ? olApptMaster : olApptNotRecurring;
}

bool OutlookAppointment::InvokeOwn(DispId id, InvokeKind kind, const std::vector<Variant>& args, Variant& result) {
  if (kind == InvokeKind::PropertyPut) {
    if (id != OutlookId::kDuration) return false;
    SetEnd(Start() + PutValue(args).ToInt() / kMinutesPerDay);
    return true;
  }
  switch (id) {
    case OutlookId::kDuration:
      RequireCount(args, 0, 0);
      result = Variant(static_cast<int32_t>(std::llround((End() - Start()) * kMinutesPerDay)));
      return true;
    case OutlookId::kRecurrenceState: RequireCount(args, 0, 0); result = Variant(RecurrenceState()); return true;
    case OutlookId::kIsRecurring:
      RequireCount(args, 0, 0);
      result = Variant(RecurrenceState() != olApptNotRecurring);
      return true;
    case OutlookId::kGetRecurrencePattern: {
      RequireCount(args, 0, 0);
      std::shared_ptr<OutlookAppointment> master =
          IsOccurrence() ? mMaster : std::static_pointer_cast<OutlookAppointment>(shared_from_this());
      master->EnsureRecurrence();
      result = Dispatch::Ptr(std::make_shared<OutlookPattern>(master));
      return true;
    }
    case OutlookId::kClearRecurrencePattern:
      RequireCount(args, 0, 0);
      if (IsOccurrence()) ThrowModelError(AutomationCode::kFail, "The operation is not supported on an occurrence.");
      mRecord.recurrence.reset();
      return true;
    default: return false;
  }
}

void OutlookAppointment::WriteStored(const PropertyDef& property, const Variant& value) {
  if (property.id == OutlookId::kStart) {
    SetStart(value.ToDate());
  } else if (property.id == OutlookId::kEnd) {
    SetEnd(value.ToDate());
  } else {
    OutlookItem::WriteStored(property, value);
    if (property.id == OutlookId::kAllDayEvent && value.ToBool()) NormalizeAllDay();
  }
}

// An all-day appointment runs from midnight to midnight, at least one day.
void OutlookAppointment::NormalizeAllDay() {
  const double start = DayOf(Start());
  double end = DayOf(End()) == End() ? End() : DayOf(End()) + 1.0;
  if (end <= start) end = start + 1.0;
  mRecord.props["Start"] = Variant::Date(start);
  mRecord.props["End"] = Variant::Date(end);
  if (!IsOccurrence() && mRecord.recurrence) mRecord.recurrence->rule.patternStart = start;
}

// A series starts on its first occurrence, and keeps only exceptions of days that still occur.
void OutlookAppointment::NormalizeSeries() {
  RecurrenceRule& rule = mRecord.recurrence->rule;
  rule.patternStart = DayOf(Start());
  const std::optional<double> first = NextOccurrenceDay(rule, rule.patternStart);
  if (!first) ThrowModelError(AutomationCode::kInvalidArgument, "The recurrence pattern has no occurrences.");
  if (*first != rule.patternStart) SetStart(Start() + (*first - rule.patternStart));
  std::erase_if(mRecord.recurrence->exceptions,
                [&](const ExceptionData& exception) { return !IsOccurrenceDay(rule, exception.originalDate); });
}

void OutlookAppointment::PrepareSave() {
  if (End() < Start()) ThrowModelError(AutomationCode::kInvalidArgument, "The end date you entered occurs before the start date.");
  if (StoredValue("AllDayEvent").ToBool()) NormalizeAllDay();
  if (!IsOccurrence() && mRecord.recurrence) NormalizeSeries();
}

void OutlookAppointment::Save() {
  if (!IsOccurrence()) {
    OutlookItem::Save();
    return;
  }
  PrepareSave();
  // The exception keeps what differs from the series, and always its own start and end.
  PropertyMap changed;
  for (const auto& [name, value] : mRecord.props) {
    const auto inSeries = mMaster->mRecord.props.find(name);
    if (name == "Start" || name == "End" || inSeries == mMaster->mRecord.props.end() || !(inSeries->second == value)) {
      changed[name] = value;
    }
  }
  mMaster->CommitException(mOriginalDate, changed, RecipientValues(), false);
  mIsException = true;
}

void OutlookAppointment::Delete() {
  if (!IsOccurrence()) {
    OutlookItem::Delete();
    return;
  }
  mMaster->CommitException(mOriginalDate, {}, {}, true);
  mDeleted = true;
}

void OutlookAppointment::CommitException(double originalDate, const PropertyMap& props,
                                         const std::vector<RecipientData>& recipients, bool deleted) {
  RecurrenceData& recurrence = EnsureRecurrence();
  const RecurrenceData before = recurrence;
  auto& exceptions = recurrence.exceptions;
  auto found = std::find_if(exceptions.begin(), exceptions.end(),
                            [&](const ExceptionData& exception) { return SameDay(exception.originalDate, originalDate); });
  if (found == exceptions.end()) {
    found = exceptions.insert(std::upper_bound(exceptions.begin(), exceptions.end(), originalDate,
                                               [](double date, const ExceptionData& e) { return date < e.originalDate; }),
                              ExceptionData{originalDate, deleted, {}, {}});
  }
  found->deleted = deleted;
  found->props = deleted ? PropertyMap() : props;
  found->recipients = deleted ? std::vector<RecipientData>() : recipients;
  try {
    Save();
  } catch (...) {
    mRecord.recurrence = before;
    throw;
  }
}

Dispatch::Ptr OutlookAppointment::GetOccurrence(double date) {
  if (IsOccurrence()) return mMaster->GetOccurrence(date);
  if (!mRecord.recurrence) ThrowNoOccurrence();
  const double time = TimeOfDay(date);
  if (time != 0.0 && std::fabs(time - TimeOfDay(Start())) > kOneSecond) ThrowNoOccurrence();
  for (const ExceptionData& exception : mRecord.recurrence->exceptions) {
    if (!SameDay(exception.originalDate, date)) continue;
    if (exception.deleted) ThrowNoOccurrence();
    return MakeOccurrence(DayOf(date), &exception);
  }
  if (!IsOccurrenceDay(mRecord.recurrence->rule, date)) ThrowNoOccurrence();
  return MakeOccurrence(DayOf(date), nullptr);
}

Dispatch::Ptr OutlookAppointment::OccurrenceOf(const ExceptionData& exception) {
  if (exception.deleted) ThrowNoOccurrence();
  return MakeOccurrence(DayOf(exception.originalDate), &exception);
}

Dispatch::Ptr OutlookAppointment::MakeOccurrence(double day, const ExceptionData* exception) {
  ItemRecord record = mRecord;
  record.recurrence.reset();
  const double start = RoundToMillisecond(day + TimeOfDay(Start()));
  record.props["Start"] = Variant::Date(start);
  record.props["End"] = Variant::Date(RoundToMillisecond(start + (End() - Start())));
  record.recipients = RecipientValues();
  double originalDate = start;
  if (exception != nullptr) {
    for (const auto& [name, value] : exception->props) record.props[name] = value;
    record.recipients = exception->recipients;
    originalDate = exception->originalDate;
  }
  auto self = std::static_pointer_cast<OutlookAppointment>(shared_from_this());
  return std::make_shared<OutlookAppointment>(self, originalDate, std::move(record), exception != nullptr);
}

Variant OutlookPattern::Invoke(DispId id, InvokeKind kind, const std::vector<Variant>& args) {
  if (kind == InvokeKind::PropertyPut) {
    Put(id, PutValue(args));
    return Variant();
  }
  return Get(id, args);
}

Variant OutlookPattern::Get(DispId id, const std::vector<Variant>& args) {
  const RecurrenceRule& rule = mMaster->EnsureRecurrence().rule;
  if (id == OutlookId::kGetOccurrence) {
    RequireCount(args, 1, 1);
    return mMaster->GetOccurrence(args[0].ToDate());
  }
  RequireCount(args, 0, 0);
  switch (id) {
    case OutlookId::kRecurrenceType: return Variant(rule.type);
    case OutlookId::kInterval: return Variant(rule.interval);
    case OutlookId::kDayOfWeekMask: return Variant(rule.dayOfWeekMask);
    case OutlookId::kDayOfMonth: return Variant(rule.dayOfMonth);
    case OutlookId::kMonthOfYear: return Variant(rule.monthOfYear);
    case OutlookId::kInstance: return Variant(rule.instance);
    case OutlookId::kNoEndDate: return Variant(rule.noEndDate);
    case OutlookId::kPatternStartDate: return Variant::Date(rule.patternStart);
    case OutlookId::kPatternEndDate: return Variant::Date(rule.noEndDate ? kNoDate : rule.patternEnd);
    case OutlookId::kOccurrences: return Variant(CountOccurrences(rule));
    case OutlookId::kStartTime: return Variant::Date(TimeOfDay(mMaster->Start()));
    case OutlookId::kEndTime: return Variant::Date(TimeOfDay(mMaster->End()));
    case OutlookId::kPatternDuration:
      return Variant(static_cast<int32_t>(std::llround((mMaster->End() - mMaster->Start()) * kMinutesPerDay)));
    case OutlookId::kExceptions: return Dispatch::Ptr(std::make_shared<OutlookExceptions>(mMaster));
    case OutlookId::kClass: return Variant(int32_t{olRecurrencePattern});
    case OutlookId::kParent: return Dispatch::Ptr(mMaster);
    default: break;
  }
  ThrowMemberNotFound("RecurrencePattern", id);
}

void OutlookPattern::Put(DispId id, const Variant& value) {
  RecurrenceRule& rule = mMaster->EnsureRecurrence().rule;
  switch (id) {
    case OutlookId::kRecurrenceType:
      if (!SetRuleType(rule, value.ToInt(), mMaster->Start())) ThrowInvalidArgument();
      return;
    case OutlookId::kInterval: RequireRange(value.ToInt(), 1, kMaxRecurrenceInterval); rule.interval = value.ToInt(); return;
    case OutlookId::kDayOfWeekMask: RequireRange(value.ToInt(), 0, 127); rule.dayOfWeekMask = value.ToInt(); return;
    case OutlookId::kDayOfMonth: RequireRange(value.ToInt(), 1, 31); rule.dayOfMonth = value.ToInt(); return;
    case OutlookId::kMonthOfYear: RequireRange(value.ToInt(), 1, 12); rule.monthOfYear = value.ToInt(); return;
    case OutlookId::kInstance: RequireRange(value.ToInt(), 1, 5); rule.instance = value.ToInt(); return;
    case OutlookId::kNoEndDate:
      rule.noEndDate = value.ToBool();
      if (rule.noEndDate) {
        rule.patternEnd = kNoDate;
      } else if (IsNoDate(rule.patternEnd)) {
        rule.patternEnd = NthOccurrenceDay(rule, 10).value_or(rule.patternStart);
      }
      return;
    case OutlookId::kPatternEndDate: {
      const double end = value.ToDate();
      rule.noEndDate = IsNoDate(end);
      rule.patternEnd = rule.noEndDate ? kNoDate : DayOf(end);
      return;
    }
    case OutlookId::kOccurrences: {
      RequireRange(value.ToInt(), 1, kMaxOccurrenceCount);
      const std::optional<double> last = NthOccurrenceDay(rule, value.ToInt());
      if (!last) ThrowInvalidArgument();
      rule.noEndDate = false;
      rule.patternEnd = *last;
      return;
    }
    case OutlookId::kPatternStartDate:
      mMaster->SetStart(DayOf(value.ToDate()) + TimeOfDay(mMaster->Start()));
      return;
    case OutlookId::kStartTime:
      // Only the time of day counts; the series keeps its dates and its duration.
      mMaster->SetStart(DayOf(mMaster->Start()) + TimeOfDay(value.ToDate()));
      return;
    case OutlookId::kEndTime: {
      double end = DayOf(mMaster->Start()) + TimeOfDay(value.ToDate());
      if (end < mMaster->Start()) end += 1.0;  // ends after midnight
      mMaster->SetEnd(end);
      return;
    }
    case OutlookId::kPatternDuration: mMaster->SetEnd(mMaster->Start() + value.ToInt() / kMinutesPerDay); return;
    default: break;
  }
  ThrowMemberNotFound("RecurrencePattern", id);
}

OutlookExceptions::OutlookExceptions(std::shared_ptr<OutlookAppointment> master)
    : mMaster(std::move(master)), mExceptions(mMaster->EnsureRecurrence().exceptions) {}

Variant OutlookExceptions::Invoke(DispId id, InvokeKind kind, const std::vector<Variant>& args) {
  if (!IsGetCall(kind)) ThrowMemberNotFound("Exceptions", id);
  switch (id) {
    case OutlookId::kCount: RequireCount(args, 0, 0); return Variant(static_cast<int32_t>(mExceptions.size()));
    case OutlookId::kItem: {
      RequireCount(args, 1, 1);
      const int32_t position = args[0].ToInt();
      if (position < 1 || static_cast<size_t>(position) > mExceptions.size()) ThrowBadIndex();
      return Dispatch::Ptr(std::make_shared<OutlookExceptionEntry>(mMaster, mExceptions[position - 1]));
    }
    case OutlookId::kClass: RequireCount(args, 0, 0); return Variant(int32_t{olExceptions});
    case OutlookId::kParent: RequireCount(args, 0, 0); return Dispatch::Ptr(std::make_shared<OutlookPattern>(mMaster));
    default: break;
  }
  ThrowMemberNotFound("Exceptions", id);
}

Variant OutlookExceptionEntry::Invoke(DispId id, InvokeKind kind, const std::vector<Variant>& args) {
  if (!IsGetCall(kind)) ThrowMemberNotFound("Exception", id);
  RequireCount(args, 0, 0);
  switch (id) {
    case OutlookId::kOriginalDate: return Variant::Date(mException.originalDate);
    case OutlookId::kDeleted: return Variant(mException.deleted);
    case OutlookId::kAppointmentItem: return mMaster->OccurrenceOf(mException);
    case OutlookId::kClass: return Variant(int32_t{olException});
    case OutlookId::kParent: return Dispatch::Ptr(std::make_shared<OutlookPattern>(mMaster));
    default: break;
  }
  ThrowMemberNotFound("Exception", id);
}

}  // namespace outlookmodel
