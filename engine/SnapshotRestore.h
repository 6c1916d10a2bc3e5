// Putting a link's local items back to a saved state, through the store's own writers.
#pragma once

#include <string>
#include <vector>

class CConf;
class CDatabaseObject;
class CSyncLink;

// What a restore did.
struct RestoreCounts {
  int rewritten = 0;  // items that differed, written back as they were
  int recreated = 0;  // items deleted since, created again (under new local identifiers)
  int deleted = 0;    // items added since, deleted
  int failed = 0;     // items the store refused to write or delete
};

// Restores the folder of a link on the store it is given (not owned; the configuration and the
// store must outlive the object). The next run sends the restoration as ordinary changes: new and
// deleted items are found by the index as always, and the index entries of the items it writes
// lose their change stamp, so that a store whose stamps count whole seconds still sees them changed
// when the restore falls into the second of the run it undoes (or reuses a deleted identifier). Before it changes anything, the
// current state is itself saved as a snapshot, so a restore can be undone in turn.
class SnapshotRestore {
 public:
  SnapshotRestore(CConf& conf, CDatabaseObject& store) : mConf(conf), mStore(store) {}

  // Puts the local folder of `link` back to the items of the snapshot at `snapshotPath`. Throws
  // CMainException when the snapshot cannot be read, the folder cannot be selected or loaded, the
  // current state cannot be saved, or the writes cannot be made durable.
  RestoreCounts Restore(const CSyncLink& link, const std::string& snapshotPath);

 private:
  bool Write(const std::string& text, int kind, std::string& localId);
  void MarkChangedInIndex(const CSyncLink& link, const std::vector<std::string>& ids) const;

  CConf& mConf;
  CDatabaseObject& mStore;
};
