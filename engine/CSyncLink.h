// A sync link (a server database paired with a local folder and a mode), its derived names and
// texts, its "sync_%d" section of the configuration file, and the ordered array of links.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/SyncDataType.h"

class CIniEx;

// Values of CSyncLink::mMode.
enum SyncMode : int {
  SYNC_MODE_OFF = -1,       // don't synchronize
  SYNC_MODE_TWO_WAY = 0,    // both directions
  SYNC_MODE_DOWNLOAD = 1,   // from the server only
  SYNC_MODE_UPLOAD = 2,     // to the server only
};

// Values of CSyncLink::mClientApp (and of the configuration's sync_with_outlook, which adds -1).
enum LocalApplication : int {
  LOCAL_APP_NONE = -1,
  LOCAL_APP_WINDOWS_CONTACTS = 0,
  LOCAL_APP_OUTLOOK = 1,
  LOCAL_APP_VDIR = 2,  // item files in collection folders ("Files (vdir)")
};

// Values of CSyncLink::mState.
enum SyncState : int {
  SYNC_STATE_NEVER = 0,
  SYNC_STATE_SYNCHRONIZED = 1,
  SYNC_STATE_FAILED = 2,
  SYNC_STATE_IN_PROGRESS = 3,
  SYNC_STATE_CANCELLED = 4,  // the user cancelled the link's last run; its last good date stays
  SYNC_STATE_NEEDS_DECISION = 5,  // a slow sync or deletions wait for the user; nothing of them changed
};

// A time as the user's locale writes a date and a time ("%x %X", local time).
std::string FormatLocalDateTime(std::int64_t time);

// Additions, updates and deletions counted in one direction of a run.
struct ChangeCounts {
  int added = 0;
  int updated = 0;
  int deleted = 0;

  bool Any() const { return added > 0 || updated > 0 || deleted > 0; }
  friend bool operator==(const ChangeCounts&, const ChangeCounts&) = default;
};

// One sync link: a value type, copied whole and compared field by field. The numeric fields are
// plain ints (a file may hold any number); the enums above name the meaningful values.
class CSyncLink {
 public:
  // Persisted in the link's section.
  std::string mServerName;      // "server_name": database below its type root; empty = default one
  std::string mServerUri;       // "server_uri": the server's own URI of the database when it is not
                                // the one ServerUri derives (written only when set); else empty
  std::string mLocalEntryId;    // "client_entry_id"
  std::string mLocalStoreId;    // "client_store_id"
  std::string mLocalName;       // "client_name": display name of the local folder
  std::string mLocalPath;       // "client_full_path"
  int mMode = SYNC_MODE_OFF;    // "sync_mode"
  int mDataType = DATA_TYPE_CONTACTS;  // "data_type"
  int mClientApp = LOCAL_APP_OUTLOOK;  // "client_app"
  int mState = SYNC_STATE_NEVER;       // "sync_state"
  std::int64_t mLastSyncTime = 0;      // "sync_date": seconds since the epoch of the last success
  int mItemErrors = 0;                 // "sync_errors" (written only when above 0): items of the last
                                       // run that did not synchronize (refused by either side)
  std::string mCalendarVersion;        // "calendar_version" (written only when set): "1.0" when the
                                       // server's database takes vCalendar 1.0 only; empty: iCalendar 2.0
  ChangeCounts mLocalCounts;    // "sync_counts" with mServerCounts (written after a successful
  ChangeCounts mServerCounts;   // run): local changes found and server changes received
  bool mCountsKnown = false;    // the counts are those of the last successful run (not persisted)

  // Run-time only.
  std::string mStatusText;      // latest progress or error text of a run
  int mReadOnly = 0;            // 1: the server database accepts no changes from the client
  bool mRowDisabled = false;    // the main window's row does not react while set

  friend bool operator==(const CSyncLink&, const CSyncLink&) = default;

  // The target database of a SyncML session: mServerUri when set; else "./contacts",
  // "./events" or "./tasks" (empty for another type), then "/" and the server name when there is one.
  std::string ServerUri() const;
  // Remembers `uri`, the URI under which the server lists this link's database, when it differs
  // from the one derived from data type and server name; clears mServerUri when it is that one.
  void SetServerUri(const std::string& uri);
  // The server name ("Corporate" for the corporate calendar), or the type's default name.
  std::string ServerDisplayName() const;
  // Base name of the link's anchor and index files, safe as a file name: "Outlook_Express" for
  // Windows Contacts; for a vdir link "vdir_", the data type, "_" and the collection path (so that
  // neither another application's folder nor the default collection of another type shares its
  // files); else the local path (or "No_Name"); characters that cannot appear in a file name are
  // replaced by "_".
  std::string LocalFileName() const;
  // How the change log compares items: 0 Windows Contacts, 1 Outlook contacts, 2 Outlook events/tasks.
  int CompareMode() const;
  // Whether any local or server count of the last run is above 0.
  bool HasChanges() const;
  // The mode as shown to the user.
  std::string ModeText() const;
  // How a time is written for the user; FormatLocalDateTime unless a caller knows better.
  using TimeText = std::function<std::string(std::int64_t)>;
  // The main window's row text for the state: "Synchronized <time>" ("Synchronized with N errors"
  // when items failed), followed by what the run received and sent when that is known; "Failed,
  // click for details" or "Cancelled", followed by the last good time when there is one; ...
  std::string StateText(const TimeText& timeText = FormatLocalDateTime) const;
  // The details dialog's text: "Failed: <status>" for a failed link, the status text for one that
  // needs a decision, else StateText().
  std::string StateDetails(const TimeText& timeText = FormatLocalDateTime) const;
  // "12 received, 3 sent": the server's changes applied and the local changes sent.
  std::string CountsText() const;

  // Reads the persisted fields from `section` of `ini` into a fresh link (missing keys read as
  // empty text or 0; an unreadable "sync_date" leaves the time 0).
  static CSyncLink ReadSection(const CIniEx& ini, std::string_view section);
  // Writes the persisted fields into `section` of `ini` ("sync_date" whenever a run succeeded
  // once, also after a failed or cancelled one; "sync_counts" only for state 1 with its counts
  // known; "server_uri" only when set; a key not written is removed from the section).
  void WriteSection(CIniEx& ini, std::string_view section) const;
};

// The configuration's ordered, resizable array of links. Links are held by value; references
// returned by At stay valid until the array is changed.
class CSyncLinkArray {
 public:
  std::size_t Size() const { return mLinks.size(); }
  bool Empty() const { return mLinks.empty(); }
  // Appends a copy of `link`.
  void Add(const CSyncLink& link) { mLinks.push_back(link); }
  // The link at `index`; std::invalid_argument when the index is outside the array.
  CSyncLink& At(std::size_t index);
  const CSyncLink& At(std::size_t index) const;
  // Removes `count` links from `index` on (clipped to the array); std::invalid_argument when
  // `index` is outside the array.
  void Remove(std::size_t index, std::size_t count = 1);
  void Clear() { mLinks.clear(); }
  // Whether any link has data type `dataType`.
  bool HasLinkOfType(int dataType) const;

  std::vector<CSyncLink>::iterator begin() { return mLinks.begin(); }
  std::vector<CSyncLink>::iterator end() { return mLinks.end(); }
  std::vector<CSyncLink>::const_iterator begin() const { return mLinks.begin(); }
  std::vector<CSyncLink>::const_iterator end() const { return mLinks.end(); }

  friend bool operator==(const CSyncLinkArray&, const CSyncLinkArray&) = default;

 private:
  std::vector<CSyncLink> mLinks;
};

// Parses text written by FormatLocalDateTime in the current locale; false (and `time` unchanged)
// when it does not read as a date and time.
bool ParseLocalDateTime(std::string_view text, std::int64_t& time);
