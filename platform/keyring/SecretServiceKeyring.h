// The desktop keyring over the Secret Service (libsecret): passwords stored as items of the
// default collection under a schema of the program's own.
#pragma once

#include <memory>
#include <string>

#include "common/PasswordKeyring.h"

// Not copyable; owns its schema. Each call is a synchronous D-Bus exchange with the session's
// Secret Service (started by D-Bus activation when installed); without a session bus (a job run
// by cron) every call fails at once with KeyringError. Items carry the attributes "server" and
// "user" and the label "<label prefix> <user> at <server>".
class SecretServiceKeyring final : public PasswordKeyring {
 public:
  // `schemaName` names the program's items ("Tarnwell.QuenorSync.Password"); `labelPrefix` starts
  // their label as the user sees it in the keyring's window.
  SecretServiceKeyring(std::string schemaName, std::string labelPrefix);
  ~SecretServiceKeyring() override;
  SecretServiceKeyring(const SecretServiceKeyring&) = delete;
  SecretServiceKeyring& operator=(const SecretServiceKeyring&) = delete;

  std::optional<std::string> Lookup(const KeyringAccount& account) override;
  void Store(const KeyringAccount& account, const std::string& password) override;
  void Remove(const KeyringAccount& account) override;

 private:
  struct Schema;
  std::unique_ptr<Schema> mSchema;
  std::string mLabelPrefix;
};
