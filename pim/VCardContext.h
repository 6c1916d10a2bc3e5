// The vCard library context: the object every card, property and value made for one session (or
// one ToVCard call) points back to; it records the last non-zero result code of their operations.
#pragma once

// Owned by its creator (the SyncML session, or ToVCard for its own use); objects made under it
// keep a plain pointer and must not outlive it. Used by one thread at a time.
class VCardContext {
 public:
  VCardContext() = default;
  VCardContext(const VCardContext&) = delete;
  VCardContext& operator=(const VCardContext&) = delete;

  // The last non-zero code recorded, 0 while none was.
  int LastResult() const { return mLastResult; }
  // Records `code` when it is non-zero; returns it, so a failing call can `return Record(code)`.
  int Record(int code) {
    if (code != 0) mLastResult = code;
    return code;
  }

 private:
  int mLastResult = 0;
};
