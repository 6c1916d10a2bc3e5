// The transport's settings in the configuration: "ssl_verify", "syncml_mime" and
// "allow_http_updates", their defaults, what a damaged value means, and that they survive a save.
#include <gtest/gtest.h>

#include <memory>

#include "common/TextCodec.h"
#include "config/CConf.h"
#include "tests/config/TestFiles.h"
#include "tests/support/TempDir.h"

namespace {

class CConfTransportSettingsTest : public ::testing::Test {
 protected:
  std::unique_ptr<CConf> LoadWith(const std::string& settingsLines) {
    WriteFileBytes(dir.File("QuenorSync.cfg"), Utf16Le("[QuenorSync]\r\nurl=http://example.test/\r\n" + settingsLines));
    auto conf = std::make_unique<CConf>(dir.Path());
    EXPECT_TRUE(conf->Load(false));
    return conf;
  }

  TempDir dir;
};

}  // namespace

TEST_F(CConfTransportSettingsTest, MissingKeysVerifyCertificatesAndSendTheRegisteredType) {
  const auto conf = LoadWith("");
  EXPECT_TRUE(conf->SslVerify());
  EXPECT_EQ(conf->SyncMime(), "application/vnd.syncml+xml");
  EXPECT_EQ(conf->SyncMimeSetting(), "");
}

TEST_F(CConfTransportSettingsTest, OnlyAWrittenZeroTurnsVerificationOff) {
  EXPECT_FALSE(LoadWith("ssl_verify=0\r\n")->SslVerify());
  EXPECT_TRUE(LoadWith("ssl_verify=1\r\n")->SslVerify());
  // An empty or garbled value must not silently accept any certificate.
  EXPECT_TRUE(LoadWith("ssl_verify=\r\n")->SslVerify());
  EXPECT_TRUE(LoadWith("ssl_verify=no\r\n")->SslVerify());
}

TEST_F(CConfTransportSettingsTest, SyncMimeIsReadTrimmedAndEmptyMeansTheDefault) {
  EXPECT_EQ(LoadWith("syncml_mime= application/vnd.syncml-xml \r\n")->SyncMime(), "application/vnd.syncml-xml");
  EXPECT_EQ(LoadWith("syncml_mime=\r\n")->SyncMime(), "application/vnd.syncml+xml");
}

TEST_F(CConfTransportSettingsTest, DefaultsAreNotWrittenIntoAFileThatNeverHadThem) {
  LoadWith("")->Save();
  CConf reloaded(dir.Path());
  ASSERT_TRUE(reloaded.Load(false));
  EXPECT_FALSE(reloaded.HasKey(CConf::kSection, "ssl_verify"));
  EXPECT_FALSE(reloaded.HasKey(CConf::kSection, "syncml_mime"));
  EXPECT_FALSE(reloaded.HasKey(CConf::kSection, "allow_http_updates"));
}

TEST_F(CConfTransportSettingsTest, PlainHttpUpdatesStayRefusedUnlessANumberAllowsThem) {
  EXPECT_FALSE(LoadWith("")->AllowHttpUpdates());
  EXPECT_FALSE(LoadWith("allow_http_updates=0\r\n")->AllowHttpUpdates());
  EXPECT_FALSE(LoadWith("allow_http_updates=yes\r\n")->AllowHttpUpdates());
  EXPECT_TRUE(LoadWith("allow_http_updates=1\r\n")->AllowHttpUpdates());
  {
    const auto conf = LoadWith("");
    conf->SetAllowHttpUpdates(true);
    conf->Save();
  }
  CConf reloaded(dir.Path());
  ASSERT_TRUE(reloaded.Load(false));
  EXPECT_TRUE(reloaded.AllowHttpUpdates());
}

TEST_F(CConfTransportSettingsTest, AKeyTheFileHasIsKeptAndUpdated) {
  {
    const auto conf = LoadWith("ssl_verify=0\r\nsyncml_mime=application/vnd.syncml-xml\r\n");
    conf->SetSslVerify(true);
    conf->Save();
  }
  CConf reloaded(dir.Path());
  ASSERT_TRUE(reloaded.Load(false));
  EXPECT_EQ(reloaded.GetValue(CConf::kSection, "ssl_verify"), "1");
  EXPECT_EQ(reloaded.SyncMime(), "application/vnd.syncml-xml");
}

TEST_F(CConfTransportSettingsTest, ChangedSettingsSurviveSaveAndLoad) {
  {
    const auto conf = LoadWith("");
    conf->SetSslVerify(false);
    conf->SetSyncMime("application/vnd.syncml-xml");
    conf->Save();
  }
  CConf reloaded(dir.Path());
  ASSERT_TRUE(reloaded.Load(false));
  EXPECT_FALSE(reloaded.SslVerify());
  EXPECT_EQ(reloaded.SyncMime(), "application/vnd.syncml-xml");
  EXPECT_EQ(reloaded.GetValue(CConf::kSection, "ssl_verify"), "0");
}
