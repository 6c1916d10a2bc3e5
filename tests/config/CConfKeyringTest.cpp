// The password in the desktop keyring: where it goes when the option is chosen, switched back, or
// the keyring is away; what a load finds; and that the file never holds it meanwhile.
#include <gtest/gtest.h>

#include <map>
#include <utility>

#include "common/Base64.h"
#include "common/StringIds.h"
#include "config/CConf.h"
#include "tests/config/TestFiles.h"
#include "tests/support/TempDir.h"

namespace {

// A keyring in memory that can be made unreachable and counts its calls.
class MemoryKeyring final : public PasswordKeyring {
 public:
  std::optional<std::string> Lookup(const KeyringAccount& account) override {
    Check();
    const auto found = items.find(Key(account));
    return found == items.end() ? std::nullopt : std::optional<std::string>(found->second);
  }
  void Store(const KeyringAccount& account, const std::string& password) override {
    Check();
    ++stores;
    items[Key(account)] = password;
  }
  void Remove(const KeyringAccount& account) override {
    Check();
    items.erase(Key(account));
  }

  static std::pair<std::string, std::string> Key(const KeyringAccount& account) { return {account.server, account.user}; }
  std::map<std::pair<std::string, std::string>, std::string> items;
  bool reachable = true;
  int stores = 0;

 private:
  void Check() const {
    if (!reachable) throw KeyringError("Cannot autolaunch D-Bus without X11 $DISPLAY");
  }
};

constexpr const char* kUrl = "https://sync.example.test/";

class CConfKeyringTest : public ::testing::Test {
 protected:
  // A remembered login in a configuration that uses `keyring`.
  std::unique_ptr<CConf> Loaded(PasswordKeyring* keyring) {
    auto conf = std::make_unique<CConf>(dir.Path());
    conf->SetKeyring(keyring);
    EXPECT_TRUE(conf->Load(true));
    return conf;
  }
  void Remember(CConf& conf, const std::string& password) {
    conf.SetUrl(kUrl);
    conf.SetLogin("anna");
    conf.SetPassword(password);
    conf.SetRememberPass(true);
  }
  std::string FileText() const {
    const std::string bytes = ReadFileBytes(dir.File("QuenorSync.cfg"));
    std::string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) text += bytes[i];
    return text;
  }

  TempDir dir;
  MemoryKeyring keyring;
};

}  // namespace

TEST_F(CConfKeyringTest, ChosenKeyringHoldsThePasswordAndTheFileOnlyTheMarker) {
  {
    auto conf = Loaded(&keyring);
    Remember(*conf, "s3cr\xc3\xa9t");
    conf->SetPasswordInKeyring(true);
    ASSERT_TRUE(conf->Save());
    EXPECT_TRUE(conf->KeyringFailure().empty());
  }
  EXPECT_EQ(keyring.items.at({kUrl, "anna"}), "s3cr\xc3\xa9t");
  const std::string text = FileText();
  EXPECT_NE(text.find("\npassword=\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\npassword_store=keyring\n"), std::string::npos) << text;
  EXPECT_EQ(text.find(EncodeBase64("s3cr\xc3\xa9t")), std::string::npos);

  // Loaded again, the password comes from the keyring; saving again does not store it again.
  auto conf = Loaded(&keyring);
  EXPECT_TRUE(conf->PasswordInKeyring());
  EXPECT_EQ(conf->Password(), "s3cr\xc3\xa9t");
  EXPECT_NE(conf->CheckComplete(), static_cast<unsigned>(IDS_LOGIN_NOT_SET));
  const int stores = keyring.stores;
  conf->Save();
  EXPECT_EQ(keyring.stores, stores);
  // Another login moves the password to its account; the old entry goes.
  conf->SetLogin("bert");
  conf->Save();
  EXPECT_EQ(keyring.items.size(), 1u);
  EXPECT_EQ(keyring.items.count({kUrl, "bert"}), 1u);
}

TEST_F(CConfKeyringTest, SwitchedBackOrForgottenThePasswordLeavesTheKeyring) {
  auto conf = Loaded(&keyring);
  Remember(*conf, "pw");
  conf->SetPasswordInKeyring(true);
  conf->Save();
  ASSERT_EQ(keyring.items.size(), 1u);
  conf->SetPasswordInKeyring(false);
  conf->Save();
  EXPECT_TRUE(keyring.items.empty());
  EXPECT_NE(FileText().find("\npassword=" + EncodeBase64("pw") + "\n"), std::string::npos);
  EXPECT_EQ(FileText().find("password_store"), std::string::npos);

  conf->SetPasswordInKeyring(true);
  conf->Save();
  ASSERT_EQ(keyring.items.size(), 1u);
  conf->SetRememberPass(false);
  conf->Save();
  EXPECT_TRUE(keyring.items.empty());
  EXPECT_NE(FileText().find("\npassword=\n"), std::string::npos);
  // The choice itself stays for the next remembered password.
  EXPECT_TRUE(Loaded(&keyring)->PasswordInKeyring());
}

TEST_F(CConfKeyringTest, AKeyringThatCannotTakeThePasswordLeavesItInTheFile) {
  keyring.reachable = false;
  auto conf = Loaded(&keyring);
  Remember(*conf, "pw");
  conf->SetPasswordInKeyring(true);
  ASSERT_TRUE(conf->Save());
  EXPECT_NE(conf->KeyringFailure().find("Cannot autolaunch D-Bus"), std::string::npos);
  EXPECT_FALSE(conf->PasswordInKeyring());
  EXPECT_NE(FileText().find("\npassword=" + EncodeBase64("pw") + "\n"), std::string::npos);
  EXPECT_EQ(FileText().find("password_store"), std::string::npos);
  // Without any keyring (a program built without one) the same.
  auto none = Loaded(nullptr);
  Remember(*none, "pw");
  none->SetPasswordInKeyring(true);
  none->Save();
  EXPECT_FALSE(none->KeyringFailure().empty());
  EXPECT_NE(FileText().find("\npassword=" + EncodeBase64("pw") + "\n"), std::string::npos);
}

TEST_F(CConfKeyringTest, ALoadWithoutAReachableKeyringKnowsNoPasswordAndSaysWhy) {
  {
    auto conf = Loaded(&keyring);
    Remember(*conf, "pw");
    conf->SetPasswordInKeyring(true);
    conf->Save();
  }
  keyring.reachable = false;
  auto conf = Loaded(&keyring);
  EXPECT_EQ(conf->Password(), "");
  EXPECT_NE(conf->KeyringFailure().find("Cannot autolaunch D-Bus"), std::string::npos);
  EXPECT_EQ(conf->CheckComplete(), static_cast<unsigned>(IDS_LOGIN_NOT_SET));
  // A save meanwhile neither moves the unknown password into the file nor overwrites the
  // keyring's, even once the keyring is back.
  keyring.reachable = true;
  conf->SetSystray(true);
  ASSERT_TRUE(conf->Save());
  EXPECT_EQ(keyring.items.at({kUrl, "anna"}), "pw");
  EXPECT_NE(FileText().find("\npassword=\n"), std::string::npos);
  EXPECT_NE(FileText().find("\npassword_store=keyring\n"), std::string::npos);
  EXPECT_EQ(Loaded(&keyring)->Password(), "pw");
  // Once the user typed it again, it is stored.
  conf->SetPassword("new");
  conf->Save();
  EXPECT_EQ(keyring.items.at({kUrl, "anna"}), "new");
}
