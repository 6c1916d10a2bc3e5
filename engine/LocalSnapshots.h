// Saved states of each link's local items, taken before a run changes them, so that a run that
// went wrong can be undone.
#pragma once

#include <string>
#include <vector>

#include "engine/SyncRunServices.h"

class CConf;
class CDatabaseObject;
class CSyncLink;

// One item of a saved state: its local identifier then, its kind (ItemKind) and its text as the
// store gave it (vCard, or vCalendar for events and tasks).
struct SnapshotItem {
  std::string id;
  int kind = 0;
  std::string text;
};

// One saved state of a link: its file and the UTC time it was taken ("20261210T093512.123456Z").
struct SnapshotFile {
  std::string path;
  std::string stamp;
};

// The "snapshots" folder of the configuration folder (0700). Per link one file per run that
// changed the link's local items: <link's LocalFileName>.<UTC stamp>.vcf for contacts, .ics for
// events and tasks, each item's text with its local identifier and kind in two X- lines after
// its first line. Files are 0600 and written atomically; only the newest `runsKept` of a link
// stay, the oldest removed first. Nothing is shared between objects; the folder is the state.
class LocalSnapshots {
 public:
  LocalSnapshots(std::string configFolder, int runsKept);
  explicit LocalSnapshots(const CConf& conf);

  const std::string& Folder() const { return mFolder; }

  // Saves every item of the store's current list (the folder of `link` as loaded) and removes the
  // link's oldest files beyond the number kept. Returns the new file's path. Throws
  // CMainException (IDS_SNAPSHOT_FAILED) when the file cannot be written: the caller must then
  // change nothing.
  std::string Save(const CDatabaseObject& store, const CSyncLink& link) const;
  // The saved states of `link`, newest first.
  std::vector<SnapshotFile> List(const CSyncLink& link) const;

  // The items of a file written by Save; throws CMainException (IDS_SNAPSHOT_UNREADABLE) when it
  // cannot be read or holds an item without its identifier.
  static std::vector<SnapshotItem> Read(const std::string& path);
  // The text of `items` as Save writes it.
  static std::string Serialize(const std::vector<SnapshotItem>& items);

 private:
  void Prune(const CSyncLink& link) const;

  std::string mFolder;
  int mRunsKept;
};

// What a run does before it first changes a link's local items when nobody else is told: saves
// them as the link's newest snapshot. A snapshot that cannot be written fails the link before
// anything local changed.
class SnapshotBeforeLocalWrites final : public LocalWriteObserver {
 public:
  explicit SnapshotBeforeLocalWrites(const CConf& conf) : mConf(conf) {}
  void BeforeFirstLocalWrite(const CSyncLink& link, CDatabaseObject& store) override {
    LocalSnapshots(mConf).Save(store, link);
  }

 private:
  const CConf& mConf;
};
