// Entry point of Swapling, the update helper: no window, no log, only its exit status.
#include <string>
#include <vector>

#include "platform/shell/InstallerStatus.h"
#include "platform/shell/UserFolders.h"
#include "updater/CmdLineParser.h"
#include "updater/UpdateSequence.h"

int main(int argc, char** argv) {
  const CmdLineParser line(std::vector<std::string>(argv + 1, argv + argc));
  return InstallerExitStatus(RunUpdate(line, ProgramFolder() + kInstallerName));
}
