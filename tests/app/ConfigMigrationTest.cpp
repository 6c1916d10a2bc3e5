// Migration of an old configuration: the .cfg file first, then anchors, then indexes; where it stops.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/ConfigMigration.h"
#include "tests/app/AppTestSupport.h"

namespace {

namespace fs = std::filesystem;

class ConfigMigrationTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(target.Path()); }
  void Put(const std::string& name, const std::string& content) { WriteFileBytes(source.File(name), content); }
  bool Copied(const std::string& name) const { return fs::exists(target.File(name)); }

  TempDir source;
  TempDir target;
};

TEST_F(ConfigMigrationTest, CopiesConfigurationAnchorsAndIndexesPrivately) {
  Put("QuenorSync.cfg", "[QuenorSync]\r\nurl=x\r\n");
  Put("a.anc", "1");
  Put("b.dat", "2");
  Put("notes.txt", "3");
  fs::create_directories(source.File("folder.anc"));
  WriteFileBytes(target.File("a.anc"), "old");
  EXPECT_TRUE(MigrateConfiguration(source.Path(), target.Path()));
  EXPECT_EQ(ReadFileBytes(target.File("QuenorSync.cfg")), "[QuenorSync]\r\nurl=x\r\n");
  EXPECT_EQ(ReadFileBytes(target.File("a.anc")), "1");  // overwritten
  EXPECT_EQ(ReadFileBytes(target.File("b.dat")), "2");
  EXPECT_EQ(ModeOf(target.File("QuenorSync.cfg")), 0600);
  EXPECT_FALSE(Copied("notes.txt"));
  EXPECT_FALSE(Copied("folder.anc"));
}

TEST_F(ConfigMigrationTest, WithoutAConfigurationFileNothingIsCopied) {
  Put("a.anc", "1");
  EXPECT_FALSE(MigrateConfiguration(source.Path(), target.Path()));
  EXPECT_FALSE(Copied("a.anc"));
}

TEST_F(ConfigMigrationTest, FirstFailedCopyEndsTheMigrationWhichStillSucceeds) {
  Put("QuenorSync.cfg", "[QuenorSync]\n");
  Put("a.anc", "1");
  Put("b.anc", "2");
  Put("c.anc", "3");
  Put("d.dat", "4");
  fs::create_directories(target.File("b.anc"));  // a folder in the way: the copy of b.anc fails
  EXPECT_TRUE(MigrateConfiguration(source.Path(), target.Path()));
  EXPECT_TRUE(Copied("a.anc"));
  EXPECT_FALSE(Copied("c.anc"));
  EXPECT_FALSE(Copied("d.dat"));
}

}  // namespace
