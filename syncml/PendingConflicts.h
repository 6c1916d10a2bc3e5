// Conflicts the server reported on the client's Replace (409) that are not settled yet.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "pim/CDataItem.h"

// A server that refuses the client's Replace with 409 sends its own version of the item with its
// changes; each conflict waits here for that version, so that the user compares the two and the
// answer is carried out on both sides. A conflict the server's package never brought the version
// of is settled without it when the server has nothing more to send. One per session; not
// thread-safe.
class PendingConflicts {
 public:
  struct Conflict {
    std::string localId;
    std::string serverId;
    // CmdID of the server's Status 409.
    std::string statusCmdId;
    // The local version as the client sent it (a copy of its own).
    CDataItem::Ptr local;
  };

  // Notes a conflict; a later one for the same item replaces the earlier.
  void Add(Conflict conflict);
  // The conflict of local item `localId`, taken out; std::nullopt when there is none.
  std::optional<Conflict> Take(const std::string& localId);
  // Every conflict still waiting, in the order they were noted, taken out.
  std::vector<Conflict> TakeAll();
  bool Empty() const { return mWaiting.empty(); }

  // Remembers that the user's answer for `localId` was carried out in this session, so that the
  // server refusing the answer again is not asked about a second time.
  void NoteSettled(const std::string& localId) { mSettled.insert(localId); }
  bool Settled(const std::string& localId) const { return mSettled.count(localId) != 0; }

 private:
  std::vector<Conflict> mWaiting;
  std::set<std::string> mSettled;
};
