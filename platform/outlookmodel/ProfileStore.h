// The profile database: stores, their folder trees and the items in them, persisted in SQLite
// (WAL mode, one transaction per save or delete, a busy timeout so several processes share it).
// A commit survives the end of the process at once and a power cut once MakeDurable has run, the
// way a mail application writes its store in the background and flushes it when asked.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/automation/AutomationDate.h"
#include "platform/automation/Variant.h"
#include "platform/outlookmodel/Recurrence.h"
#include "platform/outlookmodel/SqliteDatabase.h"

namespace outlookmodel {

struct StoreRecord {
  int64_t id = 0;
  std::string storeId;  // upper-case hex
  std::string name;     // name of the store's top folder
  int64_t rootFolder = 0;
};

struct FolderRecord {
  int64_t id = 0;
  std::string entryId;  // upper-case hex
  int64_t store = 0;
  std::string storeId;
  int64_t parent = 0;  // 0 for a store's top folder
  std::string name;
  int32_t itemType = 0;     // DefaultItemType
  int32_t defaultKind = 0;  // 6, 9, 10 or 13 for a default folder of the first store, else 0
};

// An appointment attendee, a distribution list member or a mail recipient.
struct RecipientData {
  std::string name;
  std::string address;
  std::string entryId;  // members that refer to a contact: the reference prefix + its EntryID
  int32_t type = 1;     // olTo / olRequired
  int32_t responseStatus = 0;
};

// Stored properties by name; absent ones have their schema default.
using PropertyMap = std::map<std::string, Variant>;
// The date properties of a PropertyMap that hold UTC instants (shown in the machine's local time);
// every other date is a wall-clock value of the calendar, shown as it is wherever the machine is
// (an all-day event's days, a task's dates).
using InstantNames = std::set<std::string>;

// A changed (deleted == false) or deleted occurrence of a recurring appointment.
struct ExceptionData {
  // Day and time the occurrence was first scheduled for, as the wall clock of the series' zone
  // (of the calendar, for an all-day series).
  double originalDate = 0;
  bool deleted = false;
  PropertyMap props;        // the changed occurrence's own properties (Start, End, Subject, ...)
  InstantNames instants;
  std::vector<RecipientData> recipients;
};

struct RecurrenceData {
  RecurrenceRule rule;
  std::vector<ExceptionData> exceptions;  // ordered by originalDate
};

struct ItemRecord {
  int64_t id = 0;  // 0 until first saved
  std::string entryId;
  int64_t folder = 0;
  std::string messageClass;
  double created = kNoDate;
  double lastModified = kNoDate;
  PropertyMap props;
  InstantNames instants;
  std::vector<RecipientData> recipients;
  std::optional<RecurrenceData> recurrence;
};

struct UserIdentity {
  std::string name;
  std::string address;
};

// Contact found for a name (distribution list members and attendees are resolved against contacts).
struct ContactMatch {
  std::string entryId;
  std::string fileAs;
  std::string email;
};

// One connection to one profile. Not thread-safe: one thread uses it. Errors throw AutomationError.
class ProfileStore {
 public:
  // Opens the profile at `path`, creating the folder (0700), the file (0600) and, on first use,
  // the store "Personal Folders" with the default Contacts, Calendar, Tasks and Inbox folders.
  // A profile written before appointments kept instants (schema 1: every time the machine's
  // wall clock) is converted once, in one transaction: timed starts and ends become instants
  // read in the machine's zone, and each appointment keeps that zone as its own; change stamps
  // stay as they are.
  explicit ProfileStore(const std::string& path);

  // $LARK_OUTLOOKMODEL_PROFILE when set, else $XDG_DATA_HOME/outlookmodel/profile.db, with
  // ~/.local/share when XDG_DATA_HOME is unset or not absolute.
  static std::string DefaultPath();

  std::vector<StoreRecord> Stores();
  // A new store whose top folder has `name`, holding no folders yet.
  StoreRecord AddStore(const std::string& name);

  std::optional<FolderRecord> FolderById(int64_t id);
  std::optional<FolderRecord> FolderByEntryId(const std::string& entryId);
  // Sub-folders of `parent` in creation order; parent 0 gives every store's top folder.
  std::vector<FolderRecord> ChildFolders(int64_t parent);
  // The first store's default folder of a kind (olFolderContacts, ...).
  std::optional<FolderRecord> DefaultFolder(int32_t kind);
  // A new sub-folder; throws when `parent` already has a folder of that name.
  FolderRecord AddFolder(int64_t parent, const std::string& name, int32_t itemType);

  // Items of a folder in creation order (occurrence exceptions are part of their series).
  std::vector<int64_t> ItemIds(int64_t folder);
  std::optional<ItemRecord> LoadItem(int64_t id);
  std::optional<int64_t> FindItem(const std::string& entryId);
  // Writes the whole item in one transaction and stamps it with the local time (later than its
  // previous stamp). A stored item must still carry `loadedStamp`, else the save fails as
  // changed by another connection (or deleted). On success id, entryId and the stamps are set.
  void SaveItem(ItemRecord& item, double loadedStamp);
  // Removes the item in one transaction; a no-op when it is gone already.
  void DeleteItem(int64_t id);

  // The contact in `store` whose FileAs (then Email1Address) equals `name`, preferring `folder`.
  std::optional<ContactMatch> FindContact(int64_t store, int64_t folder, const std::string& name);

  UserIdentity CurrentUser();
  void SetCurrentUser(const UserIdentity& user);

  // Changes whenever this or another connection committed something.
  std::pair<int64_t, int64_t> ChangeStamp();
  // One committed state for the reads made while it lives (ChangeStamp too): one lock for all.
  SqliteTransaction ReadSnapshot() { return SqliteTransaction(mDb, SqliteTransaction::Mode::Read); }
  // Waits until every commit of this connection is on the disk (one flush, however many saves).
  void MakeDurable();

 private:
  void CreateSchema();
  void ConvertToInstants();
  void CreateDefaultStore();
  std::string StoreUidOfFolder(int64_t folder);
  FolderRecord InsertFolder(int64_t store, const std::string& uid, int64_t parent, const std::string& name,
                            int32_t itemType, int32_t defaultKind);
  PropertyMap LoadProps(int64_t item, int64_t part, InstantNames& instants);
  std::vector<RecipientData> LoadRecipients(int64_t item, int64_t part);
  void LoadRecurrence(ItemRecord& item);
  void WriteChildren(const ItemRecord& item);
  void WriteProps(int64_t item, int64_t part, const PropertyMap& props, const InstantNames& instants);
  void WriteRecipients(int64_t item, int64_t part, const std::vector<RecipientData>& recipients);
  void DeleteChildren(int64_t item);

  SqliteDatabase mDb;
  int64_t mLocalChanges = 0;
  int64_t mDurableChanges = 0;
};

}  // namespace outlookmodel
