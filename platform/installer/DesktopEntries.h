// The entries an installation puts into the user's applications menu: each desktop entry at the
// top of the program folder, pointed at the installed program and icon.
#pragma once

#include <optional>
#include <string>
#include <vector>

// A package's "<name>.desktop" files at its top are templates: their Exec and TryExec name a
// program of the folder ("larkspan"), their Icon an image of it without extension ("larkspan" for
// "larkspan.png"). Installed, each becomes "<applications folder>/<name>.desktop" with those keys
// holding absolute paths into the program folder (Exec quoted as the desktop entry format wants),
// written atomically. Nothing here throws; failures are returned as text for the log.
class DesktopEntries {
 public:
  // The file names of the templates at the top of `programFolder` (ending in "/").
  static std::vector<std::string> TemplatesIn(const std::string& programFolder);
  // The entry made from `templateText` for an installation in `programFolder`; std::nullopt
  // when the template has no Exec key, or the folder's path holds a line break.
  static std::optional<std::string> ForInstallation(const std::string& templateText, const std::string& programFolder);
  // Writes the entry of each template of `programFolder` into `applicationsFolder` (made when
  // missing); the failures, one text each.
  static std::vector<std::string> Install(const std::string& programFolder, const std::string& applicationsFolder);
  // Removes each entry named in `names` from `applicationsFolder` that belongs to the installation
  // in `programFolder` (its Exec names a program there); an entry of another installation or of
  // the user stays. The failures, one text each.
  static std::vector<std::string> Remove(const std::vector<std::string>& names, const std::string& programFolder,
                                         const std::string& applicationsFolder);
};
