// The installer's class with limits and streams of its own: what the size ceiling counts, and that
// nothing a package names reaches the terminal or the log with its control characters.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "platform/installer/InstallLog.h"
#include "platform/installer/PackageInstaller.h"
#include "tests/installer/TestPackage.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

std::size_t CountOf(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

class PackageInstallerTest : public ::testing::Test {
 protected:
  InstallerStatus Install(const TestPackage& package, PackageLimits limits = {}) {
    package.Write(work.File("p.tgz"));
    EXPECT_TRUE(log.Open(work.File("install.log")));
    PackageInstaller installer({home.File("records/"), home.File("programs/")}, log,
                               [this](const std::string& question) {
                                 questions << question;
                                 return true;
                               },
                               [](const char*) {}, limits);
    return installer.Install(work.File("p.tgz"), {}, {});
  }
  static TestPackage Demo(const std::string& version = "1") {
    TestPackage package;
    package.Manifest("{6F2D-11AA}", version).File("bin/demo", "demo");
    return package;
  }

  TempDir home;
  TempDir work;
  std::ostringstream terminal;
  std::ostringstream questions;
  InstallLog log{terminal};
};

TEST_F(PackageInstallerTest, DataOfFoldersAndLinksCountsAgainstTheCeilingLikeThatOfFiles) {
  const PackageLimits small{100, 10000};
  EXPECT_EQ(Install(TestPackage(Demo()).File("big", std::string(20000, 'x')), small), InstallerStatus::Failure);
  EXPECT_EQ(Install(TestPackage(Demo()).Raw("folder", '5', std::string(20000, 'x')), small), InstallerStatus::Failure);
  EXPECT_EQ(Install(TestPackage(Demo()).Raw("link", '2', std::string(20000, 'x'), "bin/demo"), small), InstallerStatus::Failure);
  EXPECT_EQ(CountOf(terminal.str(), "larger than an installation may be"), 3u) << terminal.str();
  EXPECT_FALSE(fs::exists(home.File("programs/Demo")));
  // Below the ceiling the same package installs.
  EXPECT_EQ(Install(TestPackage(Demo()).File("small", std::string(5000, 'x')), small), InstallerStatus::Success);
  EXPECT_TRUE(fs::exists(home.File("programs/Demo/small")));
  TestPackage many = Demo();
  for (int i = 0; i < 100; ++i) many.File("f" + std::to_string(i), "x");
  EXPECT_EQ(Install(many, small), InstallerStatus::Failure);
}

TEST_F(PackageInstallerTest, NamesAndVersionsFromThePackageReachTerminalAndLogWithoutControls) {
  EXPECT_EQ(Install(TestPackage(Demo()).File("\x1b]2;owned\x07\nForged\tError/../../evil", "x")), InstallerStatus::Failure);
  EXPECT_EQ(Install(Demo("1\x1b[2J\x1b]0;t\x07")), InstallerStatus::Success);
  EXPECT_NE(terminal.str().find("refused entry \"?]2;owned??Forged?Error/../../evil\""), std::string::npos) << terminal.str();
  const std::string logged = ReadFileBytes(work.File("install.log"));
  for (const std::string& text : {terminal.str(), logged}) {
    EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;
    EXPECT_EQ(text.find('\x07'), std::string::npos) << text;
    EXPECT_EQ(text.find("\nForged"), std::string::npos) << text;
  }
  EXPECT_NE(logged.find("installed Demo 1?[2J?]0;t? in "), std::string::npos) << logged << terminal.str();
}

}  // namespace
