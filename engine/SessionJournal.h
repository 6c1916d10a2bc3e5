// What a link's session leaves on disk until the run's index and anchor are saved: that it
// reached the server, the anchor it sent, and the server items it wrote into the local store.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "common/FileDescriptor.h"

class CConf;
class CSyncLink;

// A file beside the link's anchor and index files (configuration folder + the link's
// LocalFileName + ".run"). Begin writes it before the first message of a session goes out; each
// server item written into the store is appended at once (so a killed process keeps it) and
// made durable before the next message, which carries its Map, is posted; Clear removes it once
// the index and the anchor are saved.
//
// Still there at the next run, it says the session was interrupted: the server may hold some of
// its changes, and may resend its own. The next session then resumes (a normal sync, never a slow
// sync the client asks for): from the last good anchor, or, when the interrupted session was the
// link's first, with the Next anchor it sent (a server that never stored it forces a slow sync
// of its own, which keeps its map); it sends its new items as Replace (an add on standard servers when they do not know them), writes a
// server item that comes again over the local item it went to the first time, and does not send
// the server's own writes back. A session of which nothing reached the server leaves no journal.
//
// Used on the worker thread only; not copyable (it owns the open file).
class SessionJournal {
 public:
  static constexpr const char* kExtension = ".run";

  SessionJournal(const CConf& conf, const CSyncLink& link);
  SessionJournal(const SessionJournal&) = delete;
  SessionJournal& operator=(const SessionJournal&) = delete;

  // Reads what an interrupted session left; false (and an empty journal) when there is nothing.
  // Unreadable lines are skipped; the journal of an older version (a bare mark) reads as an
  // interrupted session without items.
  bool Load();
  bool Interrupted() const { return mInterrupted; }
  // The Next anchor the interrupted session sent; nullopt when unknown (an older journal).
  std::optional<int> SentNextAnchor() const { return mSentNextAnchor; }
  // Whether the interrupted session was the link's first (no run had completed before).
  bool WasFirstRun() const { return mFirstRun; }

  // Writes the journal of a session about to post its first message: its Next anchor, whether
  // it is the link's first session (or resumes one), and the items an interrupted session wrote
  // (they stay until a session completes). False (and a log line) when it cannot be written.
  bool Begin(int nextAnchor, bool firstRun);
  // After a server item was written into the store as `localId` (its stamp then `stamp`).
  // `serverId` is empty for a Replace (the server names the local item). Appended at once.
  void NoteWritten(const std::string& serverId, const std::string& localId, const std::string& stamp);
  // Makes what was appended durable; false (and a log line) when the disk refused it.
  bool Sync();
  // Removes the journal (a missing one is no error) and forgets its content.
  void Clear();

  // The local item the server item `serverId` was written to by a session not yet completed.
  std::optional<std::string> LocalIdOf(const std::string& serverId) const;
  // Whether a session not yet completed wrote a server item into `localId`.
  bool WroteTo(const std::string& localId) const { return mStamps.count(localId) != 0; }
  // Whether `localId` still holds what the server wrote into it (its stamp is still `stamp`): a
  // change the server made, not to be sent back.
  bool IsServerWrite(const std::string& localId, std::string_view stamp) const;

  const std::string& Path() const { return mPath; }

 private:
  // Back to the state of a link without an unfinished session (nothing read, nothing written).
  void ForgetSession();
  void Remember(const std::string& serverId, const std::string& localId, const std::string& stamp);
  std::string ItemLines() const;

  std::string mPath;
  FileDescriptor mFile;
  // Lines were appended since the last Sync.
  bool mUnsynced = false;
  bool mInterrupted = false;
  std::optional<int> mSentNextAnchor;
  bool mFirstRun = false;
  // In the order written: server identifier -> local identifier, and local identifier -> stamp.
  std::map<std::string, std::string> mLocalIds;
  std::map<std::string, std::string> mStamps;
  std::map<std::string, std::string> mServerIds;
};
