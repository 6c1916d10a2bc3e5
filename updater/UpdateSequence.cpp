// The helper's main sequence.
#include "updater/UpdateSequence.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/shell/InstallerStatus.h"
#include "platform/shell/Process.h"
#include "platform/shell/UserFolders.h"
#include "updater/CmdLineParser.h"

namespace {

// "/pid" read as a decimal number; a value that is no process id is not waited for.
void WaitForProgram(const CmdLineParser& line, std::chrono::milliseconds wait) {
  if (!line.Has("pid")) return;
  const long pid = std::strtol(line.Value("pid").c_str(), nullptr, 10);
  WaitForProcessEnd(pid, wait);
}

constexpr unsigned kInstallerFailure = 1603;
constexpr std::size_t kMaxManifestBytes = 4096;

unsigned RunInstaller(const CmdLineParser& line, const std::string& installerPath, const std::string& productCode) {
  const ProcessStart installer = StartProcess(installerPath, InstallerArguments(line, productCode));
  if (!installer.Started()) return static_cast<unsigned>(installer.error);
  return InstallerCodeFromExitStatus(WaitForProcess(installer.pid));
}

}  // namespace

std::vector<std::string> InstallerArguments(const CmdLineParser& line, const std::string& productCode) {
  const std::string source = line.Has("source") ? line.Value("source") : kDefaultPackage;
  std::vector<std::string> arguments{"/i", source, "REINSTALLMODE=vamus", "/passive", "/L*v", "update.log"};
  if (!productCode.empty()) arguments.push_back("PRODUCTCODE=" + productCode);
  return arguments;
}

std::string ProgramToUpdate(const CmdLineParser& line) {
  if (line.Has("path") && !line.Value("path").empty()) return line.Value("path");
  if (!line.Has("pid")) return {};
  return ProgramFileOf(std::strtol(line.Value("pid").c_str(), nullptr, 10));
}

std::string InstalledProductCode(const std::string& program) {
  std::ifstream manifest(RestartFolder(program) + "/" + kManifestName);
  std::string text(kMaxManifestBytes, '\0');
  manifest.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(manifest.gcount()));
  std::istringstream lines(text);
  for (std::string entry; std::getline(lines, entry);) {
    if (!entry.empty() && entry.back() == '\r') entry.pop_back();
    if (entry.rfind("ProductCode=", 0) == 0) return entry.substr(12);
  }
  return {};
}

std::string RestartFolder(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

unsigned RunUpdate(const CmdLineParser& line, const std::string& installerPath, std::chrono::milliseconds programExitWait) {
  // Read while the program still runs: its process is the way to it when "/path" is absent.
  const std::string updated = ProgramToUpdate(line);
  const std::string productCode = updated.empty() ? std::string() : InstalledProductCode(updated);
  WaitForProgram(line, programExitWait);
  unsigned status = !updated.empty() && productCode.empty() ? kInstallerFailure : RunInstaller(line, installerPath, productCode);
  if (line.Has("path")) {
    const std::string program = line.Value("path");
    const ProcessStart restart = StartProcess(program, {"/status", std::to_string(status)}, RestartFolder(program));
    if (!restart.Started()) status = static_cast<unsigned>(restart.error);
  }
  return status;
}
