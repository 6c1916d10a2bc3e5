// The seam to a desktop keyring, where the password is kept when the user chose it over the
// configuration file.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

// The keyring cannot be reached (no session bus, no Secret Service, a locked keyring nobody can
// unlock) or refused the request. The message says why, in the keyring's words, for the user
// and the log.
class KeyringError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The account a password belongs to: the server address and the login name as configured.
struct KeyringAccount {
  std::string server;
  std::string user;

  friend bool operator==(const KeyringAccount&, const KeyringAccount&) = default;
};

// A keyring of the user's desktop session. Calls talk to another process and may block until it
// answers; they may come from any thread, one at a time. Every call throws KeyringError when the
// keyring cannot be used.
class PasswordKeyring {
 public:
  virtual ~PasswordKeyring() = default;

  // The password stored for `account`; std::nullopt when the keyring holds none.
  virtual std::optional<std::string> Lookup(const KeyringAccount& account) = 0;
  // Stores `password` for `account`, replacing one stored before.
  virtual void Store(const KeyringAccount& account, const std::string& password) = 0;
  // Removes the password of `account`; nothing happens when none is stored.
  virtual void Remove(const KeyringAccount& account) = 0;

 protected:
  PasswordKeyring() = default;
  PasswordKeyring(const PasswordKeyring&) = default;
  PasswordKeyring& operator=(const PasswordKeyring&) = default;
};
