// The Outlook store's events and tasks: reading them within the sync period, writing the server's
// items (series, changed occurrences, tasks) and deleting them.
#include <algorithm>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "common/CXException.h"
#include "common/Format.h"
#include "common/StringIds.h"
#include "config/CConf.h"
#include "config/CLog.h"
#include "pim/CalendarRecordBuilder.h"
#include "pim/VCalDateTime.h"
#include "pim/VCalItemReader.h"
#include "platform/automation/AutomationDate.h"
#include "platform/automation/AutomationError.h"
#include "stores/outlook/COutlook.h"

namespace {

constexpr const char* kLoadTasks = "COutlook::LoadTasks";
constexpr const char* kLoadEvents = "COutlook::LoadEvents";
constexpr const char* kEventToCollection = "COutlook::EventToCollection";
constexpr const char* kGetExEvent = "COutlook::GetExEvent";

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// The record key that marks a stand-in series with the UID of the series it stands in for.
constexpr const char* kStandInKey = "VC_STAND_IN_UID";

std::vector<std::string> SplitList(const std::string& list) {
  std::vector<std::string> elements;
  size_t begin = 0;
  while (begin <= list.size()) {
    const size_t comma = std::min(list.find(',', begin), list.size());
    if (comma > begin) elements.push_back(list.substr(begin, comma - begin));
    begin = comma + 1;
  }
  return elements;
}

// The local day a record date names (a changed occurrence's original start).
double LocalDay(const std::string& text) {
  const double date = LocalDateOfRecordText(text);
  return date != 0 ? DayOf(date) : 0;
}

// The "/" + date part of a changed occurrence's identifier as a local day; 0 for a series key.
double OccurrenceDayOfKey(const std::string& entryId) {
  const size_t slash = entryId.find('/');
  return slash == std::string::npos ? 0 : LocalDay(entryId.substr(slash + 1));
}

}  // namespace

CalendarPeriod COutlook::Period() const { return CalendarPeriod(mConf.SyncStartDate()); }

const CalendarUser& COutlook::User() {
  if (!mUser) {
    mUser.emplace();
    mUser->identities.push_back(mConf.Login());
    try {
      const outlook::Recipient user = mNamespace.GetCurrentUser();
      mUser->identities.push_back(user.GetAddress());
      mUser->identities.push_back(user.GetName());
    } catch (const AutomationError& error) {
      LogDebug("COutlook::CurrentUser", error.what());
    }
  }
  return *mUser;
}

// ---- Reading

int32_t COutlook::LoadTasks(CDataItemList& list) {
  LogDebug(kLoadTasks, "Begin");
  const outlook::Items items = mCurrentFolder.GetItems();
  if (!items) return kStoreFail;
  const int32_t count = items.GetCount();
  LogDebug(kLoadTasks, FormatText("Tasks found: %d", {count}));
  const CalendarPeriod period = Period();
  for (int32_t index = 1; index <= count; ++index) {
    if (Cancelled()) throw COutlookException(IDS_CANCELED_BY_USER);
    const outlook::TaskItem task(items.Item(index));
    if (!task) {
      LogError(kLoadTasks, FormatText("Item %d missing", {index}));
      return kStoreFail;
    }
    if (!period.Holds(task)) {
      LogDebug(kLoadTasks, "Task is outside of the sync period");
      continue;
    }
    const CDataItem::Ptr record = ReadTaskRecord(task);
    list.Add(record);
    LogDebug(kLoadTasks, "Task loaded: " + record->Property("VC_SUMMARY"));
  }
  LogDebug(kLoadTasks, "End");
  return kStoreOk;
}

int32_t COutlook::LoadEvents(CDataItemList& list) {
  LogDebug(kLoadEvents, "Begin");
  if (!mNamespace) {
    LogError(kLoadEvents, "Outlook was not initialized");
    return kStoreFail;
  }
  const outlook::Items items = mCurrentFolder.GetItems();
  if (!items) {
    LogError(kLoadEvents, "Cannot get list of items in the folder");
    return kStoreFail;
  }
  // The event dates are read with localtime_r, which takes the zone as the last tzset left it:
  // a window open for days must read them in the zone the machine has now, as mktime does.
  tzset();
  const int32_t count = items.GetCount();
  LogDebug(kLoadEvents, FormatText("Events found: %d", {count}));
  for (int32_t index = 1; index <= count; ++index) {
    if (Cancelled()) throw COutlookException(IDS_CANCELED_BY_USER);
    const outlook::AppointmentItem event(items.Item(index));
    if (!event) {
      LogError(kLoadEvents, "Cannot get event item");
      return kStoreFail;
    }
    if (EventToCollection(event, 0, list) != kStoreOk) return kStoreFail;
  }
  LogDebug(kLoadEvents, "End");
  return kStoreOk;
}

int32_t COutlook::EventToCollection(const outlook::AppointmentItem& event, double originalDate, CDataItemList& list,
                                    bool seriesAllDay) {
  LogDebug(kEventToCollection, "Begin");
  if (!Period().Holds(event)) {
    LogDebug(kEventToCollection, "Event is outside of the period");
    return kStoreOk;
  }
  const bool allDay = originalDate != 0 ? seriesAllDay : event.GetAllDayEvent();
  const CDataItem::Ptr record = ReadEventRecord(event, User(), originalDate, allDay);
  const bool series = originalDate == 0 && event.GetRecurrenceState() != olApptNotRecurring;
  outlook::RecurrencePattern pattern;
  bool changedOccurrences = false;
  if (series) {
    pattern = event.GetRecurrencePattern();
    changedOccurrences = ReadSeries(event, allDay, *record);
  }
  list.Add(record);
  LogDebug(kEventToCollection, "Event loaded: " + record->Property("VC_SUMMARY"));
  if (changedOccurrences) {
    const outlook::Exceptions exceptions = pattern.GetExceptions();
    const int32_t count = exceptions.GetCount();
    LogDebug(kEventToCollection, FormatText("Exceptions found: %d", {count}));
    for (int32_t i = 1; i <= count; ++i) {
      const outlook::Exception exception = exceptions.Item(i);
      if (exception.GetDeleted()) continue;
      if (EventToCollection(exception.GetAppointmentItem(), exception.GetOriginalDate(), list, allDay) != kStoreOk) {
        LogError(kEventToCollection, "Error adding exception");
        return kStoreFail;
      }
    }
  }
  LogDebug(kEventToCollection, "End");
  return kStoreOk;
}

// ---- Writing

outlook::AppointmentItem COutlook::GetAppointment(const std::string& entryId) {
  const outlook::OutlookItem found = GetItem(entryId);
  if (!found || !StartsWith(found.GetMessageClass(), kAppointmentClass)) return {};
  return outlook::AppointmentItem(found.Object());
}

double COutlook::OriginalStartIn(const std::string& masterId, const CDataItem& occurrence) {
  const std::string& original = occurrence.Property("VC_RECURRENCE_ID");
  const outlook::AppointmentItem master = GetAppointment(masterId);
  return master ? LocalStartOfRecordDate(master, original) : LocalDay(original);
}

std::string COutlook::MasterIdOf(const std::string& entryId, const std::string& uid) {
  if (!entryId.empty() && (uid.empty() || GetAppointment(SeriesKeyOf(entryId)))) return SeriesKeyOf(entryId);
  if (uid.empty()) return {};
  if (const auto found = mMasterIds.find(uid); found != mMasterIds.end()) return found->second;
  // A series this store sent has its local identifier as UID.
  return GetAppointment(uid) ? uid : std::string();
}

std::string COutlook::CalendarItem2CAL(const std::string& text, const std::string& entryId) {
  const char* const operation = "COutlook::CalendarItem2CAL";
  LogDebug(operation, "Begin");
  const std::vector<CDataItem::Ptr> records = CalendarRecordBuilder::BuildAll(text);
  if (records.empty()) {
    LogError(operation, "Neither VTODO nor VEVENT found");
    return {};
  }
  if (records.front()->kind == ITEM_TASK) {
    std::string id = entryId;
    return Task2Outlook(*records.front(), id) ? id : std::string();
  }
  const std::string uid = FindRecurrenceId(text).uid;
  std::string id;
  size_t first = 0;
  if (!IsChangedOccurrence(*records.front())) {
    id = SeriesKeyOf(entryId);
    // A series whose changed occurrences came first is written over their stand-in.
    if (id.empty()) id = StandInOf(uid);
    if (!Event2Outlook(*records.front(), id)) return {};
    if (!uid.empty()) mMasterIds[uid] = id;
    first = 1;
  }
  std::string master = id.empty() ? MasterIdOf(entryId, uid) : id;
  if (master.empty() && !uid.empty()) {
    // The series may come later in this run or another: a stand-in series holds the changed
    // occurrence meanwhile, under the identifier the series will then have.
    LogDebug(operation, "Series not written yet, changed occurrence held by a stand-in: " + uid);
    if (!WriteStandIn(*records.front(), uid, master)) return {};
  }
  for (size_t i = first; i < records.size(); ++i) {
    if (!ExceptionEvent2Outlook(*records[i], master, OriginalStartIn(master, *records[i]))) return {};
    if (id.empty()) id = master + "/" + VCalDateText(OleDate(LocalDay(records[i]->Property("VC_RECURRENCE_ID"))));
  }
  return id;
}

void COutlook::CarryStandInUids() {
  for (const CDataItem::Ptr& saved : mSavedItems.Items()) {
    const std::string_view uid = saved->PropertyView(kStandInKey);
    if (uid.empty()) continue;
    if (const CDataItem::Ptr current = mCurrentItems.Find(saved->itemId)) (*current)[kStandInKey] = std::string(uid);
  }
}

std::string COutlook::StandInOf(const std::string& uid) {
  if (uid.empty()) return {};
  if (const auto found = mMasterIds.find(uid); found != mMasterIds.end() && GetAppointment(found->second)) return found->second;
  for (const CDataItem::Ptr& record : mCurrentItems.Items()) {
    if (record->PropertyView(kStandInKey) == uid && GetAppointment(record->itemId)) return record->itemId;
  }
  return {};
}

// A series of one occurrence, at the changed occurrence's original start, in its zone.
bool COutlook::WriteStandIn(const CDataItem& occurrence, const std::string& uid, std::string& entryId) {
  CDataItem series(ITEM_EVENT);
  series.properties = occurrence.properties;
  series.properties.erase("VC_RECURRENCE_ID");
  series.properties.erase("VC_STATUS");
  const std::string& original = occurrence.Property("VC_RECURRENCE_ID");
  const bool allDay = original.find('T') == std::string::npos;
  const OleDate start = ParseVCalDateTime(original);
  const OleDate end = ParseVCalDateTime(occurrence.Property("VC_DTEND"));
  const OleDate changedStart = ParseVCalDateTime(occurrence.Property("VC_DTSTART"));
  const OleDateSpan length = end.IsValid() && changedStart.IsValid() ? end - changedStart : OleDateSpan(allDay ? 1.0 : 0.0);
  series["VC_DTSTART"] = original;
  series["VC_DTEND"] = allDay ? VCalDateText(start + length) : VCalStampText(start + length);
  series["VC_RRULE"] = "FREQ=DAILY;INTERVAL=1;COUNT=1";
  entryId.clear();
  if (!Event2Outlook(series, entryId)) return false;
  mMasterIds[uid] = entryId;
  // Kept by RefreshEventRecords until a series is written over it.
  if (const CDataItem::Ptr record = mCurrentItems.Find(entryId)) (*record)[kStandInKey] = uid;
  return true;
}

bool COutlook::Task2Outlook(const CDataItem& record, std::string& entryId) {
  const char* const operation = "COutlook::Task2Outlook";
  LogDebug(operation, "Begin");
  outlook::TaskItem task;
  if (const outlook::OutlookItem found = GetItem(entryId); found && StartsWith(found.GetMessageClass(), kTaskClass)) {
    task = outlook::TaskItem(found.Object());
    LogDebug("COutlook::CleanTask", "Begin");
  } else {
    entryId.clear();
    task = outlook::TaskItem(mCurrentFolder.GetItems().Add(kTaskClass));
  }
  WriteTaskFields(task, record);
  task.Save();
  if (entryId.empty()) entryId = task.GetEntryID();
  mCurrentItems.Put(ReadTaskRecord(task));
  LogDebug(operation, "End: " + entryId);
  return true;
}

bool COutlook::Event2Outlook(const CDataItem& record, std::string& entryId) {
  const char* const operation = "COutlook::Event2Outlook";
  LogDebug(operation, "Begin");
  outlook::AppointmentItem event = GetAppointment(entryId);
  // The changed occurrences the series has now, which a text of the series alone leaves as they
  // are (servers keep them as items of their own).
  const std::vector<CDataItem::Ptr> kept = event ? ChangedOccurrenceRecords(entryId) : std::vector<CDataItem::Ptr>();
  if (event) {
    // What the server's item no longer says must not stay behind.
    LogDebug("COutlook::CleanApp", "Begin");
    if (event.GetRecurrenceState() != olApptNotRecurring) event.ClearRecurrencePattern();
    event.SetAllDayEvent(false);
  } else {
    entryId.clear();
    event = outlook::AppointmentItem(mCurrentFolder.GetItems().Add(kAppointmentClass));
  }
  WriteEventFields(event, record, User());
  const bool recurring = WriteRecurrence(event, record);
  event.Save();
  if (recurring) {
    std::vector<double> removed = SkippedOccurrences(event, record);
    for (const std::string& date : SplitList(record.Property("EXDATE"))) removed.push_back(LocalStartOfRecordDate(event, date));
    for (const double start : removed) {
      if (const outlook::AppointmentItem occurrence = FindOccurrence(event, start)) occurrence.Delete();
    }
    if (!removed.empty()) event.Save();
  }
  if (entryId.empty()) entryId = event.GetEntryID();
  for (const CDataItem::Ptr& occurrence : kept) {
    // One the new series no longer has (a day it excludes or no longer falls on) is gone.
    if (recurring) ExceptionEvent2Outlook(*occurrence, entryId, OriginalStartIn(entryId, *occurrence));
  }
  RefreshEventRecords(entryId, true);
  LogDebug(operation, "End: " + entryId);
  return true;
}

bool COutlook::ExceptionEvent2Outlook(const CDataItem& record, const std::string& masterId, double originalStart) {
  const char* const operation = "COutlook::ExceptionEvent2Outlook";
  LogDebug(operation, "Begin");
  const outlook::AppointmentItem master = GetAppointment(masterId);
  if (!master || master.GetRecurrenceState() != olApptMaster || originalStart == 0) {
    LogError(operation, "Series not found: " + masterId);
    return false;
  }
  const outlook::AppointmentItem occurrence = FindOccurrence(master, originalStart);
  if (!occurrence) return false;
  if (IsCancelled(record)) {
    // A cancelled occurrence does not take place: it is deleted from the series.
    occurrence.Delete();
  } else {
    WriteEventFields(occurrence, record, User());
    occurrence.Save();
  }
  RefreshEventRecords(masterId);
  LogDebug(operation, "End: " + masterId);
  return true;
}

outlook::AppointmentItem COutlook::FindOccurrence(const outlook::AppointmentItem& master, double day) {
  const outlook::RecurrencePattern pattern = master.GetRecurrencePattern();
  const outlook::Exceptions exceptions = pattern.GetExceptions();
  const int32_t count = exceptions.GetCount();
  for (int32_t i = 1; i <= count; ++i) {
    const outlook::Exception exception = exceptions.Item(i);
    if (DayOf(exception.GetOriginalDate()) != DayOf(day)) continue;
    if (!exception.GetDeleted()) return exception.GetAppointmentItem();
    LogDebug(kGetExEvent, "Occurrence not found");
    return {};
  }
  try {
    return pattern.GetOccurrence(day);
  } catch (const AutomationError& error) {
    LogDebug(kGetExEvent, std::string("Occurrence not found: ") + error.what());
    return {};
  }
}

bool COutlook::HasChangedOccurrence(const outlook::AppointmentItem& series, const std::string& localDay) {
  try {
    if (series.GetRecurrenceState() != olApptMaster) return false;
    const outlook::Exceptions exceptions = series.GetRecurrencePattern().GetExceptions();
    for (int32_t i = exceptions.GetCount(); i >= 1; --i) {
      const outlook::Exception exception = exceptions.Item(i);
      if (!exception.GetDeleted() && VCalDateText(OleDate(exception.GetOriginalDate())) == localDay) return true;
    }
  } catch (const AutomationError& error) {
    LogDebug("COutlook::ItemExists", error.what());
  }
  return false;
}

void COutlook::IndexOccurrenceKeys() {
  if (mOccurrenceKeysIndexed) return;
  // Once per load: a write then costs what its own records cost, not a walk of the folder.
  for (const CDataItem::Ptr& record : mCurrentItems.Items()) {
    if (record->itemId.find('/') != std::string::npos) mOccurrenceKeys[SeriesKeyOf(record->itemId)].push_back(record->itemId);
  }
  mOccurrenceKeysIndexed = true;
}

std::vector<CDataItem::Ptr> COutlook::ChangedOccurrenceRecords(const std::string& entryId) {
  IndexOccurrenceKeys();
  std::vector<CDataItem::Ptr> records;
  for (const std::string& key : mOccurrenceKeys[entryId]) {
    if (const CDataItem::Ptr record = mCurrentItems.Find(key)) records.push_back(std::make_shared<CDataItem>(*record));
  }
  return records;
}

void COutlook::RefreshEventRecords(const std::string& entryId, bool seriesWritten) {
  IndexOccurrenceKeys();
  std::string standInOf;
  if (const CDataItem::Ptr old = mCurrentItems.Find(entryId); old && !seriesWritten) standInOf = old->Property(kStandInKey);
  std::vector<std::string>& occurrences = mOccurrenceKeys[entryId];
  for (const std::string& key : occurrences) mCurrentItems.Remove(key);
  occurrences.clear();
  CDataItemList fresh;
  if (const outlook::AppointmentItem event = GetAppointment(entryId)) EventToCollection(event, 0, fresh);
  if (!fresh.Contains(entryId)) mCurrentItems.Remove(entryId);  // now outside the period
  for (const CDataItem::Ptr& record : fresh.Items()) {
    if (record->itemId == entryId && !standInOf.empty()) (*record)[kStandInKey] = standInOf;
    mCurrentItems.Put(record);
    if (record->itemId != entryId) occurrences.push_back(record->itemId);
  }
}

// ---- Deleting

bool COutlook::DeleteEvent(const std::string& entryId) {
  const char* const operation = "COutlook::DeleteEvent";
  LogDebug(operation, "Begin");
  LogDebug(operation, "Deleting ID: " + entryId);
  const std::string masterId = SeriesKeyOf(entryId);
  const outlook::AppointmentItem event = GetAppointment(masterId);
  if (!event) return false;
  if (!Period().Holds(event)) {
    LogDebug(operation, "Event is outside of the period, not deleting");
    return false;
  }
  if (masterId != entryId) {
    const outlook::AppointmentItem occurrence =
        event.GetRecurrenceState() == olApptMaster ? FindOccurrence(event, OccurrenceDayOfKey(entryId))
                                                   : outlook::AppointmentItem();
    if (!occurrence) return false;
    occurrence.Delete();
    LogDebug(operation, "Child found and deleted");
    RefreshEventRecords(masterId);
    return true;
  }
  event.Delete();
  LogDebug(operation, "Found and deleted");
  return true;
}

bool COutlook::DeleteTask(const std::string& entryId) {
  const char* const operation = "COutlook::DeleteTask";
  LogDebug(operation, "Begin");
  LogDebug(operation, "Deleting ID: " + entryId);
  const outlook::OutlookItem found = GetItem(entryId);
  if (!found || !StartsWith(found.GetMessageClass(), kTaskClass)) return false;
  const outlook::TaskItem task(found.Object());
  if (!Period().Holds(task)) {
    LogDebug(operation, "Task is outside of the period, not deleting");
    return false;
  }
  task.Delete();
  LogDebug(operation, "Found and deleted");
  return true;
}
