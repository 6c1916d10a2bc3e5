// The configuration object: defaults, key rules, password, identity, derived addresses and dates,
// link sections, and what happens with bad or unwritable files.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <ctime>
#include <random>

#include "config/CConf.h"
#include "tests/config/TestFiles.h"
#include "tests/support/TempDir.h"

namespace {

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 0777) : 0;
}

std::string FileText(const std::string& path) {
  const std::string bytes = ReadFileBytes(path);
  std::u16string units(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) | (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  return Utf16ToUtf8(units);
}

class CConfTest : public ::testing::Test {
 protected:
  void WriteConfig(const std::string& text) { WriteFileBytes(dir.File("QuenorSync.cfg"), Utf16Le(text)); }
  std::string ConfigText() const { return FileText(dir.File("QuenorSync.cfg")); }

  TempDir dir;
};

}  // namespace

TEST_F(CConfTest, ConstructionDefaultsBeforeAnythingIsLoaded) {
  CConf conf(dir.Path());
  EXPECT_EQ(conf.ConfigFolder(), dir.Path());
  EXPECT_EQ(conf.SyncWithOutlook(), -1);
  EXPECT_EQ(conf.MaxMsgSize(), 0);
  EXPECT_EQ(conf.LogLevel(), 1);
  EXPECT_EQ(conf.SchedulePeriod(), 1);
  EXPECT_EQ(conf.AppState(), 0);
  EXPECT_FALSE(conf.Silent());
  EXPECT_EQ(conf.SyncRunning(), CConf::RUN_IDLE);
  EXPECT_EQ(conf.ProductName(), "QuenorSync");
  EXPECT_EQ(conf.CompanyName(), "Tarnwell");
  EXPECT_FALSE(conf.ProductVersion().empty());
  EXPECT_FALSE(conf.LegalNotice().empty());
  EXPECT_EQ(conf.LogPath(), dir.Path() + "Sync.log");
}

TEST_F(CConfTest, LoadCreatesThePrivateFileOnlyWhenAsked) {
  CConf conf(dir.Path());
  EXPECT_FALSE(conf.Load(false));
  ASSERT_TRUE(conf.Load(true));
  EXPECT_EQ(ModeOf(conf.ConfigFilePath()), 0600u);
}

TEST_F(CConfTest, MissingKeysReadTheirDefaults) {
  WriteConfig("[QuenorSync]\n");
  CConf conf(dir.Path());
  ASSERT_TRUE(conf.Load(false));
  EXPECT_EQ(conf.SyncWithOutlook(), -1);
  EXPECT_EQ(conf.MaxMsgSize(), 102400);
  EXPECT_EQ(conf.PackageName(), "Tarnwell_Sync_Installer.msi");
  EXPECT_EQ(conf.SchedulePeriod(), 0);
  EXPECT_EQ(conf.SyncPeriod(), 0);
  EXPECT_FALSE(conf.ConfResPol());
  EXPECT_TRUE(conf.RememberPass());  // a new configuration remembers the password
  EXPECT_TRUE(conf.Url().empty());
  EXPECT_TRUE(conf.Links().Empty());
}

TEST_F(CConfTest, ValuesFollowLeadingIntegerAndExactTextRules) {
  WriteConfig(
      "[QuenorSync]\nsync_with_outlook=\nmax_msg_size= 2048 bytes\nsystray=abc\nsync_ab=2\nsync_cal=-1\n"
      "conf_res_pol=Auto\nlog_level=0\nurl=http://host/;comment\nschedule_period=3\napp_state=1\n");
  CConf conf(dir.Path());
  ASSERT_TRUE(conf.Load(false));
  EXPECT_EQ(conf.SyncWithOutlook(), 0);  // present but empty reads as 0, not -1
  EXPECT_EQ(conf.MaxMsgSize(), 2048);
  EXPECT_FALSE(conf.Systray());
  EXPECT_TRUE(conf.SyncAb());
  EXPECT_TRUE(conf.SyncCal());
  EXPECT_FALSE(conf.ConfResPol());  // only the exact text "auto" means automatic
  EXPECT_EQ(conf.LogLevel(), 1);    // never read back
  EXPECT_EQ(conf.Url(), "http://host/");
  EXPECT_EQ(conf.SchedulePeriod(), 3);
  EXPECT_EQ(conf.AppState(), 1);

  WriteConfig("[QuenorSync]\nconf_res_pol=auto\n");
  ASSERT_TRUE(conf.Load(false));
  EXPECT_TRUE(conf.ConfResPol());
}

TEST_F(CConfTest, SaveWritesTheSettingsInTheirOrder) {
  CConf conf(dir.Path());
  ASSERT_TRUE(conf.Load(true));
  conf.SetUrl("http://h");
  conf.SetLogin("me");
  conf.SetLanguage("de");
  conf.SetSyncAb(true);
  conf.SetSyncWithOutlook(1);
  conf.SetMaxMsgSize(4096);
  ASSERT_TRUE(conf.Save());
  EXPECT_EQ(ConfigText(),
            "[QuenorSync]\nconf_res_pol=manual\nlanguage=de\nsystray=0\nsync_ab=1\nsync_cal=0\nsync_tasks=0\n"
            "url=http://h\nemail_management_mode=0\nsync_with_outlook=1\nmax_msg_size=4096\nsync_period=0\n"
            "log_level=1\nuse_schedule=0\nschedule_period=0\npackage_name=Tarnwell_Sync_Installer.msi\n"
            "app_state=0\nlogin=me\npassword=\nremember_pass=1\n");
}

TEST_F(CConfTest, SettingsSurviveSaveAndLoad) {
  {
    CConf conf(dir.Path());
    ASSERT_TRUE(conf.Load(true));
    conf.SetConfResPol(true);
    conf.SetSystray(true);
    conf.SetSyncTasks(true);
    conf.SetEmailManagementMode(2);
    conf.SetSyncPeriod(4);
    conf.SetUseSchedule(true);
    conf.SetSchedulePeriod(4);
    conf.SetPackageName("pkg.tar.gz");
    conf.SetAppState(1);
    conf.Save();
  }
  CConf conf(dir.Path());
  ASSERT_TRUE(conf.Load(false));
  EXPECT_TRUE(conf.ConfResPol());
  EXPECT_TRUE(conf.Systray());
  EXPECT_TRUE(conf.SyncTasks());
  EXPECT_EQ(conf.EmailManagementMode(), 2);
  EXPECT_EQ(conf.SyncPeriod(), 4);
  EXPECT_TRUE(conf.UseSchedule());
  EXPECT_EQ(conf.SchedulePeriod(), 4);
  EXPECT_EQ(conf.PackageName(), "pkg.tar.gz");
  EXPECT_EQ(conf.AppState(), 1);
}

TEST_F(CConfTest, RememberedPasswordTravelsAsBase64OfUtf8) {
  {
    CConf conf(dir.Path());
    ASSERT_TRUE(conf.Load(true));
    conf.SetLogin("jörg");
    conf.SetPassword("Pässwört€");
    conf.SetRememberPass(true);
    conf.SaveLogin(true);
  }
  EXPECT_NE(ConfigText().find("password=UMOkc3N3w7ZydOKCrA==\nremember_pass=1\n"), std::string::npos);
  CConf conf(dir.Path());
  ASSERT_TRUE(conf.Load(false));
  EXPECT_EQ(conf.Password(), "Pässwört€");
  EXPECT_EQ(conf.Login(), "jörg");

  conf.SetRememberPass(false);
  conf.Save();
  EXPECT_NE(ConfigText().find("password=\nremember_pass=0\n"), std::string::npos);
}

TEST_F(CConfTest, PasswordDecodingIsLenient) {
  CConf conf(dir.Path());
  WriteConfig("[QuenorSync]\npassword= UMOk c3N3\tw7ZydOKCrA==\nremember_pass=1\n");
  ASSERT_TRUE(conf.Load(false));
  EXPECT_EQ(conf.Password(), "Pässwört€");
  WriteConfig("[QuenorSync]\npassword=YWJj*ZGVm\n");  // decoding ends at "*"
  ASSERT_TRUE(conf.Load(false));
  EXPECT_EQ(conf.Password(), "abc");
  WriteConfig("[QuenorSync]\npassword=/w==\n");  // byte 0xFF is no UTF-8
  ASSERT_TRUE(conf.Load(false));
  EXPECT_EQ(conf.Password(), "\xEF\xBF\xBD");
}

TEST_F(CConfTest, IdentityIsGeneratedOncePerApplicationWhenTheApplicationChanged) {
  CConf conf(dir.Path());
  ASSERT_TRUE(conf.Load(true));
  conf.SetSyncWithOutlook(1);
  conf.Save();
  EXPECT_TRUE(conf.ClientStoreId().empty());  // no change of application, no identity step

  conf.SetAppChanged(true);
  conf.Save();
  const std::string outlookId = conf.ClientStoreId();
  ASSERT_EQ(outlookId.size(), 64u);
  EXPECT_EQ(outlookId.find_first_not_of("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"), std::string::npos);
  EXPECT_TRUE(conf.IdentityGenerated());
  EXPECT_FALSE(conf.AppChanged());
  EXPECT_NE(ConfigText().find("OutlookID=" + outlookId + "\n"), std::string::npos);

  conf.SetIdentityGenerated(false);
  conf.SetSyncWithOutlook(0);
  conf.SetAppChanged(true);
  conf.Save();
  const std::string wabId = conf.ClientStoreId();
  EXPECT_EQ(wabId.size(), 64u);
  EXPECT_NE(wabId, outlookId);
  EXPECT_TRUE(conf.IdentityGenerated());

  conf.SetIdentityGenerated(false);
  conf.SetSyncWithOutlook(1);
  conf.SetAppChanged(true);
  conf.Save();
  EXPECT_EQ(conf.ClientStoreId(), outlookId);
  EXPECT_FALSE(conf.IdentityGenerated());

  CConf reloaded(dir.Path());
  ASSERT_TRUE(reloaded.Load(false));
  EXPECT_EQ(reloaded.ClientStoreId(), outlookId);
}

// The wizard's check meets the server before the local application is chosen: the identity it
// used is the one the chosen application keeps, so the server sees one device.
TEST_F(CConfTest, TheIdentityOfAFirstCheckIsTheOneTheChosenApplicationKeeps) {
  CConf conf(dir.Path());
  ASSERT_TRUE(conf.Load(true));
  const std::string checked = conf.EnsureClientStoreId();
  ASSERT_EQ(checked.size(), CConf::kIdentityLength);
  EXPECT_EQ(conf.EnsureClientStoreId(), checked);
  EXPECT_FALSE(conf.HasKey(CConf::kSection, "OutlookID"));
  conf.Load(true);  // the wizard cancelled and started again: still the same device
  EXPECT_EQ(conf.EnsureClientStoreId(), checked);

  conf.SetSyncWithOutlook(LOCAL_APP_OUTLOOK);
  conf.SetAppChanged(true);
  conf.Save();
  EXPECT_EQ(conf.ClientStoreId(), checked);
  EXPECT_TRUE(conf.IdentityGenerated());
  CConf reloaded(dir.Path());
  ASSERT_TRUE(reloaded.Load(false));
  EXPECT_EQ(reloaded.ClientStoreId(), checked);

  // Another application gets an identity of its own, not the one already bound.
  conf.SetSyncWithOutlook(LOCAL_APP_WINDOWS_CONTACTS);
  conf.SetAppChanged(true);
  conf.Save();
  EXPECT_NE(conf.ClientStoreId(), checked);
  EXPECT_EQ(conf.ClientStoreId().size(), CConf::kIdentityLength);
}

TEST(CConfIdentity, GeneratedIdentitiesDiffer) {
  EXPECT_NE(CConf::GenerateIdentity(), CConf::GenerateIdentity());
}

TEST_F(CConfTest, CheckCompleteNamesTheFirstMissingPiece) {
  CConf conf(dir.Path());
  EXPECT_EQ(conf.CheckComplete(), 103u);
  conf.SetLogin("me");
  conf.SetRememberPass(true);
  EXPECT_EQ(conf.CheckComplete(), 103u);  // remembered but empty password
  conf.SetRememberPass(false);
  EXPECT_EQ(conf.CheckComplete(), 106u);
  conf.SetUrl("http://h");
  EXPECT_EQ(conf.CheckComplete(), 157u);  // no local application
  conf.SetSyncWithOutlook(1);
  EXPECT_EQ(conf.CheckComplete(), 157u);  // Outlook with no data type
  conf.SetSyncCal(true);
  EXPECT_EQ(conf.CheckComplete(), 0u);
  conf.SetSyncCal(false);
  conf.SetSyncWithOutlook(0);
  EXPECT_EQ(conf.CheckComplete(), 0u);
}

TEST_F(CConfTest, SyncUrlAndPackageUrl) {
  struct Row {
    const char* url;
    const char* sync;
    const char* package;
  };
  const Row rows[] = {
      {"http://h", "http://h/cgi-bin/vudireravaz", "http://h/pkg.msi"},
      {"http://h/", "http://h/cgi-bin/vudireravaz", "http://h/pkg.msi"},
      {"http://h/x/cgi-bin/other", "http://h/x/cgi-bin/other", "http://h/x/pkg.msi"},
      {"cgi-bin/a", "cgi-bin/a", "pkg.msi"},
  };
  CConf conf(dir.Path());
  conf.SetPackageName("pkg.msi");
  for (const Row& row : rows) {
    conf.SetUrl(row.url);
    EXPECT_EQ(conf.SyncUrl(), row.sync) << row.url;
    EXPECT_EQ(conf.PackageUrl(), row.package) << row.url;
  }
}

TEST(CConfSyncStart, PeriodsCountBackFromTodayInLocalTime) {
  // The zone is pinned for this test only: tzset() runs again once the old TZ is back.
  struct ResetZoneOnExit {
    ~ResetZoneOnExit() { tzset(); }
  } resetZone;
  ScopedEnv zone("TZ", "UTC");
  tzset();
  std::tm moment{};
  moment.tm_year = 2026 - 1900;
  moment.tm_mon = 11;
  moment.tm_mday = 8;
  moment.tm_hour = 10;
  const std::time_t now = timegm(&moment);
  const char* expected[] = {"20261202", "20261108", "20261008", "20260606", "20251209"};
  for (int period = 0; period < 5; ++period) {
    const auto start = CConf::SyncStartFor(period, now);
    ASSERT_TRUE(start.has_value());
    std::tm day{};
    gmtime_r(&*start, &day);
    char text[16];
    strftime(text, sizeof text, "%Y%m%d", &day);
    EXPECT_STREQ(text, expected[period]);
    EXPECT_EQ(day.tm_hour + day.tm_min + day.tm_sec, 0);
  }
  moment.tm_hour = 0;
  const auto atMidnight = CConf::SyncStartFor(0, timegm(&moment));
  ASSERT_TRUE(atMidnight.has_value());
  EXPECT_EQ(*atMidnight, timegm(&moment) - 7 * 86400);
  EXPECT_FALSE(CConf::SyncStartFor(5, now).has_value());
  EXPECT_FALSE(CConf::SyncStartFor(-1, now).has_value());
}

TEST_F(CConfTest, SyncStartDateIsEmptyWithoutLimit) {
  CConf conf(dir.Path());
  conf.SetSyncPeriod(0);
  EXPECT_EQ(conf.SyncStartDate().size(), 8u);
  conf.SetSyncPeriod(5);
  EXPECT_EQ(conf.SyncStartDate(), "");
  conf.SetSyncPeriod(9);
  EXPECT_EQ(conf.SyncStartDate(), "");
}

TEST(CConfFolder, PerUserFolderComesFromXdgDataHomeAndIsPrivate) {
  TempDir dir;
  ScopedEnv data("XDG_DATA_HOME", dir.Path() + "data");
  CConf conf;
  EXPECT_EQ(conf.ConfigFolder(), dir.Path() + "data/Tarnwell/QuenorSync/");
  EXPECT_EQ(ModeOf(dir.Path() + "data/Tarnwell"), 0700u);
  EXPECT_EQ(ModeOf(dir.Path() + "data/Tarnwell/QuenorSync"), 0700u);
  ASSERT_TRUE(conf.Load(true));
  conf.Save();
  EXPECT_EQ(ModeOf(conf.ConfigFilePath()), 0600u);
  EXPECT_EQ(ReadFileBytes(conf.ConfigFilePath()).substr(0, 4), std::string("[\0Q\0", 4));
  EXPECT_EQ(conf.ProgramFolder().back(), '/');
}

TEST_F(CConfTest, LinkSectionsStopAtTheFirstGapAndAreRewrittenAfterTheOthers) {
  WriteConfig(
      "[QuenorSync]\nsync_ab=1\nsync_cal=1\n"
      "[sync_1]\nserver_name=\nsync_mode=0\ndata_type=0\nclient_app=1\nclient_full_path=\\\\Mailbox\\Contacts\n"
      "[sync_2]\nserver_name=corporate\nsync_mode=1\ndata_type=1\nclient_app=1\n"
      "[Other]\nx=1\n"
      "[sync_4]\nserver_name=lost\nsync_mode=0\ndata_type=0\n");
  CConf conf(dir.Path());
  ASSERT_TRUE(conf.Load(false));
  ASSERT_EQ(conf.Links().Size(), 2u);
  EXPECT_EQ(conf.Links().At(0).mLocalPath, "\\\\Mailbox\\Contacts");
  EXPECT_EQ(conf.Links().At(1).ServerUri(), "./events/corporate");
  EXPECT_TRUE(conf.HasLinkOfType(1));
  EXPECT_FALSE(conf.HasLinkOfType(2));

  conf.Save();
  const std::string text = ConfigText();
  const size_t other = text.find("[Other]");
  const size_t fourth = text.find("[sync_4]\nserver_name=lost\n");
  const size_t first = text.find("[sync_1]\nserver_name=\nclient_entry_id=\nclient_store_id=\nclient_name=\n"
                                 "client_full_path=\\\\Mailbox\\Contacts\nsync_mode=0\ndata_type=0\nclient_app=1\n"
                                 "sync_state=0\nsync_date=\n");
  const size_t second = text.find("[sync_2]\nserver_name=corporate\n");
  ASSERT_NE(other, std::string::npos);
  ASSERT_NE(fourth, std::string::npos);
  ASSERT_NE(first, std::string::npos);
  ASSERT_NE(second, std::string::npos);
  EXPECT_LT(other, first);
  EXPECT_LT(fourth, first);
  EXPECT_LT(first, second);
  EXPECT_EQ(text.find("[sync_1]", first + 1), std::string::npos);
}

TEST_F(CConfTest, SwitchedOffDataTypesAndInactiveLinksAreDroppedOnLoadAndSave) {
  WriteConfig(
      "[QuenorSync]\nsync_ab=1\nsync_cal=0\n"
      "[sync_1]\nsync_mode=0\ndata_type=1\n"
      "[sync_2]\nsync_mode=-1\ndata_type=0\n"
      "[sync_3]\nsync_mode=2\ndata_type=0\n"
      "[sync_4]\nsync_mode=0\ndata_type=7\n");
  CConf conf(dir.Path());
  ASSERT_TRUE(conf.Load(false));
  ASSERT_EQ(conf.Links().Size(), 2u);
  EXPECT_EQ(conf.Links().At(0).mMode, 2);
  EXPECT_EQ(conf.Links().At(1).mDataType, 7);  // a type no switch governs stays

  CSyncLink events;
  events.mMode = 0;
  events.mDataType = 1;
  conf.Links().Add(events);
  conf.Save();
  EXPECT_EQ(conf.Links().Size(), 2u);
  EXPECT_EQ(ConfigText().find("[sync_3]"), std::string::npos);
}

TEST_F(CConfTest, LinkSectionWithMissingKeysReadsZeros) {
  WriteConfig("[QuenorSync]\nsync_ab=1\n[SYNC_1]\nclient_name=Kontakte\n");
  CConf conf(dir.Path());
  ASSERT_TRUE(conf.Load(false));
  ASSERT_EQ(conf.Links().Size(), 1u);
  const CSyncLink& link = conf.Links().At(0);
  EXPECT_EQ(link.mMode, 0);       // both directions, not "off"
  EXPECT_EQ(link.mClientApp, 0);  // Windows Contacts, not Outlook
  EXPECT_EQ(link.mState, 0);
  EXPECT_EQ(link.mLastSyncTime, 0);
  EXPECT_EQ(link.mLocalName, "Kontakte");
  EXPECT_TRUE(link.mServerName.empty());
}

// The date of the last good run stays through a failed run: the row can still say when it was.
TEST_F(CConfTest, SyncDateOfTheLastGoodRunIsKeptThroughAFailedOne) {
  const std::time_t when = 1796212800;  // 2026-12-02 12:40 UTC
  {
    CConf conf(dir.Path());
    ASSERT_TRUE(conf.Load(true));
    conf.SetSyncAb(true);
    CSyncLink link;
    link.mMode = 0;
    link.mState = SYNC_STATE_SYNCHRONIZED;
    link.mLastSyncTime = when;
    conf.Links().Add(link);
    link.mState = SYNC_STATE_FAILED;
    conf.Links().Add(link);
    conf.Save();
  }
  EXPECT_NE(ConfigText().find("sync_date=" + FormatLocalDateTime(when) + "\n"), std::string::npos);
  CConf conf(dir.Path());
  ASSERT_TRUE(conf.Load(false));
  ASSERT_EQ(conf.Links().Size(), 2u);
  EXPECT_EQ(conf.Links().At(0).mLastSyncTime, when);
  EXPECT_EQ(conf.Links().At(1).mState, SYNC_STATE_FAILED);
  EXPECT_EQ(conf.Links().At(1).mLastSyncTime, when);

  WriteConfig("[QuenorSync]\nsync_ab=1\n[sync_1]\nsync_state=1\nsync_date=yesterday\n");
  ASSERT_TRUE(conf.Load(false));
  EXPECT_EQ(conf.Links().At(0).mLastSyncTime, 0);
}

TEST_F(CConfTest, TruncatedBinaryAndHugeFilesLoadWithoutCrashing) {
  const std::string valid = Utf16Le("[QuenorSync]\nurl=http://h\nsync_ab=1\n[sync_1]\nsync_mode=0\n");
  std::mt19937 random(11);
  std::string noise(10 << 20, '\0');
  for (char& byte : noise) byte = static_cast<char>(random());
  for (const std::string& content : {valid.substr(0, valid.size() - 5), noise, valid + noise}) {
    WriteFileBytes(dir.File("QuenorSync.cfg"), content);
    CConf conf(dir.Path());
    EXPECT_TRUE(conf.Load(false));
    conf.Save();
    EXPECT_TRUE(conf.Load(false));
  }
}

// Many link sections must neither hang the loader nor make it hold an unbounded array.
TEST_F(CConfTest, FileWithHundredsOfThousandsOfLinkSectionsLoadsBounded) {
  std::string text = "[QuenorSync]\nsync_ab=1\n";
  for (int n = 1; n <= 300000; ++n) text += "[sync_" + std::to_string(n) + "]\n";
  WriteConfig(text);
  CConf conf(dir.Path());
  ASSERT_TRUE(conf.Load(false));
  EXPECT_EQ(conf.Links().Size(), 1000u);
  conf.Save();
  ASSERT_TRUE(conf.Load(false));
  EXPECT_EQ(conf.Links().Size(), 1000u);
}

TEST_F(CConfTest, FailedSaveLeavesTheExistingFileWhole) {
  WriteConfig("[QuenorSync]\nurl=http://original\nlogin=me\nsync_ab=1\n[sync_1]\nsync_mode=0\nclient_name=Contacts\n");
  const std::string before = ReadFileBytes(dir.File("QuenorSync.cfg"));
  const int result = RunWithFileSizeLimit(64, [&] {
    CConf conf(dir.Path());
    if (!conf.Load(false)) return 2;
    conf.SetUrl("http://changed");
    return conf.Save() ? 0 : 1;
  });
  EXPECT_EQ(result, 1);  // the failure is reported
  EXPECT_EQ(ReadFileBytes(dir.File("QuenorSync.cfg")), before);
  CConf conf(dir.Path());
  ASSERT_TRUE(conf.Load(false));
  EXPECT_EQ(conf.Url(), "http://original");
  ASSERT_EQ(conf.Links().Size(), 1u);
}
