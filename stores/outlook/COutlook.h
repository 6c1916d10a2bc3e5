// The Outlook store: folders, contacts and distribution lists of the mail application, reached
// only through its automation object model (late-bound calls by DISPID).
#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/CSyncLink.h"
#include "platform/automation/OutlookDispatch.h"
#include "stores/CDatabaseObject.h"
#include "stores/outlook/OutlookCalendarFields.h"

class ObjectFactory;
class Prompt;

// One object per sync run, used on the worker thread only (or by the wizard and the command-line
// tool on their own thread). The constructor creates the application object (the first of
// kProgIds that the factory can make), gets the "MAPI" namespace and logs on; it throws
// COutlookException with the automation error's text when none can be created. The destructor
// logs off and releases every object.
//
// Ownership: the configuration and the prompt (the e-mail type question) are not owned and must
// outlive the store; the factory is used by the constructor only.
//
// Automation errors raised inside a write or a deletion reach the caller as
// CAutomationException (string 219 with the error's description); reads turn them into a failed
// load. Calendar and task folders are read and written by the calendar half (COutlookCalendar.cpp).
class COutlook : public CDatabaseObject {
 public:
  static constexpr const char* kProgIds[] = {"Outlook.Application", "Outlook.Application.12", "Outlook.Application.14"};
  // Message classes of the items this store writes or skips.
  static constexpr const char* kContactClass = "IPM.Contact";
  static constexpr const char* kDistListClass = "IPM.DistList";
  static constexpr const char* kTaskClass = "IPM.Task";
  static constexpr const char* kAppointmentClass = "IPM.Appointment";

  COutlook(CConf& conf, Prompt& prompt, const ObjectFactory& factory);
  ~COutlook() override;

  // The folders that can hold items of `folderKind` (olFolderContacts, olFolderCalendar,
  // olFolderTasks): the default folder first, then every other one of the profile depth first;
  // names that occur twice are replaced by the folders' full paths. Only the folder fields of
  // the link records are set (entry and store identifier, name, path).
  void EnumerateFolders(int folderKind, std::vector<CSyncLink>& folders);

  int32_t LoadContent(const std::string& listName) override;
  bool SetCurrentFolder(SyncDataType dataType, const std::string& folderEntryId, const std::string& storeId) override;
  StoreContentKind GetContentKind() override;
  bool ItemExists(const std::string& entryId) override;
  int32_t AddAddressBookItem(PVCard& card, std::string& newEntryId, const std::string& serverId,
                             const std::string& contentType) override;
  int32_t UpdateAddressBookItem(PVCard& card, std::string& entryId, const std::string& serverId,
                                const std::string& contentType, StoreWriteStatus& writeStatus) override;
  int32_t AddCalendarItem(const std::string& vcalendarText, std::string& entryId) override;
  bool RemoveItem(const std::string& entryId) override;
  // Asks the application to flush the items saved since the last call (one flush for all of
  // them); an application without that member keeps its saves durable itself.
  void CommitWrites() override;

  // The item `entryId` of the current folder; empty when it does not exist or lies in another
  // folder (an identifier of another folder's item is treated as absent).
  outlook::OutlookItem GetItem(const std::string& entryId);

  // Reads every contact of the current folder (distribution lists skipped) into `list`. kStoreOk,
  // or kStoreFail when an item cannot be read. Throws COutlookException (305) on cancel.
  int32_t LoadContacts(CDataItemList& list);
  // Completes the records of mCurrentItems with what the saved index kept of them (the types of
  // the e-mail addresses, the extra addresses and phones) and types the addresses that have none.
  // Sets mInitError to 147 when the user cancels the e-mail type question. A contact the index
  // does not list yet, unchanged since it was imported, takes what the folder's import file kept of
  // it (SaveImportedSideLists).
  void LoadMervaleFields();
  // Contacts written outside a sync run (the command-line import) have no index yet to keep what
  // Outlook has no field for (the types of the e-mail addresses, further addresses, numbers and
  // web pages). Saves those of the contacts written by this object into the folder's import file
  // (configuration folder + "Imported_" + the folder's entry identifier + ".dat", in the index's
  // format, with the contact's change stamp), replacing it atomically; entries of contacts no
  // longer in the folder are dropped.
  // Throws CDataItemListException when the file cannot be read or written.
  void SaveImportedSideLists();

  // Writes one contact over `entryId` (or a new one, `entryId` then receiving its identifier).
  // 0 when nothing was written, 2 when FileAs was taken from the nickname, else 1.
  int Pvcard2AddressBook(PVCard& card, std::string& entryId);
  // Writes one distribution list; members named "TMP:" + server identifier are resolved through
  // mIdMap. 0 or 1.
  int ListPVCard2OAB(PVCard& card, std::string& entryId);
  // Removes every member of `list` that refers to a contact.
  void CleanList(const outlook::DistListItem& list);
  // Adds contact `localId` to `members` by its e-mail address or name, when that resolves to it;
  // false (nothing added) otherwise.
  bool AddMember(const outlook::Recipients& members, const std::string& localId);
  // Deletes the contact or distribution list `entryId` of the current folder; false when absent.
  bool DeleteContact(const std::string& entryId);

  // Reads every task of the current folder that lies in the sync period into `list`. kStoreOk, or
  // kStoreFail when the folder or an item is missing. Throws COutlookException (305) on cancel.
  int32_t LoadTasks(CDataItemList& list);
  // Reads every event in the sync period: one record per event or series, one per changed
  // occurrence. Results as LoadTasks.
  int32_t LoadEvents(CDataItemList& list);
  // Adds the record of `event` and, for a series, those of its changed occurrences to `list`;
  // `originalDate` is 0, or the original start of the changed occurrence `event` is (its series
  // being all-day when `seriesAllDay`). An event outside the sync period adds nothing. kStoreOk,
  // or kStoreFail when a changed occurrence could not be added.
  int32_t EventToCollection(const outlook::AppointmentItem& event, double originalDate, CDataItemList& list,
                            bool seriesAllDay = false);

  // Writes one server item (vCalendar text) over `entryId` or as a new item: a task, a series
  // with the changed occurrences the same text holds (the changed occurrences it already had stay,
  // where the series still has their day), or changed occurrences alone (their series named by
  // `entryId` cut at "/", or by the UID of a series written earlier in this run, or by a UID that is
  // a local identifier). The identifier of what was written ("series/date" for a changed
  // occurrence alone); "" when nothing could be written. A changed occurrence whose series is not
  // known yet is written into a stand-in series (see WriteStandIn); a cancelled one is deleted.
  std::string CalendarItem2CAL(const std::string& text, const std::string& entryId);
  // Each writes one record into Outlook and brings its records in mCurrentItems up to date; an
  // empty `entryId` receives the new item's identifier. False when nothing was written.
  bool Task2Outlook(const CDataItem& record, std::string& entryId);
  bool Event2Outlook(const CDataItem& record, std::string& entryId);
  bool ExceptionEvent2Outlook(const CDataItem& record, const std::string& masterId, double originalStart);
  // Delete the event (a series, or a changed occurrence "series/date") or task `entryId` unless
  // it lies outside the sync period (then kept, and logged). False when nothing was deleted.
  bool DeleteEvent(const std::string& entryId);
  bool DeleteTask(const std::string& entryId);

  bool Initialized() const { return mInitialized; }
  const outlook::MAPIFolder& CurrentFolder() const { return mCurrentFolder; }

 protected:
  int32_t ReadCurrentFolder() override;
  void ReportLoadFailure(int32_t status) override;

 private:
  int32_t WriteAddressBookItem(PVCard& card, std::string& entryId, bool group, StoreWriteStatus& writeStatus);
  int32_t CurrentItemType();
  void AddFolderEntry(const outlook::MAPIFolder& folder, std::vector<CSyncLink>& folders);
  void WalkFolders(const outlook::Folders& folders, int itemType, std::vector<CSyncLink>& folders_);
  bool Cancelled() const;
  void RefreshRecord(const outlook::ContactItem& contact, const CDataItem& sideLists);
  std::string ImportedSideListsName() const;
  // The occurrence of `master` first scheduled for `start` (a local time, or a local day at 00:00;
  // a changed one by its original date); empty, and logged, when there is none.
  outlook::AppointmentItem FindOccurrence(const outlook::AppointmentItem& master, double start);
  // The local original start of the changed occurrence `occurrence` of the series `masterId`.
  double OriginalStartIn(const std::string& masterId, const CDataItem& occurrence);
  outlook::AppointmentItem GetAppointment(const std::string& entryId);
  // Replaces the records of event `entryId` and its changed occurrences in mCurrentItems by what
  // Outlook now holds; a stand-in's record stays one unless `seriesWritten`.
  void RefreshEventRecords(const std::string& entryId, bool seriesWritten = false);
  void IndexOccurrenceKeys();
  // Copies of the records of the changed occurrences of series `entryId` in mCurrentItems.
  std::vector<CDataItem::Ptr> ChangedOccurrenceRecords(const std::string& entryId);
  // A changed occurrence that arrives before its series (servers keep them as items of their
  // own) is written as an exception of a stand-in: a series of that one occurrence, whose record
  // carries the UID of the series under kStandInKey in mCurrentItems and in the index. The series
  // is written over it when it comes, in this run or a later one, so the occurrence keeps its
  // identifier. StandInOf gives the stand-in of a UID, or "".
  bool WriteStandIn(const CDataItem& occurrence, const std::string& uid, std::string& entryId);
  std::string StandInOf(const std::string& uid);
  // Gives the stand-in records of mCurrentItems the UID the saved index kept for them.
  void CarryStandInUids();
  // Whether `series` has a changed occurrence (not a deleted one) first scheduled on `localDay`
  // ("%Y%m%d" of the local date).
  bool HasChangedOccurrence(const outlook::AppointmentItem& series, const std::string& localDay);
  // The series a changed occurrence belongs to: `entryId` cut at "/", else by `uid`.
  std::string MasterIdOf(const std::string& entryId, const std::string& uid);
  const CalendarUser& User();
  CalendarPeriod Period() const;

  Prompt& mPrompt;
  outlook::Application mApplication;
  outlook::NameSpace mNamespace;
  outlook::MAPIFolder mCurrentFolder;
  bool mInitialized = false;
  // The local identifier of each series (or stand-in) written in this run, by the UID the server
  // gave it.
  std::unordered_map<std::string, std::string> mMasterIds;
  // The keys of the changed occurrences in mCurrentItems by their series, once a write needed them.
  std::unordered_map<std::string, std::vector<std::string>> mOccurrenceKeys;
  bool mOccurrenceKeysIndexed = false;
  std::optional<CalendarUser> mUser;
  // Items were saved or deleted since the last CommitWrites.
  bool mUnflushed = false;
  // The contacts Pvcard2AddressBook wrote, in order.
  std::vector<std::string> mWrittenContacts;
};
