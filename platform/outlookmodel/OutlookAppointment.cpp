// Appointments, recurrence patterns, occurrences and exceptions.
#include "platform/outlookmodel/OutlookAppointment_p.h"

#include <algorithm>
#include <cmath>

#include "platform/automation/OutlookDispIds.h"
#include "platform/outlookmodel/ModelTime_p.h"
#include "platform/zoneinfo/SystemTimeZone.h"

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

OutlookAppointment::OutlookAppointment(std::shared_ptr<OutlookAppointment> master, double originalWall,
                                       ItemRecord record, bool isException)
    : OutlookItem(master->SessionPtr(), ItemKind::Appointment, std::move(record)),
      mMaster(std::move(master)),
      mOriginalWall(originalWall),
      mIsException(isException) {}

// ---- Times

namespace {

double StoredDate(const ItemRecord& record, const char* name) {
  const auto found = record.props.find(name);
  return found != record.props.end() ? found->second.ToDate() : kNoDate;
}

bool IsInstant(const ItemRecord& record, const char* name) { return record.instants.count(name) != 0; }

void PutDate(ItemRecord& record, const char* name, double date, bool instant) {
  record.props[name] = Variant::Date(RoundToMillisecond(date));
  if (instant) {
    record.instants.insert(name);
  } else {
    record.instants.erase(name);
  }
}

}  // namespace

bool OutlookAppointment::AllDay() { return StoredValue("AllDayEvent").ToBool(); }

double OutlookAppointment::Start() {
  const double stored = StoredDate(mRecord, "Start");
  return IsInstant(mRecord, "Start") ? LocalDateOfUtc(stored) : stored;
}

double OutlookAppointment::End() {
  const double stored = StoredDate(mRecord, "End");
  return IsInstant(mRecord, "End") ? LocalDateOfUtc(stored) : stored;
}

double OutlookAppointment::StartUtc() {
  const double stored = StoredDate(mRecord, "Start");
  return IsInstant(mRecord, "Start") ? stored : UtcDateOfLocal(stored);
}

double OutlookAppointment::EndUtc() {
  const double stored = StoredDate(mRecord, "End");
  return IsInstant(mRecord, "End") ? stored : UtcDateOfLocal(stored);
}

double OutlookAppointment::StartWall() {
  const double stored = StoredDate(mRecord, "Start");
  return IsInstant(mRecord, "Start") ? ZoneWallOfUtcDate(Zone(), stored) : stored;
}

double OutlookAppointment::EndWall() {
  const double stored = StoredDate(mRecord, "End");
  return IsInstant(mRecord, "End") ? ZoneWallOfUtcDate(Zone(), stored) : stored;
}

void OutlookAppointment::SetStart(double start) {
  if (!AllDay()) {
    SetStartUtc(UtcDateOfLocal(start));
    return;
  }
  const double duration = End() - Start();
  PutDate(mRecord, "Start", start, false);
  PutDate(mRecord, "End", start + duration, false);
  if (!IsOccurrence() && mRecord.recurrence) mRecord.recurrence->rule.patternStart = DayOf(start);
}

void OutlookAppointment::SetEnd(double end) {
  if (AllDay()) {
    PutDate(mRecord, "End", end, false);
  } else {
    PutDate(mRecord, "End", UtcDateOfLocal(end), true);
  }
}

void OutlookAppointment::SetStartUtc(double start) {
  if (AllDay()) {
    SetStart(LocalDateOfUtc(start));
    return;
  }
  const double duration = EndUtc() - StartUtc();
  PutDate(mRecord, "Start", start, true);
  PutDate(mRecord, "End", start + duration, true);
  if (!IsOccurrence() && mRecord.recurrence) mRecord.recurrence->rule.patternStart = DayOf(StartWall());
}

void OutlookAppointment::SetEndUtc(double end) {
  if (AllDay()) {
    PutDate(mRecord, "End", LocalDateOfUtc(end), false);
  } else {
    PutDate(mRecord, "End", end, true);
  }
}

void OutlookAppointment::SetStartWall(double wall) {
  if (AllDay()) {
    SetStart(wall);
  } else {
    SetStartUtc(UtcDateOfZoneWall(Zone(), wall));
  }
}

std::string OutlookAppointment::ZoneId() {
  if (IsOccurrence()) return mMaster->ZoneId();
  const std::string id = OwnZoneId();
  return id.empty() ? MachineZoneId() : id;
}

std::string OutlookAppointment::OwnZoneId() const {
  const auto found = mRecord.props.find("StartTimeZone");
  return found != mRecord.props.end() ? found->second.ToString() : std::string();
}

const SystemTimeZone& OutlookAppointment::Zone() { return mSession->Zone(ZoneId()); }

double OutlookAppointment::LocalOfWall(double wall) {
  if (AllDay()) return wall;
  return LocalDateOfUtc(UtcDateOfZoneWall(Zone(), wall));
}

double OutlookAppointment::OccurrenceWall(double day) { return AllDay() ? DayOf(day) : DayOf(day) + TimeOfDay(StartWall()); }

// An all-day appointment runs from midnight to midnight of the calendar, at least one day.
void OutlookAppointment::MakeAllDay() {
  const double start = DayOf(Start());
  double end = DayOf(End()) == End() ? End() : DayOf(End()) + 1.0;
  if (end <= start) end = start + 1.0;
  PutDate(mRecord, "Start", start, false);
  PutDate(mRecord, "End", end, false);
  if (!IsOccurrence() && mRecord.recurrence) mRecord.recurrence->rule.patternStart = start;
}

// A timed appointment's days become the instants their local times are.
void OutlookAppointment::MakeTimed() {
  for (const char* name : {"Start", "End"}) {
    if (!IsInstant(mRecord, name)) PutDate(mRecord, name, UtcDateOfLocal(StoredDate(mRecord, name)), true);
  }
}

RecurrenceData& OutlookAppointment::EnsureRecurrence() {
  if (!mRecord.recurrence) mRecord.recurrence = RecurrenceData{RuleStartingOn(StartWall()), {}};
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
  const bool allDay = AllDay();
  if (kind == InvokeKind::PropertyPut) {
    switch (id) {
      case OutlookId::kDuration:
        if (allDay) {
          SetEnd(Start() + PutValue(args).ToInt() / kMinutesPerDay);
        } else {
          SetEndUtc(StartUtc() + PutValue(args).ToInt() / kMinutesPerDay);
        }
        return true;
      case OutlookId::kStartUTC: SetStartUtc(PutValue(args).ToDate()); return true;
      case OutlookId::kEndUTC: SetEndUtc(PutValue(args).ToDate()); return true;
      default: return false;
    }
  }
  switch (id) {
    case OutlookId::kDuration:
      RequireCount(args, 0, 0);
      result = Variant(static_cast<int32_t>(std::llround((allDay ? End() - Start() : EndUtc() - StartUtc()) * kMinutesPerDay)));
      return true;
    case OutlookId::kStartUTC: RequireCount(args, 0, 0); result = Variant::Date(StartUtc()); return true;
    case OutlookId::kEndUTC: RequireCount(args, 0, 0); result = Variant::Date(EndUtc()); return true;
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

Variant OutlookAppointment::ReadStored(const PropertyDef& property) {
  if (property.id == OutlookId::kStartTimeZone) return Variant(ZoneId());
  return OutlookItem::ReadStored(property);
}

void OutlookAppointment::WriteStored(const PropertyDef& property, const Variant& value) {
  if (property.id == OutlookId::kStart) {
    SetStart(RoundToMillisecond(value.ConvertTo(VariantType::Date).ToDate()));
  } else if (property.id == OutlookId::kEnd) {
    SetEnd(RoundToMillisecond(value.ConvertTo(VariantType::Date).ToDate()));
  } else if (property.id == OutlookId::kAllDayEvent) {
    const bool wasAllDay = AllDay();
    OutlookItem::WriteStored(property, value);
    if (AllDay()) {
      MakeAllDay();
    } else if (wasAllDay) {
      MakeTimed();
    }
  } else if (property.id == OutlookId::kStartTimeZone) {
    const std::string id = value.ConvertTo(VariantType::String).ToString();
    if (IsOccurrence() || (!id.empty() && !SystemTimeZone::Named(id))) ThrowInvalidArgument();
    OutlookItem::WriteStored(property, Variant(id));
  } else {
    OutlookItem::WriteStored(property, value);
  }
}

// A series starts on its first occurrence, ends on the last of a counted series, and keeps only
// exceptions of days that still occur.
void OutlookAppointment::NormalizeSeries() {
  RecurrenceRule& rule = mRecord.recurrence->rule;
  rule.patternStart = DayOf(StartWall());
  const std::optional<double> first = NextOccurrenceDay(rule, rule.patternStart);
  if (!first) ThrowModelError(AutomationCode::kInvalidArgument, "The recurrence pattern has no occurrences.");
  if (*first != rule.patternStart) SetStartWall(StartWall() + (*first - rule.patternStart));
  if (rule.occurrences > 0) {
    if (const std::optional<double> last = NthOccurrenceDay(rule, rule.occurrences)) {
      rule.noEndDate = false;
      rule.patternEnd = *last;
    }
  }
  std::erase_if(mRecord.recurrence->exceptions,
                [&](const ExceptionData& exception) { return !IsOccurrenceDay(rule, exception.originalDate); });
}

void OutlookAppointment::PrepareSave() {
  const bool allDay = AllDay();
  if ((allDay ? End() < Start() : EndUtc() < StartUtc())) {
    ThrowModelError(AutomationCode::kInvalidArgument, "The end date you entered occurs before the start date.");
  }
  if (allDay) MakeAllDay();
  if (IsOccurrence()) return;
  // An appointment made here keeps the zone the machine has when it is first saved.
  if (OwnZoneId().empty()) mRecord.props["StartTimeZone"] = Variant(MachineZoneId());
  if (mRecord.recurrence) NormalizeSeries();
}

void OutlookAppointment::Save() {
  if (!IsOccurrence()) {
    OutlookItem::Save();
    return;
  }
  PrepareSave();
  // The exception keeps what differs from the series, and always its own start and end.
  PropertyMap changed;
  InstantNames instants;
  for (const auto& [name, value] : mRecord.props) {
    const auto inSeries = mMaster->mRecord.props.find(name);
    const bool sameForm = mRecord.instants.count(name) == mMaster->mRecord.instants.count(name);
    if (name == "Start" || name == "End" || inSeries == mMaster->mRecord.props.end() || !(inSeries->second == value) ||
        !sameForm) {
      changed[name] = value;
      if (mRecord.instants.count(name) != 0) instants.insert(name);
    }
  }
  mMaster->CommitException(mOriginalWall, changed, instants, RecipientValues(), false);
  mIsException = true;
}

void OutlookAppointment::Delete() {
  if (!IsOccurrence()) {
    OutlookItem::Delete();
    return;
  }
  mMaster->CommitException(mOriginalWall, {}, {}, {}, true);
  mDeleted = true;
}

void OutlookAppointment::CommitException(double originalWall, const PropertyMap& props, const InstantNames& instants,
                                         const std::vector<RecipientData>& recipients, bool deleted) {
  RecurrenceData& recurrence = EnsureRecurrence();
  const RecurrenceData before = recurrence;
  auto& exceptions = recurrence.exceptions;
  auto found = std::find_if(exceptions.begin(), exceptions.end(),
                            [&](const ExceptionData& exception) { return SameDay(exception.originalDate, originalWall); });
  if (found == exceptions.end()) {
    found = exceptions.insert(std::upper_bound(exceptions.begin(), exceptions.end(), originalWall,
                                               [](double date, const ExceptionData& e) { return date < e.originalDate; }),
                              ExceptionData{originalWall, deleted, {}, {}, {}});
  }
  found->deleted = deleted;
  found->props = deleted ? PropertyMap() : props;
  found->instants = deleted ? InstantNames() : instants;
  found->recipients = deleted ? std::vector<RecipientData>() : recipients;
  try {
    Save();
  } catch (...) {
    mRecord.recurrence = before;
    throw;
  }
}

// The zone's day of an occurrence can differ from its local day by up to two days (zones up to
// 26 hours apart): each candidate day is tried by the local time its original start has.
Dispatch::Ptr OutlookAppointment::GetOccurrence(double date) {
  if (IsOccurrence()) return mMaster->GetOccurrence(date);
  if (!mRecord.recurrence) ThrowNoOccurrence();
  const double localDay = DayOf(date);
  const double time = TimeOfDay(date);
  const bool allDay = AllDay();
  for (const double shift : {0.0, -1.0, 1.0, -2.0, 2.0}) {
    if (allDay && shift != 0.0) break;
    const double day = localDay + shift;
    const auto& exceptions = mRecord.recurrence->exceptions;
    const auto exception = std::find_if(exceptions.begin(), exceptions.end(),
                                        [day](const ExceptionData& e) { return SameDay(e.originalDate, day); });
    const bool recorded = exception != exceptions.end();
    if (!recorded && !IsOccurrenceDay(mRecord.recurrence->rule, day)) continue;
    const double original = LocalOfWall(recorded ? exception->originalDate : OccurrenceWall(day));
    if (DayOf(original) != localDay) continue;
    if (time != 0.0 && std::fabs(TimeOfDay(original) - time) > kOneSecond) ThrowNoOccurrence();
    if (recorded && exception->deleted) ThrowNoOccurrence();
    return MakeOccurrence(day, recorded ? &*exception : nullptr);
  }
  ThrowNoOccurrence();
}

Dispatch::Ptr OutlookAppointment::OccurrenceOf(const ExceptionData& exception) {
  if (exception.deleted) ThrowNoOccurrence();
  return MakeOccurrence(DayOf(exception.originalDate), &exception);
}

Dispatch::Ptr OutlookAppointment::MakeOccurrence(double day, const ExceptionData* exception) {
  ItemRecord record = mRecord;
  record.recurrence.reset();
  const double wall = OccurrenceWall(day);
  if (AllDay()) {
    PutDate(record, "Start", wall, false);
    PutDate(record, "End", wall + (End() - Start()), false);
  } else {
    const double start = UtcDateOfZoneWall(Zone(), wall);
    PutDate(record, "Start", start, true);
    PutDate(record, "End", start + (EndUtc() - StartUtc()), true);
  }
  record.recipients = RecipientValues();
  double originalWall = wall;
  if (exception != nullptr) {
    for (const auto& [name, value] : exception->props) {
      record.props[name] = value;
      if (exception->instants.count(name) != 0) {
        record.instants.insert(name);
      } else {
        record.instants.erase(name);
      }
    }
    record.recipients = exception->recipients;
    originalWall = exception->originalDate;
  }
  auto self = std::static_pointer_cast<OutlookAppointment>(shared_from_this());
  return std::make_shared<OutlookAppointment>(self, originalWall, std::move(record), exception != nullptr);
}

Variant OutlookPattern::Invoke(DispId id, InvokeKind kind, const std::vector<Variant>& args) {
  if (kind == InvokeKind::PropertyPut) {
    Put(id, PutValue(args));
    return Variant();
  }
  return Get(id, args);
}

Variant OutlookPattern::Get(DispId id, const std::vector<Variant>& args) {
  const RecurrenceRule rule = mMaster->EnsureRecurrence().rule;
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
    case OutlookId::kOccurrences: return Variant(rule.occurrences > 0 ? rule.occurrences : CountOccurrences(rule));
    case OutlookId::kEndsAfterOccurrences: return Variant(rule.occurrences > 0);
    case OutlookId::kStartTime: return Variant::Date(TimeOfDay(mMaster->StartWall()));
    case OutlookId::kEndTime: return Variant::Date(TimeOfDay(mMaster->EndWall()));
    case OutlookId::kPatternDuration:
      return Variant(static_cast<int32_t>(std::llround((mMaster->EndUtc() - mMaster->StartUtc()) * kMinutesPerDay)));
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
      if (!SetRuleType(rule, value.ToInt(), mMaster->StartWall())) ThrowInvalidArgument();
      return;
    case OutlookId::kInterval: RequireRange(value.ToInt(), 1, kMaxRecurrenceInterval); rule.interval = value.ToInt(); return;
    case OutlookId::kDayOfWeekMask: RequireRange(value.ToInt(), 0, 127); rule.dayOfWeekMask = value.ToInt(); return;
    case OutlookId::kDayOfMonth: RequireRange(value.ToInt(), 1, 31); rule.dayOfMonth = value.ToInt(); return;
    case OutlookId::kMonthOfYear: RequireRange(value.ToInt(), 1, 12); rule.monthOfYear = value.ToInt(); return;
    case OutlookId::kInstance: RequireRange(value.ToInt(), 1, 5); rule.instance = value.ToInt(); return;
    case OutlookId::kNoEndDate:
      rule.noEndDate = value.ToBool();
      rule.occurrences = 0;
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
      rule.occurrences = 0;
      return;
    }
    case OutlookId::kOccurrences: {
      RequireRange(value.ToInt(), 1, kMaxOccurrenceCount);
      const std::optional<double> last = NthOccurrenceDay(rule, value.ToInt());
      if (!last) ThrowInvalidArgument();
      rule.noEndDate = false;
      rule.patternEnd = *last;
      rule.occurrences = value.ToInt();
      return;
    }
    case OutlookId::kPatternStartDate:
      mMaster->SetStartWall(DayOf(value.ToDate()) + TimeOfDay(mMaster->StartWall()));
      return;
    case OutlookId::kStartTime:
      // Only the time of day counts; the series keeps its dates and its duration.
      mMaster->SetStartWall(DayOf(mMaster->StartWall()) + TimeOfDay(value.ToDate()));
      return;
    case OutlookId::kEndTime: {
      double end = DayOf(mMaster->StartWall()) + TimeOfDay(value.ToDate());
      if (end < mMaster->StartWall()) end += 1.0;  // ends after midnight
      if (mMaster->AllDay()) {
        mMaster->SetEnd(end);
      } else {
        mMaster->SetEndUtc(UtcDateOfZoneWall(mMaster->Zone(), end));
      }
      return;
    }
    case OutlookId::kPatternDuration:
      mMaster->SetEndUtc(mMaster->StartUtc() + value.ToInt() / kMinutesPerDay);
      return;
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
    case OutlookId::kOriginalDate: return Variant::Date(mMaster->LocalOfWall(mException.originalDate));
    case OutlookId::kDeleted: return Variant(mException.deleted);
    case OutlookId::kAppointmentItem: return mMaster->OccurrenceOf(mException);
    case OutlookId::kClass: return Variant(int32_t{olException});
    case OutlookId::kParent: return Dispatch::Ptr(std::make_shared<OutlookPattern>(mMaster));
    default: break;
  }
  ThrowMemberNotFound("Exception", id);
}

}  // namespace outlookmodel
