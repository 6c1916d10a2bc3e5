// Per-user folder resolution and creation, and the program's own folder.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "platform/shell/UserFolders.h"
#include "tests/support/TempDir.h"

namespace {

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 0777) : 0;
}

}  // namespace

TEST(UserFolders, DataFolderIsXdgDataHomeOrLocalShareBelowHome) {
  TempDir dir;
  {
    ScopedEnv data("XDG_DATA_HOME", dir.Path() + "xdg");
    EXPECT_EQ(UserDataFolder(), dir.Path() + "xdg/");
    EXPECT_EQ(ModeOf(dir.Path() + "xdg"), 0700u);
  }
  ScopedEnv home("HOME", dir.Path() + "home");
  for (const std::optional<std::string>& xdg : {std::optional<std::string>(), std::optional<std::string>("relative/path")}) {
    ScopedEnv data("XDG_DATA_HOME", xdg);
    EXPECT_EQ(UserDataFolder(), dir.Path() + "home/.local/share/");
  }
  EXPECT_EQ(ModeOf(dir.Path() + "home/.local/share"), 0700u);
}

TEST(UserFolders, CompanyAndProductLevelsAreCreatedPrivateAndEmptyNamesSkipped) {
  TempDir dir;
  EXPECT_EQ(MakeUserFolder(dir.Path(), "Co", "Prod"), dir.Path() + "Co/Prod/");
  EXPECT_EQ(ModeOf(dir.Path() + "Co"), 0700u);
  EXPECT_EQ(ModeOf(dir.Path() + "Co/Prod"), 0700u);
  EXPECT_EQ(MakeUserFolder(dir.Path(), "", "Solo"), dir.Path() + "Solo/");
  EXPECT_EQ(MakeUserFolder("", "Co", "Prod"), "");

  ASSERT_EQ(::chmod((dir.Path() + "Co/Prod").c_str(), 0755), 0);
  MakeUserFolder(dir.Path(), "Co", "Prod");
  EXPECT_EQ(ModeOf(dir.Path() + "Co/Prod"), 0700u);  // the folder holding the password is narrowed
}

TEST(UserFolders, PathIsReturnedEvenWhenALevelCannotBeCreated) {
  TempDir dir;
  WriteFileBytes(dir.File("Co"), "a file in the way");
  EXPECT_EQ(MakeUserFolder(dir.Path(), "Co", "Prod"), dir.Path() + "Co/Prod/");
  struct stat info {};
  EXPECT_NE(::stat((dir.Path() + "Co/Prod").c_str(), &info), 0);
}

TEST(UserFolders, ProgramFolderHoldsTheRunningProgram) {
  const std::string folder = ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_TRUE(::access((folder + "test_config").c_str(), X_OK) == 0);
}

TEST(UserFolders, AutostartEntryIsRemovedAndAMissingOneIsNoError) {
  TempDir dir;
  ScopedEnv config("XDG_CONFIG_HOME", dir.Path() + "config");
  ASSERT_TRUE(CreateFolderPath(dir.Path() + "config/autostart/"));
  WriteFileBytes(dir.File("config/autostart/larkspan.desktop"), "[Desktop Entry]\n");
  WriteFileBytes(dir.File("config/autostart/other.desktop"), "[Desktop Entry]\n");
  EXPECT_TRUE(RemoveAutostartEntry("larkspan"));
  EXPECT_NE(::access(dir.File("config/autostart/larkspan.desktop").c_str(), F_OK), 0);
  EXPECT_EQ(::access(dir.File("config/autostart/other.desktop").c_str(), F_OK), 0);
  EXPECT_TRUE(RemoveAutostartEntry("larkspan"));
}
