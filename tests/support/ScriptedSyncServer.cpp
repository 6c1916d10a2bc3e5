// The scripted test server: a loopback HTTP/1.1 listener on its own thread, its TLS front process,
// and test certificates.
#include "tests/support/ScriptedSyncServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <stdexcept>

#include "common/AsciiText.h"
#include "platform/shell/Process.h"
#include "tests/support/TempDir.h"

namespace {

// A client that stops sending in the middle of a request is given up after this long.
constexpr std::chrono::milliseconds kReadTimeout{10000};

const char* ReasonPhrase(int status) {
  switch (status) {
    case 100: return "Continue";
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 404: return "Not Found";
    case 407: return "Proxy Authentication Required";
    case 413: return "Content Too Large";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
  }
}

bool SendAll(int connection, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = ::send(connection, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

std::string SerializeReply(const ScriptedReply& reply) {
  std::string text = "HTTP/1.1 " + std::to_string(reply.status) + " " +
                     (reply.reason.empty() ? ReasonPhrase(reply.status) : reply.reason) + "\r\n";
  bool hasLength = false;
  for (const auto& [name, value] : reply.headers) {
    hasLength = hasLength || AsciiLowercase(name) == "content-length";
    text += name + ": " + value + "\r\n";
  }
  if (!hasLength) text += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
  text += "Connection: close\r\n\r\n";
  return text + reply.body;
}

// Parses the request line and header lines of `head` (without the blank line); false when malformed.
bool ParseHead(std::string_view head, RecordedRequest& request) {
  std::size_t lineEnd = head.find("\r\n");
  const std::string_view requestLine = head.substr(0, lineEnd);
  const auto firstSpace = requestLine.find(' ');
  const auto lastSpace = requestLine.rfind(' ');
  if (firstSpace == std::string_view::npos || lastSpace == firstSpace) return false;
  request.method = std::string(requestLine.substr(0, firstSpace));
  request.target = std::string(requestLine.substr(firstSpace + 1, lastSpace - firstSpace - 1));
  request.version = std::string(requestLine.substr(lastSpace + 1));
  while (lineEnd != std::string_view::npos) {
    const std::size_t start = lineEnd + 2;
    lineEnd = head.find("\r\n", start);
    const std::string_view line = head.substr(start, lineEnd == std::string_view::npos ? std::string_view::npos : lineEnd - start);
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) return false;
    request.headers.emplace_back(std::string(line.substr(0, colon)), TrimBlanks(line.substr(colon + 1)));
  }
  return true;
}

std::string ExistingProgram(std::initializer_list<const char*> candidates) {
  for (const char* candidate : candidates) {
    if (::access(candidate, X_OK) == 0) return candidate;
  }
  throw std::runtime_error(std::string("program not found: ") + *candidates.begin());
}

// Runs `program` with `arguments`, its output and errors discarded; its exit status, or -1.
int RunQuietly(const std::string& program, const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  std::string programName = program;
  argv.push_back(programName.data());
  std::vector<std::string> copies = arguments;
  for (std::string& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return spawned == 0 ? WaitForProcess(pid) : -1;
}

}  // namespace

ScriptedReply ScriptedReply::SyncMl(std::string body, std::string contentType) {
  ScriptedReply reply;
  reply.headers.emplace_back("Content-Type", std::move(contentType));
  reply.body = std::move(body);
  return reply;
}

ScriptedReply ScriptedReply::Status(int status, std::string body) {
  ScriptedReply reply;
  reply.status = status;
  reply.headers.emplace_back("Content-Type", "text/plain");
  reply.body = std::move(body);
  return reply;
}

ScriptedReply ScriptedReply::Redirect(int status, std::optional<std::string> location) {
  ScriptedReply reply;
  reply.status = status;
  if (location) reply.headers.emplace_back("Location", std::move(*location));
  return reply;
}

ScriptedReply ScriptedReply::Close() {
  ScriptedReply reply;
  reply.closeWithoutReply = true;
  return reply;
}

std::vector<std::string> RecordedRequest::HeaderValues(std::string_view name) const {
  const std::string wanted = AsciiLowercase(name);
  std::vector<std::string> values;
  for (const auto& [headerName, value] : headers) {
    if (AsciiLowercase(headerName) == wanted) values.push_back(value);
  }
  return values;
}

std::optional<std::string> RecordedRequest::Header(std::string_view name) const {
  std::vector<std::string> values = HeaderValues(name);
  if (values.empty()) return std::nullopt;
  return values.front();
}

ScriptedSyncServer::ScriptedSyncServer(int port) {
  mListener.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (mListener.Get() < 0) throw std::runtime_error("socket failed");
  // A server restarted on its port must not wait for the old connections' TIME_WAIT to pass.
  const int reuse = 1;
  ::setsockopt(mListener.Get(), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::bind(mListener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(mListener.Get(), 16) != 0) {
    throw std::runtime_error("cannot listen on 127.0.0.1");
  }
  socklen_t length = sizeof address;
  if (::getsockname(mListener.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) throw std::runtime_error("getsockname failed");
  mPort = ntohs(address.sin_port);
  int wake[2];
  if (::pipe2(wake, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  mWakeRead.Reset(wake[0]);
  mWakeWrite.Reset(wake[1]);
  mThread = std::thread([this] { Serve(); });
}

ScriptedSyncServer::~ScriptedSyncServer() {
  const char stop = 's';
  [[maybe_unused]] const ssize_t written = ::write(mWakeWrite.Get(), &stop, 1);
  mThread.join();
}

std::string ScriptedSyncServer::BaseUrl() const { return "http://127.0.0.1:" + std::to_string(mPort); }

std::string ScriptedSyncServer::Url(std::string_view target) const { return BaseUrl() + std::string(target); }

void ScriptedSyncServer::Enqueue(ScriptedReply reply) {
  std::lock_guard lock(mMutex);
  mScript.push_back(std::move(reply));
}

void ScriptedSyncServer::SetResponder(Responder responder) {
  std::lock_guard lock(mMutex);
  mResponder = std::move(responder);
}

std::vector<RecordedRequest> ScriptedSyncServer::Requests() const {
  std::lock_guard lock(mMutex);
  return mRequests;
}

std::size_t ScriptedSyncServer::RequestCount() const {
  std::lock_guard lock(mMutex);
  return mRequests.size();
}

std::size_t ScriptedSyncServer::PendingReplies() const {
  std::lock_guard lock(mMutex);
  return mScript.size();
}

void ScriptedSyncServer::Clear() {
  std::lock_guard lock(mMutex);
  mRequests.clear();
  mScript.clear();
}

bool ScriptedSyncServer::WaitReadable(int descriptor, std::chrono::milliseconds timeout) const {
  pollfd watched[2] = {{descriptor, POLLIN, 0}, {mWakeRead.Get(), POLLIN, 0}};
  int ready = 0;
  do {
    ready = ::poll(watched, 2, static_cast<int>(timeout.count()));
  } while (ready < 0 && errno == EINTR);
  return ready > 0 && watched[1].revents == 0 && watched[0].revents != 0;
}

bool ScriptedSyncServer::DelayReply(int connection, std::chrono::milliseconds delay) const {
  // The client has sent its whole request; anything more from it means it hung up.
  pollfd watched[2] = {{connection, POLLIN | POLLRDHUP, 0}, {mWakeRead.Get(), POLLIN, 0}};
  const auto until = std::chrono::steady_clock::now() + delay;
  for (auto left = delay; left.count() > 0;
       left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now())) {
    const int ready = ::poll(watched, 2, static_cast<int>(left.count()));
    if (ready > 0) return false;
  }
  return true;
}

void ScriptedSyncServer::Serve() {
  while (WaitReadable(mListener.Get(), std::chrono::milliseconds(-1))) {
    FileDescriptor connection(::accept4(mListener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (connection.Get() >= 0) ServeConnection(connection.Get());
  }
}

void ScriptedSyncServer::ServeConnection(int connection) {
  bool tooLarge = false;
  std::optional<RecordedRequest> request = ReadRequest(connection, tooLarge);
  if (!request) return;
  {
    std::lock_guard lock(mMutex);
    mRequests.push_back(*request);
  }
  const ScriptedReply reply = tooLarge ? ScriptedReply::Status(413, "request too large") : NextReply(*request);
  if (reply.delay.count() > 0 && !DelayReply(connection, reply.delay)) return;
  if (reply.closeWithoutReply) return;
  const std::string bytes = SerializeReply(reply);
  if (reply.trickle.count() > 0) {
    for (std::size_t at = 0; at < bytes.size(); ++at) {
      if (!SendAll(connection, std::string_view(bytes).substr(at, 1)) || !DelayReply(connection, reply.trickle)) return;
    }
  } else {
    SendAll(connection, bytes);
  }
  ::shutdown(connection, SHUT_WR);
}

std::optional<RecordedRequest> ScriptedSyncServer::ReadRequest(int connection, bool& tooLarge) {
  std::string received;
  std::size_t headEnd = std::string::npos;
  char chunk[16384];
  RecordedRequest request;
  std::size_t bodyLength = 0;
  bool haveHead = false;
  while (!haveHead || received.size() < headEnd + 4 + bodyLength) {
    if (!WaitReadable(connection, kReadTimeout)) return std::nullopt;
    const ssize_t count = ::recv(connection, chunk, sizeof chunk, 0);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return std::nullopt;
    received.append(chunk, static_cast<std::size_t>(count));
    if (haveHead) continue;
    headEnd = received.find("\r\n\r\n");
    if (headEnd == std::string::npos) {
      if (received.size() > kMaxHeadBytes) return std::nullopt;
      continue;
    }
    if (!ParseHead(std::string_view(received).substr(0, headEnd), request)) return std::nullopt;
    haveHead = true;
    const std::string length = request.Header("Content-Length").value_or("0");
    bodyLength = std::strtoull(length.c_str(), nullptr, 10);
    if (bodyLength > kMaxBodyBytes) {
      tooLarge = true;
      return request;
    }
    if (AsciiLowercase(request.Header("Expect").value_or("")) == "100-continue") SendAll(connection, "HTTP/1.1 100 Continue\r\n\r\n");
  }
  request.body = received.substr(headEnd + 4, bodyLength);
  return request;
}

ScriptedReply ScriptedSyncServer::NextReply(const RecordedRequest& request) {
  Responder responder;
  {
    std::lock_guard lock(mMutex);
    if (!mScript.empty()) {
      ScriptedReply reply = std::move(mScript.front());
      mScript.pop_front();
      return reply;
    }
    responder = mResponder;
  }
  if (responder) return responder(request);
  return ScriptedReply::Status(500, "no scripted reply");
}

TlsFiles MakeSelfSignedCertificate(const std::string& folder, const std::string& name, const std::string& subjectAltName) {
  TlsFiles files{folder + "/" + name + ".crt", folder + "/" + name + ".key"};
  const std::string openssl = ExistingProgram({"/usr/bin/openssl", "/bin/openssl"});
  const int status = RunQuietly(
      openssl, {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-days", "1",
                "-subj", "/CN=Larkspan test server", "-addext", "subjectAltName=" + subjectAltName, "-keyout", files.key,
                "-out", files.certificate});
  if (status != 0) throw std::runtime_error("openssl could not make a certificate");
  return files;
}

ScriptedTlsFront::ScriptedTlsFront(const TlsFiles& files, int backendPort, const std::string& workFolder) {
  const std::string python = ExistingProgram({"/usr/bin/python3", "/bin/python3"});
  // From the source tree's own path: __FILE__ may be relative to a build folder (compiler caches).
  const std::string script = std::string(LARK_SOURCE_DIR) + "/tests/peer/https_server.py";
  const std::string portFile = workFolder + "/https_server.port";
  const ProcessStart started = StartProcess(python, {script, "--certificate", files.certificate, "--key", files.key,
                                                     "--backend-port", std::to_string(backendPort), "--port-file", portFile});
  if (!started.Started()) throw std::runtime_error("cannot start " + script);
  mPid = started.pid;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (mPort == 0 && std::chrono::steady_clock::now() < deadline) {
    mPort = std::atoi(ReadFileBytes(portFile).c_str());
    if (mPort == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (mPort == 0) {
    ::kill(static_cast<pid_t>(mPid), SIGTERM);
    WaitForProcess(mPid);
    throw std::runtime_error("the TLS front did not start");
  }
}

ScriptedTlsFront::~ScriptedTlsFront() {
  ::kill(static_cast<pid_t>(mPid), SIGTERM);
  WaitForProcess(mPid);
}

std::string ScriptedTlsFront::Url(std::string_view target) const {
  return "https://127.0.0.1:" + std::to_string(mPort) + std::string(target);
}
