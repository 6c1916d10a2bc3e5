// Secret Service calls through libsecret's synchronous password functions.
#include "platform/keyring/SecretServiceKeyring.h"

#include <libsecret/secret.h>

namespace {

struct ErrorDeleter {
  void operator()(GError* error) const { g_error_free(error); }
};

// Throws KeyringError with `error`'s text (which it frees) when there is one.
void ThrowOn(GError* error, const char* what) {
  if (error == nullptr) return;
  const std::unique_ptr<GError, ErrorDeleter> owned(error);
  throw KeyringError(std::string(what) + ": " + (owned->message != nullptr ? owned->message : "unknown error"));
}

}  // namespace

struct SecretServiceKeyring::Schema {
  explicit Schema(const std::string& name)
      : schema(secret_schema_new(name.c_str(), SECRET_SCHEMA_NONE, "server", SECRET_SCHEMA_ATTRIBUTE_STRING, "user",
                                 SECRET_SCHEMA_ATTRIBUTE_STRING, nullptr)) {}
  ~Schema() { secret_schema_unref(schema); }
  Schema(const Schema&) = delete;
  Schema& operator=(const Schema&) = delete;

  SecretSchema* schema;
};

SecretServiceKeyring::SecretServiceKeyring(std::string schemaName, std::string labelPrefix)
    : mSchema(std::make_unique<Schema>(schemaName)), mLabelPrefix(std::move(labelPrefix)) {}

SecretServiceKeyring::~SecretServiceKeyring() = default;

std::optional<std::string> SecretServiceKeyring::Lookup(const KeyringAccount& account) {
  GError* error = nullptr;
  gchar* password = secret_password_lookup_sync(mSchema->schema, nullptr, &error, "server", account.server.c_str(), "user",
                                                account.user.c_str(), nullptr);
  ThrowOn(error, "the keyring could not be read");
  if (password == nullptr) return std::nullopt;
  std::string value(password);
  // The copy in libsecret's memory is wiped before it is freed.
  secret_password_free(password);
  return value;
}

void SecretServiceKeyring::Store(const KeyringAccount& account, const std::string& password) {
  GError* error = nullptr;
  const std::string label = mLabelPrefix + " " + account.user + " at " + account.server;
  secret_password_store_sync(mSchema->schema, SECRET_COLLECTION_DEFAULT, label.c_str(), password.c_str(), nullptr, &error,
                             "server", account.server.c_str(), "user", account.user.c_str(), nullptr);
  ThrowOn(error, "the keyring did not store the password");
}

void SecretServiceKeyring::Remove(const KeyringAccount& account) {
  GError* error = nullptr;
  secret_password_clear_sync(mSchema->schema, nullptr, &error, "server", account.server.c_str(), "user",
                             account.user.c_str(), nullptr);
  ThrowOn(error, "the keyring did not remove the password");
}
