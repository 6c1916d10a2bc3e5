// The installer's command line: "/i PACKAGE" or "/x PRODUCTCODE", "/passive", "/L*v LOG", properties.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

// Result codes of the installer, also its exit statuses (see platform/shell/InstallerStatus.h).
enum class InstallerStatus : unsigned {
  Success = 0,
  UserExit = 1602,
  Failure = 1603,
  UnknownProduct = 1605,
  AlreadyRunning = 1618,
  PackageNotOpened = 1619,
  LogNotWritten = 1622,
  BadCommandLine = 1639,
};

enum class InstallerAction { Install, Remove };

// Switches are read in any letter case with "/" or "-" before them: "i" or "package" and "x" or
// "uninstall" take the next argument (which may be empty); "passive", "quiet", "q", "qn" run
// without questions; "l" with log flags ("l*v", "lv", "l*", ...) takes the log file. An argument
// "NAME=value" sets a property (name in upper case). Anything else, a missing value, or not
// exactly one action makes the line invalid.
struct InstallerCommandLine {
  InstallerAction action = InstallerAction::Install;
  std::string subject;  // the package, or the product code
  bool passive = false;
  std::string logPath;
  std::map<std::string, std::string> properties;

  static std::optional<InstallerCommandLine> Parse(const std::vector<std::string>& arguments);
  // The property's value, or "" when it is not given.
  std::string Property(const std::string& name) const;
};
