// The Secret Service keyring against gnome-keyring-daemon in a session bus of the test's own: what
// it stores, finds, replaces and removes, that accounts and programs stay apart, and that without a
// session bus every call fails at once with the reason.
#include <gtest/gtest.h>

#include <chrono>

#include "platform/keyring/SecretServiceKeyring.h"
#include "tests/support/KeyringSession.h"
#include "tests/support/TempDir.h"

namespace {

using namespace std::chrono_literals;

SecretServiceKeyring Program() { return SecretServiceKeyring("Tarnwell.QuenorSync.Password", "QuenorSync"); }

// The test body, run only inside the session (see KeyringSecretService.StoresFindsReplacesAndRemoves).
TEST(KeyringSession, Contract) {
  if (!InKeyringSession()) GTEST_SKIP() << "runs inside the keyring session of another test";
  SecretServiceKeyring keyring = Program();
  const KeyringAccount anna{"https://sync.example.test/", "anna"};
  const KeyringAccount bert{"https://sync.example.test/", "bert"};
  EXPECT_EQ(keyring.Lookup(anna), std::nullopt);
  keyring.Store(anna, "s3cr\xc3\xa9t with spaces");
  keyring.Store(bert, "other");
  EXPECT_EQ(keyring.Lookup(anna), "s3cr\xc3\xa9t with spaces");
  keyring.Store(anna, "replaced");
  EXPECT_EQ(keyring.Lookup(anna), "replaced");
  EXPECT_EQ(keyring.Lookup(KeyringAccount{"https://elsewhere.test/", "anna"}), std::nullopt);
  // Another program's schema does not see the item.
  SecretServiceKeyring other("Someone.Else.Password", "Else");
  EXPECT_EQ(other.Lookup(anna), std::nullopt);
  keyring.Remove(anna);
  keyring.Remove(anna);
  EXPECT_EQ(keyring.Lookup(anna), std::nullopt);
  EXPECT_EQ(Program().Lookup(bert), "other");
}

TEST(KeyringSecretService, StoresFindsReplacesAndRemoves) {
  ExpectPassesInKeyringSession("KeyringSession.Contract");
}

TEST(KeyringSecretService, WithoutASessionBusEveryCallFailsAtOnceWithTheReason) {
  TempDir home;
  ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
  ScopedEnv display("DISPLAY", std::nullopt);
  ScopedEnv runtime("XDG_RUNTIME_DIR", home.Path());
  SecretServiceKeyring keyring = Program();
  const auto started = std::chrono::steady_clock::now();
  const KeyringAccount account{"https://sync.example.test/", "anna"};
  EXPECT_THROW(keyring.Lookup(account), KeyringError);
  EXPECT_THROW(keyring.Store(account, "pw"), KeyringError);
  EXPECT_THROW(keyring.Remove(account), KeyringError);
  try {
    keyring.Lookup(account);
  } catch (const KeyringError& error) {
    EXPECT_NE(std::string(error.what()).find("the keyring could not be read: "), std::string::npos) << error.what();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
}

}  // namespace
