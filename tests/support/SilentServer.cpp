// A server that never answers.
#include "tests/support/SilentServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

SilentServer::SilentServer() {
  mSocket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (mSocket < 0 || ::bind(mSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(mSocket, 8) != 0 || ::getsockname(mSocket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (mSocket >= 0) ::close(mSocket);
    throw std::runtime_error("no loopback socket for the silent server");
  }
  mUrl = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";
}

SilentServer::~SilentServer() { ::close(mSocket); }
