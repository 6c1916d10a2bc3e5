// The mark a link's exchange with the server leaves until its anchor and index are saved.
#pragma once

#include <string>

class CConf;
class CSyncLink;

// A small file beside the link's anchor and index files (configuration folder + the link's
// LocalFileName + ".run"), written before the first message of the link's session goes out and
// removed once the run's index and anchor are saved. Still there at the next run, it says that
// the server may have applied changes of a session whose answers never reached the index (the
// run failed, was cancelled, or the process died): that run must be a slow sync, or the items
// exchanged in the lost session would be duplicated on both sides. A session of which nothing
// reached the server (no connection) leaves no mark.
class UnfinishedExchangeMark {
 public:
  static constexpr const char* kExtension = ".run";

  UnfinishedExchangeMark(const CConf& conf, const CSyncLink& link);

  bool IsSet() const;
  // Writes the mark; false (and a log line) when it cannot be written.
  bool Set() const;
  // Removes the mark; a missing mark is no error.
  void Clear() const;

  const std::string& Path() const { return mPath; }

 private:
  std::string mPath;
};
