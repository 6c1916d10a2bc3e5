// Entry point of lkinstall: installs a package ("/i") or removes an installed product ("/x").
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "common/TerminalText.h"
#include "platform/installer/InstallLog.h"
#include "platform/installer/InstallerCommandLine.h"
#include "platform/installer/PackageInstaller.h"
#include "platform/shell/InstallerStatus.h"

namespace {

constexpr const char* kUsage =
    "usage: lkinstall /i PACKAGE [INSTALLDIR=FOLDER] [REINSTALLMODE=MODE] [PRODUCTCODE=CODE] [/passive] [/L*v LOGFILE]\n"
    "       lkinstall /x PRODUCTCODE [/passive] [/L*v LOGFILE]\n";

// Without "/passive" a user at a terminal is asked; without a terminal nobody can answer.
bool Ask(const std::string& question) {
  if (::isatty(STDIN_FILENO) == 0) return true;
  std::cerr << TerminalSafe(question) << " [y/N] " << std::flush;
  std::string answer;
  return std::getline(std::cin, answer) && (answer == "y" || answer == "Y" || answer == "yes");
}

// LKINSTALL_STOP_AT names a step at which the process kills itself (fault tests).
void StopAtNamedStep(const char* step) {
  const char* wanted = std::getenv("LKINSTALL_STOP_AT");
  if (wanted != nullptr && std::strcmp(wanted, step) == 0) std::raise(SIGKILL);
}

InstallerStatus Run(const std::vector<std::string>& arguments) {
  const auto line = InstallerCommandLine::Parse(arguments);
  if (!line) {
    std::cerr << kUsage;
    return InstallerStatus::BadCommandLine;
  }
  InstallLog log(std::cerr);
  if (!line->logPath.empty() && !log.Open(line->logPath)) {
    std::cerr << "lkinstall: cannot write the log file " << line->logPath << '\n';
    return InstallerStatus::LogNotWritten;
  }
  PackageInstaller::Confirm confirm = line->passive ? PackageInstaller::Confirm([](const std::string&) { return true; })
                                                    : PackageInstaller::Confirm(Ask);
  PackageInstaller installer(InstallerPlaces::ForUser(), log, confirm, StopAtNamedStep);
  const InstallerStatus status = line->action == InstallerAction::Install
                                     ? installer.Install(line->subject, line->Property("INSTALLDIR"), line->Property("REINSTALLMODE"),
                                                         line->Property("PRODUCTCODE"))
                                     : installer.Remove(line->subject);
  log.Info("exit code " + std::to_string(static_cast<unsigned>(status)));
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  return InstallerExitStatus(static_cast<unsigned>(Run(arguments)));
}
