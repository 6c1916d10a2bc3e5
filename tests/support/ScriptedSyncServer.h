// A scripted HTTP/1.1 server on 127.0.0.1 for tests: replays queued replies and records every request;
// plus a TLS front for it (a helper process) and self-signed certificates made with openssl.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "common/FileDescriptor.h"

// One reply of the script. Content-Length is added unless `headers` holds one, and every reply
// closes its connection ("Connection: close").
struct ScriptedReply {
  int status = 200;
  std::string reason;  // empty: the usual phrase of the status
  std::vector<std::pair<std::string, std::string>> headers;  // sent in this order
  std::string body;
  std::chrono::milliseconds delay{0};  // waited after the request is read, before replying
  bool closeWithoutReply = false;      // the request is read and recorded, then the connection closes
  // Not zero: the reply goes out one byte at a time with this pause after each (a server that keeps
  // an exchange busy without ever ending it); it stops when the client hangs up.
  std::chrono::milliseconds trickle{0};

  // 200 with the body and that Content-Type (the registered SyncML type by default).
  static ScriptedReply SyncMl(std::string body, std::string contentType = "application/vnd.syncml+xml");
  // Any status with an optional body (text/plain).
  static ScriptedReply Status(int status, std::string body = {});
  // 301 or 302 to `location` (std::nullopt: no Location header at all).
  static ScriptedReply Redirect(int status, std::optional<std::string> location);
  // No reply: the connection closes once the request is read.
  static ScriptedReply Close();
};

// One request as the server read it.
struct RecordedRequest {
  std::string method;
  std::string target;   // as on the request line: path and query
  std::string version;  // "HTTP/1.1"
  std::vector<std::pair<std::string, std::string>> headers;  // in order, values trimmed
  std::string body;

  // Every value of the header `name` (any letter case), in order.
  std::vector<std::string> HeaderValues(std::string_view name) const;
  // The first value of the header `name`, or std::nullopt.
  std::optional<std::string> Header(std::string_view name) const;
};

// Listens on a free port of 127.0.0.1 from construction to destruction, serving one connection at
// a time on its own thread (a delayed reply holds back the next connection until the delay ends or
// its client hangs up). Each request takes the next queued reply; when the queue is empty the
// responder answers, and without a responder the reply is 500 "no scripted reply". All methods may
// be called from the test thread while the server runs; the destructor stops the thread, also
// during a reply's delay. Requests are recorded before they are answered, so when a client call
// returns its request is already in `Requests()`.
class ScriptedSyncServer {
 public:
  using Responder = std::function<ScriptedReply(const RecordedRequest&)>;

  // Largest request head and body read; a larger request is answered 413 and recorded.
  static constexpr std::size_t kMaxHeadBytes = 64 * 1024;
  static constexpr std::size_t kMaxBodyBytes = std::size_t{64} << 20;

  // Listens on `port` of 127.0.0.1, or on a free one when 0; throws std::runtime_error when it cannot.
  explicit ScriptedSyncServer(int port = 0);
  ~ScriptedSyncServer();
  ScriptedSyncServer(const ScriptedSyncServer&) = delete;
  ScriptedSyncServer& operator=(const ScriptedSyncServer&) = delete;

  int Port() const { return mPort; }
  // "http://127.0.0.1:<port>"
  std::string BaseUrl() const;
  // BaseUrl() + `target`; the default is the path the client posts to.
  std::string Url(std::string_view target = "/cgi-bin/vudireravaz") const;

  void Enqueue(ScriptedReply reply);
  // Called on the server thread for requests that find the queue empty (replies computed from the
  // request, such as echoing its MsgID). Replaces any earlier responder; an empty one removes it.
  void SetResponder(Responder responder);

  std::vector<RecordedRequest> Requests() const;
  std::size_t RequestCount() const;
  std::size_t PendingReplies() const;
  // Forgets the recorded requests and the queued replies.
  void Clear();

 private:
  void Serve();
  void ServeConnection(int connection);
  std::optional<RecordedRequest> ReadRequest(int connection, bool& tooLarge);
  ScriptedReply NextReply(const RecordedRequest& request);
  bool WaitReadable(int descriptor, std::chrono::milliseconds timeout) const;
  // Waits out a reply's delay; false when the server stops or the client hangs up meanwhile.
  bool DelayReply(int connection, std::chrono::milliseconds delay) const;

  FileDescriptor mListener;
  FileDescriptor mWakeRead;
  FileDescriptor mWakeWrite;
  int mPort = 0;
  mutable std::mutex mMutex;
  std::deque<ScriptedReply> mScript;
  std::vector<RecordedRequest> mRequests;
  Responder mResponder;
  std::thread mThread;
};

// The certificate and key files of a test server.
struct TlsFiles {
  std::string certificate;
  std::string key;
};

// Makes a self-signed certificate for `subjectAltName` (e.g. "IP:127.0.0.1" or
// "DNS:elsewhere.test") valid for one day, with the openssl command, as <folder>/<name>.crt and
// .key. Throws std::runtime_error when openssl fails.
TlsFiles MakeSelfSignedCertificate(const std::string& folder, const std::string& name, const std::string& subjectAltName);

// An https front for a plain local server: a helper process (tests/peer/https_server.py) that
// accepts TLS on a free loopback port with `files` and relays each connection's bytes to
// 127.0.0.1:`backendPort`. Started by the constructor (throws std::runtime_error when it does not
// come up within 10 s), stopped by the destructor.
class ScriptedTlsFront {
 public:
  ScriptedTlsFront(const TlsFiles& files, int backendPort, const std::string& workFolder);
  ~ScriptedTlsFront();
  ScriptedTlsFront(const ScriptedTlsFront&) = delete;
  ScriptedTlsFront& operator=(const ScriptedTlsFront&) = delete;

  int Port() const { return mPort; }
  // "https://127.0.0.1:<port>" + `target`.
  std::string Url(std::string_view target = "/cgi-bin/vudireravaz") const;

 private:
  long mPid = -1;
  int mPort = 0;
};
