// The two local SyncML servers of the end-to-end tests, driven through their scripts.
#include "tests/support/SyncPeer.h"

#include "tests/support/StatefulSyncServer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <stdexcept>

namespace {

namespace fs = std::filesystem;

std::string ShellQuoted(const std::string& argument) {
  std::string quoted = "'";
  for (const char c : argument) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string ScriptPath(const char* name) {
  return (fs::path(LARK_SOURCE_DIR) / "scripts" / name).string();
}

bool Exists(const char* path) { return fs::exists(path); }

// The value of "NAME=value" on a line of `output`, or "".
std::string OutputValue(const std::string& output, const std::string& name) {
  const std::string key = name + "=";
  for (std::size_t at = output.find(key); at != std::string::npos; at = output.find(key, at + 1)) {
    if (at == 0 || output[at - 1] == '\n') return output.substr(at + key.size(), output.find('\n', at) - at - key.size());
  }
  return "";
}

std::vector<std::string> FileContents(const std::string& folder) {
  std::vector<std::string> items;
  if (!fs::is_directory(folder)) return items;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.is_regular_file()) items.push_back(ReadFileBytes(entry.path().string()));
  }
  return items;
}

std::string Tail(const std::string& text) { return text.size() > 3000 ? text.substr(text.size() - 3000) : text; }

// Debian's SyncEvolution HTTP server with file datastores: one file per item, named by its id.
class SyncEvolutionPeer final : public ScriptPeer {
 public:
  SyncEvolutionPeer() : ScriptPeer(PeerKind::SyncEvolution, ScriptPath("syncml-server")) {}

  PeerLogin AddPeer(const std::string& deviceId) override {
    const PeerLogin login{"e2e-user", "e2e-secret"};
    Run({"add-peer", deviceId, login.user, login.password});
    return login;
  }
  PeerLogin AcceptAnyDevice() override {
    const PeerLogin login{"e2e-user", "e2e-secret"};
    Run({"accept-any-device", login.user, login.password});
    return login;
  }
  void Clear() override {
    for (const std::string& name : Datastores()) {
      for (const auto& entry : fs::directory_iterator(DatastoreFolder(name))) fs::remove_all(entry.path());
    }
  }
  // The server sees a change by the file's time: one well after its last look, and after any
  // earlier write, makes every change visible.
  void PutItem(const std::string& datastore, const std::string& name, const std::string& text) override {
    const std::string path = DatastoreFolder(datastore) + name;
    WriteFileBytes(path, text);
    const time_t when = ::time(nullptr) + 60 + (++mWrites);
    const timespec times[2] = {{when, 0}, {when, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
  }
  void DeleteItem(const std::string& datastore, const std::string& name) override {
    if (!fs::remove(DatastoreFolder(datastore) + name)) throw std::runtime_error("no server item " + datastore + "/" + name);
  }
  std::vector<std::string> Items(const std::string& datastore) const override { return FileContents(DatastoreFolder(datastore)); }
  std::string LogTail() const override { return Tail(ReadFileBytes(Folder() + "/logs/http-server.log")); }

 private:
  std::string DatastoreFolder(const std::string& name) const { return Folder() + "/data/" + name + "/"; }
  std::vector<std::string> Datastores() const {
    std::vector<std::string> names;
    const std::string list = ReadFileBytes(Folder() + "/datastores");
    for (std::size_t start = 0; start < list.size();) {
      const std::size_t end = list.find('\n', start);
      const std::string line = list.substr(start, end - start);
      if (!line.empty()) names.push_back(line.substr(0, line.find(' ')));
      if (end == std::string::npos) break;
      start = end + 1;
    }
    return names;
  }

  int mWrites = 0;
};

// Virtuoso's SyncML package: items live in its database and go through its script.
class VirtuosoPeer final : public ScriptPeer {
 public:
  VirtuosoPeer() : ScriptPeer(PeerKind::Virtuoso, ScriptPath("virtuoso-server")) {}

  PeerLogin AddPeer(const std::string& deviceId) override {
    const std::string output = Run({"add-peer", deviceId});
    return {OutputValue(output, "USER"), OutputValue(output, "PASSWORD")};
  }
  void Clear() override { Run({"clear"}); }
  void PutItem(const std::string& datastore, const std::string& name, const std::string& text) override {
    const std::string file = Dir().File("put-item");
    WriteFileBytes(file, text);
    Run({"put-item", datastore, name, file});
  }
  void DeleteItem(const std::string& datastore, const std::string& name) override { Run({"delete-item", datastore, name}); }
  std::vector<std::string> Items(const std::string& datastore) const override {
    const std::string folder = Dir().File("items-" + datastore);
    Run({"items", datastore, folder});
    return FileContents(folder);
  }
  std::string LogTail() const override { return Tail(ReadFileBytes(Folder() + "/db/virtuoso.log")); }
};

// The stateful scripted server in this process, its datastores named like the real servers'.
class ScriptedPeer final : public SyncPeer {
 public:
  ScriptedPeer() : SyncPeer(PeerKind::Scripted) {}

  void Start() override {
    if (!mServer) {
      mServer = std::make_unique<StatefulSyncServer>();
      mServer->AddDatastore("contacts", "text/x-vcard");
      mServer->AddDatastore("events", "text/x-vcalendar");
      mServer->AddDatastore("tasks", "text/x-vcalendar");
    }
    mServer->Listen();
    mRunning = true;
  }
  void Stop() override {
    if (mServer) mServer->StopListening();
    mRunning = false;
  }
  bool Running() const override { return mRunning; }
  std::string Url() const override { return mServer ? mServer->Url() : ""; }
  PeerLogin AddPeer(const std::string&) override {
    const PeerLogin login{"e2e-user", "e2e-secret"};
    mServer->SetLogin(login.user, login.password);
    return login;
  }
  // It serves any device that logs in.
  PeerLogin AcceptAnyDevice() override { return AddPeer({}); }
  // Also forgets the devices and takes the default habits again.
  void Clear() override { mServer->Reset(); }
  void PutItem(const std::string& datastore, const std::string& name, const std::string& text) override {
    mServer->PutItem(datastore, name, text);
  }
  void DeleteItem(const std::string& datastore, const std::string& name) override { mServer->DeleteItem(datastore, name); }
  std::vector<std::string> Items(const std::string& datastore) const override {
    std::vector<std::string> texts;
    for (const auto& [id, item] : mServer->Items(datastore)) texts.push_back(item.data);
    return texts;
  }
  std::string LogTail() const override {
    std::string tail;
    const std::vector<ServerExchange> exchanges = mServer->Exchanges();
    for (std::size_t i = exchanges.size() > 4 ? exchanges.size() - 4 : 0; i < exchanges.size(); ++i) {
      tail += "request:\n" + exchanges[i].request + "\nreply:\n" + exchanges[i].reply + exchanges[i].error + "\n";
    }
    return tail;
  }
  StatefulSyncServer* Scripted() override { return mServer.get(); }

 private:
  std::unique_ptr<StatefulSyncServer> mServer;
  bool mRunning = false;
};

// Whether /proc/<pid>/<name> (NUL-separated fields) holds `text`.
bool ProcFileMentions(const fs::path& process, const char* name, const std::string& text) {
  return ReadFileBytes((process / name).string()).find(text) != std::string::npos;
}

bool IsZombie(const fs::path& process) {
  const std::string status = ReadFileBytes((process / "status").string());
  const std::size_t at = status.find("State:");
  if (at == std::string::npos) return true;  // gone meanwhile
  const std::size_t state = status.find_first_not_of(" \t", at + 6);
  return state != std::string::npos && status[state] == 'Z';
}

}  // namespace

PeerLogin SyncPeer::AcceptAnyDevice() { throw std::logic_error(std::string(PeerName(mKind)) + " registers devices one by one"); }

const char* PeerName(PeerKind kind) {
  switch (kind) {
    case PeerKind::SyncEvolution: return "SyncEvolution";
    case PeerKind::Virtuoso: return "Virtuoso";
    case PeerKind::Scripted: return "Scripted";
  }
  return "unknown";
}

std::string SyncPeer::MissingPrograms(PeerKind kind) {
  std::vector<const char*> programs{"/usr/bin/python3"};
  switch (kind) {
    case PeerKind::SyncEvolution:
      programs.insert(programs.end(), {"/usr/bin/syncevolution", "/usr/bin/syncevo-http-server", "/usr/libexec/syncevo-dbus-server",
                                       "/usr/bin/dbus-daemon"});
      break;
    case PeerKind::Virtuoso:
      programs.insert(programs.end(), {"/usr/bin/virtuoso-t", "/usr/bin/isql-vt",
                                       "/usr/share/virtuoso-opensource-7/vad/syncml_dav.vad"});
      break;
    case PeerKind::Scripted:
      return "";
  }
  std::string missing;
  for (const char* program : programs) {
    if (!Exists(program)) missing += std::string(program) + " ";
  }
  if (missing.empty() && kind == PeerKind::SyncEvolution &&
      std::system("/usr/bin/python3 -c 'import twisted, dbus, gi' >/dev/null 2>&1") != 0) {
    missing = "the python3 modules twisted, dbus and gi";
  }
  return missing;
}

std::unique_ptr<SyncPeer> SyncPeer::Make(PeerKind kind) {
  if (kind == PeerKind::Scripted) return std::make_unique<ScriptedPeer>();
  return ScriptPeer::Make(kind);
}

std::unique_ptr<ScriptPeer> ScriptPeer::Make(PeerKind kind) {
  switch (kind) {
    case PeerKind::SyncEvolution: return std::make_unique<SyncEvolutionPeer>();
    case PeerKind::Virtuoso: return std::make_unique<VirtuosoPeer>();
    case PeerKind::Scripted: break;
  }
  throw std::invalid_argument("not a server run by a script");
}

ScriptPeer::ScriptPeer(PeerKind kind, std::string script) : SyncPeer(kind), mScript(std::move(script)) {}

ScriptPeer::~ScriptPeer() {
  try {
    Stop();
  } catch (const std::exception&) {
    // The folder goes away with the object; nothing more can be done.
  }
}

void ScriptPeer::Start() {
  std::vector<std::string> arguments{"start"};
  if (!mPort.empty()) arguments.push_back(mPort);
  mRunning = true;  // a start that fails half-way still leaves processes for Stop
  const std::string output = Run(arguments);
  mUrl = OutputValue(output, "URL");
  if (mUrl.empty()) throw std::runtime_error("no URL from " + mScript + ": " + output);
  const std::size_t colon = mUrl.rfind(':');
  mPort = mUrl.substr(colon + 1, mUrl.find('/', colon) - colon - 1);
}

void ScriptPeer::Stop() {
  if (!mRunning) return;
  mRunning = false;
  Run({"stop"});
}

void ScriptPeer::AddDatastore(const std::string& name, const std::string& kind) { Run({"add-datastore", name, kind}); }

std::vector<long> ScriptPeer::LivingProcesses() const {
  std::vector<long> found;
  const std::string folder = Folder();
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos || name == std::to_string(::getpid())) continue;
    if ((ProcFileMentions(entry.path(), "cmdline", folder) || ProcFileMentions(entry.path(), "environ", folder)) &&
        !IsZombie(entry.path())) {
      found.push_back(std::stol(name));
    }
  }
  return found;
}

std::string ScriptPeer::Run(std::vector<std::string> arguments) const {
  arguments.insert(arguments.begin() + 1, Folder());
  std::string command = ShellQuoted(mScript);
  for (const std::string& argument : arguments) command += " " + ShellQuoted(argument);
  command += " 2>&1";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot run " + command);
  std::string output;
  char buffer[4096];
  for (std::size_t read; (read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, read);
  const int status = ::pclose(pipe);
  if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error(command + " failed: " + output);
  return output;
}
