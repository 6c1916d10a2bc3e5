// The installer's log: every step with its time, into the file of "/L*v" when one is given.
#pragma once

#include <fstream>
#include <iosfwd>
#include <string>

// Not copyable. Errors also go to the error stream given (the terminal), which must outlive it.
class InstallLog {
 public:
  explicit InstallLog(std::ostream& errors) : mErrors(errors) {}
  InstallLog(const InstallLog&) = delete;
  InstallLog& operator=(const InstallLog&) = delete;

  // Opens (truncating, readable by the user alone) the log file, closing one opened before; false
  // when it cannot be written.
  bool Open(const std::string& path);
  void Info(const std::string& text);
  void Error(const std::string& text);

 private:
  void Write(const char* level, const std::string& text);

  std::ostream& mErrors;
  std::ofstream mFile;
};
