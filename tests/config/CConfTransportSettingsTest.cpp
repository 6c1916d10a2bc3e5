// The transport's and the guards' settings in the configuration: "ssl_verify", "syncml_mime",
// "allow_http_updates", "slow_sync_guard", "mass_delete_percent" and "mass_delete_count", their
// defaults, what a damaged value means, and that they survive a save.
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
  EXPECT_TRUE(conf->SlowSyncGuard());
  EXPECT_EQ(conf->MassDeletePercent(), 50);
  EXPECT_EQ(conf->MassDeleteCount(), 10);
}

TEST_F(CConfTransportSettingsTest, OnlyAWrittenZeroTurnsVerificationOff) {
  EXPECT_FALSE(LoadWith("ssl_verify=0\r\n")->SslVerify());
  EXPECT_TRUE(LoadWith("ssl_verify=1\r\n")->SslVerify());
  // An empty or garbled value must not silently accept any certificate.
  EXPECT_TRUE(LoadWith("ssl_verify=\r\n")->SslVerify());
  EXPECT_TRUE(LoadWith("ssl_verify=no\r\n")->SslVerify());
  // Nor may a garbled value switch a guard off or make its limit 0.
  EXPECT_FALSE(LoadWith("slow_sync_guard=0\r\n")->SlowSyncGuard());
  EXPECT_TRUE(LoadWith("slow_sync_guard=off\r\n")->SlowSyncGuard());
  EXPECT_EQ(LoadWith("mass_delete_percent=-5\r\n")->MassDeletePercent(), 50);
  EXPECT_EQ(LoadWith("mass_delete_count=25\r\n")->MassDeleteCount(), 25);
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
  for (const char* key : {"slow_sync_guard", "mass_delete_percent", "mass_delete_count"}) {
    EXPECT_FALSE(reloaded.HasKey(CConf::kSection, key)) << key;
  }
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
    conf->SetSlowSyncGuard(false);
    conf->SetMassDeleteLimits(80, 100);
    conf->Save();
  }
  CConf reloaded(dir.Path());
  ASSERT_TRUE(reloaded.Load(false));
  EXPECT_FALSE(reloaded.SlowSyncGuard());
  EXPECT_EQ(reloaded.MassDeletePercent(), 80);
  EXPECT_EQ(reloaded.MassDeleteCount(), 100);
  EXPECT_FALSE(reloaded.SslVerify());
  EXPECT_EQ(reloaded.SyncMime(), "application/vnd.syncml-xml");
  EXPECT_EQ(reloaded.GetValue(CConf::kSection, "ssl_verify"), "0");
}
