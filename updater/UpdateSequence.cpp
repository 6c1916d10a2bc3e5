// The helper's main sequence.
#include "updater/UpdateSequence.h"

#include <cstdlib>

#include "platform/shell/InstallerStatus.h"
#include "platform/shell/Process.h"
#include "updater/CmdLineParser.h"

namespace {

// "/pid" read as a decimal number; a value that is no process id is not waited for.
void WaitForProgram(const CmdLineParser& line, std::chrono::milliseconds wait) {
  if (!line.Has("pid")) return;
  const long pid = std::strtol(line.Value("pid").c_str(), nullptr, 10);
  WaitForProcessEnd(pid, wait);
}

unsigned RunInstaller(const CmdLineParser& line, const std::string& installerPath) {
  const ProcessStart installer = StartProcess(installerPath, InstallerArguments(line));
  if (!installer.Started()) return static_cast<unsigned>(installer.error);
  return InstallerCodeFromExitStatus(WaitForProcess(installer.pid));
}

}  // namespace

std::vector<std::string> InstallerArguments(const CmdLineParser& line) {
  const std::string source = line.Has("source") ? line.Value("source") : kDefaultPackage;
  return {"/i", source, "REINSTALLMODE=vamus", "/passive", "/L*v", "update.log"};
}

std::string RestartFolder(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

unsigned RunUpdate(const CmdLineParser& line, const std::string& installerPath, std::chrono::milliseconds programExitWait) {
  WaitForProgram(line, programExitWait);
  unsigned status = RunInstaller(line, installerPath);
  if (line.Has("path")) {
    const std::string program = line.Value("path");
    const ProcessStart restart = StartProcess(program, {"/status", std::to_string(status)}, RestartFolder(program));
    if (!restart.Started()) status = static_cast<unsigned>(restart.error);
  }
  return status;
}
