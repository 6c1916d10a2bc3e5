// A loopback HTTP address that takes connections and never answers: a server that hangs.
#pragma once

#include <string>

// Listens on a free loopback port from construction to destruction without ever accepting, so a
// request is sent but no reply comes. Throws std::runtime_error when no socket can be made.
class SilentServer {
 public:
  SilentServer();
  ~SilentServer();
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;

  // "http://127.0.0.1:<port>/".
  std::string Url() const { return mUrl; }

 private:
  int mSocket = -1;
  std::string mUrl;
};
