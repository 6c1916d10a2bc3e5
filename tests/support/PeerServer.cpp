// Starting, configuring and stopping the local SyncML server through its script.
#include "tests/support/PeerServer.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>

namespace {

// The argument inside single quotes, each quote written as '\''.
std::string ShellQuoted(const std::string& argument) {
  std::string quoted = "'";
  for (const char c : argument) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

bool IsExecutable(const std::string& path) { return ::access(path.c_str(), X_OK) == 0; }

}  // namespace

std::string PeerServer::MissingPrograms() {
  std::string missing;
  for (const char* program : {"/usr/bin/syncevolution", "/usr/bin/syncevo-http-server", "/usr/libexec/syncevo-dbus-server",
                              "/usr/bin/dbus-daemon", "/usr/bin/python3"}) {
    if (!IsExecutable(program) && !std::filesystem::exists(program)) missing += std::string(program) + " ";
  }
  if (missing.empty() && std::system("/usr/bin/python3 -c 'import twisted, dbus, gi' >/dev/null 2>&1") != 0) {
    missing = "the python3 modules twisted, dbus and gi";
  }
  return missing;
}

PeerServer::PeerServer(std::string script) : mScript(std::move(script)) {
  const std::string output = Run({"start", mDir.Path() + "server"});
  mStarted = true;
  const std::size_t at = output.rfind("URL=");
  if (at == std::string::npos) throw std::runtime_error("no URL from the SyncML server script: " + output);
  mUrl = output.substr(at + 4, output.find('\n', at) - at - 4);
}

PeerServer::~PeerServer() {
  if (!mStarted) return;
  try {
    Run({"stop", mDir.Path() + "server"});
  } catch (const std::exception&) {
    // Nothing more can be done while the folder is being removed.
  }
}

void PeerServer::AddPeer(const std::string& deviceId, const std::string& user, const std::string& password) {
  Run({"add-peer", mDir.Path() + "server", deviceId, user, password});
}

void PeerServer::AddDatastore(const std::string& name, const std::string& kind) {
  Run({"add-datastore", mDir.Path() + "server", name, kind});
}

std::string PeerServer::DatastoreFolder(const std::string& name) const { return mDir.Path() + "server/data/" + name + "/"; }

std::vector<std::string> PeerServer::Items(const std::string& name) const {
  std::vector<std::string> items;
  for (const auto& entry : std::filesystem::directory_iterator(DatastoreFolder(name))) {
    if (entry.is_regular_file()) items.push_back(ReadFileBytes(entry.path().string()));
  }
  return items;
}

std::string PeerServer::Run(const std::vector<std::string>& arguments) const {
  std::string command = ShellQuoted(mScript);
  for (const std::string& argument : arguments) command += " " + ShellQuoted(argument);
  command += " 2>&1";
  struct PipeCloser {
    int* status;
    void operator()(std::FILE* pipe) const { *status = ::pclose(pipe); }
  };
  int status = -1;
  std::string output;
  {
    std::unique_ptr<std::FILE, PipeCloser> pipe(::popen(command.c_str(), "r"), PipeCloser{&status});
    if (!pipe) throw std::runtime_error("cannot run " + mScript);
    char buffer[4096];
    for (std::size_t read; (read = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) output.append(buffer, read);
  }
  if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error("syncml-server " + arguments.front() + " failed: " + output);
  }
  return output;
}
