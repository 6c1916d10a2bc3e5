// One running instance per user: an exclusive lock on a file in the per-user folder.
#pragma once

#include <string>

// Holds an exclusive advisory lock (flock) on a file for as long as the object lives; a second
// object, in this or another process, cannot take it meanwhile. The lock ends with the object or
// with the process, however it ends, so a crash never leaves a stale lock. The file itself stays.
// The descriptor is not inherited by started programs.
class InstanceLock {
 public:
  // Opens or creates `path` (0600) and tries once to take the lock, without waiting.
  explicit InstanceLock(const std::string& path);
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // This object holds the lock.
  bool IsHeld() const { return mHeld; }
  // Someone else holds it: another instance is running.
  bool HeldElsewhere() const { return mHeldElsewhere; }
  // The errno value of a failure to open or lock the file for any other reason (0 otherwise).
  int Error() const { return mError; }

  // A file name made from a window title: surrounding white space dropped, "/" and control
  // characters replaced by "_", then ".lock"; "instance.lock" for a title with nothing left.
  static std::string FileNameForTitle(const std::string& title);

 private:
  int mFd = -1;
  bool mHeld = false;
  bool mHeldElsewhere = false;
  int mError = 0;
};
