// The one process-wide log of the latest synchronization ("Sync.log"): one tab-separated line
// per event (date and time, operation, level, message), flushed at once.
#pragma once

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

enum LogLevel : int {
  LOG_ERROR = 0,  // written as "ERROR"
  LOG_DEBUG = 1,  // written as "Debug"
};

class CLog {
 public:
  // The process-wide log, shared by the user-interface thread and the sync worker.
  static CLog& Instance();

  // How many logs of earlier runs stay beside the log: `path` + ".1" (the latest) to ".4".
  static constexpr int kPreviousLogs = 4;

  // Closes the log if open, sets the configured level and opens `path` with truncation. A
  // non-empty log of an earlier run is first kept as `path` + ".1" (those before it move one
  // number up, the oldest goes); a log whose last line ends the server check before a run
  // ("CheckServer", "End") is the start of the run that opens it again and is not kept. A
  // failure leaves the log closed; nothing is written until the next successful open.
  bool Open(const std::string& path, int level);
  void Close();
  bool IsOpen() const;
  int Level() const;

  // A line is written only while the log is open and `level` is not above the configured one.
  void Write(std::string_view operation, int level, std::string_view message);
  void Write(std::string_view operation, int level, long long number);
  // UTF-16 text is written as UTF-8 (unpaired surrogates become U+FFFD).
  void Write(std::string_view operation, int level, std::u16string_view message);

  CLog(const CLog&) = delete;
  CLog& operator=(const CLog&) = delete;

 private:
  CLog() = default;

  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };

  mutable std::mutex mMutex;
  std::unique_ptr<std::FILE, FileCloser> mFile;
  int mLevel = LOG_DEBUG;
};

// Shorthands for the common cases.
inline void LogDebug(std::string_view operation, std::string_view message) { CLog::Instance().Write(operation, LOG_DEBUG, message); }
inline void LogDebug(std::string_view operation, long long number) { CLog::Instance().Write(operation, LOG_DEBUG, number); }
inline void LogError(std::string_view operation, std::string_view message) { CLog::Instance().Write(operation, LOG_ERROR, message); }
inline void LogError(std::string_view operation, long long number) { CLog::Instance().Write(operation, LOG_ERROR, number); }
