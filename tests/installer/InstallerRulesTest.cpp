// Entry paths and link targets a package may hold, the installer's command line, the manifest,
// and the exit status that carries an installer code.
#include <gtest/gtest.h>

#include "platform/installer/InstallerCommandLine.h"
#include "platform/installer/PackageRules.h"
#include "platform/installer/ProductManifest.h"
#include "platform/shell/InstallerStatus.h"

namespace {

TEST(PackageRules, EntryPathsThatStayInsideAreMadePlainOthersRefused) {
  EXPECT_EQ(SafeEntryPath("./bin/larkspan"), "bin/larkspan");
  EXPECT_EQ(SafeEntryPath("bin//lang/"), "bin/lang");
  EXPECT_EQ(SafeEntryPath("./"), "");
  EXPECT_EQ(SafeEntryPath("a..b/..c"), "a..b/..c");
  for (const char* unsafe : {"/etc/passwd", "../x", "bin/../../x", "bin/..", "", "//x"}) {
    EXPECT_EQ(SafeEntryPath(unsafe), std::nullopt) << unsafe;
  }
  EXPECT_EQ(SafeEntryPath(std::string_view("a\0b", 3)), std::nullopt);
}

TEST(PackageRules, LinkTargetsMayClimbOnlyWithinTheFolder) {
  EXPECT_TRUE(LinkTargetStaysInside("lib/libx.so", "libx.so.1"));
  EXPECT_TRUE(LinkTargetStaysInside("bin/tool", "../lib/tool"));
  EXPECT_TRUE(LinkTargetStaysInside("a/b/c", "../../d"));
  EXPECT_FALSE(LinkTargetStaysInside("tool", "../tool"));
  EXPECT_FALSE(LinkTargetStaysInside("a/b/c", "../../../d"));
  EXPECT_FALSE(LinkTargetStaysInside("bin/x", "/usr/bin/x"));
  EXPECT_FALSE(LinkTargetStaysInside("bin/x", ""));
  EXPECT_FALSE(LinkTargetStaysInside("", "x"));
}

TEST(InstallerCommandLine, ReadsTheLineTheUpdateHelperWrites) {
  const auto line = InstallerCommandLine::Parse({"/i", "Pkg 1.tgz", "REINSTALLMODE=vamus", "/passive", "/L*v", "update.log"});
  ASSERT_TRUE(line);
  EXPECT_EQ(line->action, InstallerAction::Install);
  EXPECT_EQ(line->subject, "Pkg 1.tgz");
  EXPECT_TRUE(line->passive);
  EXPECT_EQ(line->logPath, "update.log");
  EXPECT_EQ(line->Property("REINSTALLMODE"), "vamus");
  EXPECT_EQ(line->Property("INSTALLDIR"), "");
}

TEST(InstallerCommandLine, SwitchesInAnyCaseAndEitherPrefixRemovalWithAnEmptyCode) {
  const auto line = InstallerCommandLine::Parse({"-X", "", "/QN", "installdir=/opt/x"});
  ASSERT_TRUE(line);
  EXPECT_EQ(line->action, InstallerAction::Remove);
  EXPECT_EQ(line->subject, "");
  EXPECT_TRUE(line->passive);
  EXPECT_EQ(line->Property("INSTALLDIR"), "/opt/x");
  EXPECT_FALSE(InstallerCommandLine::Parse({"/x", "{A}"})->passive);
}

TEST(InstallerCommandLine, LinesWithoutExactlyOneActionOrWithUnknownPartsAreInvalid) {
  const std::vector<std::vector<std::string>> invalid = {
      {}, {"/passive"}, {"/i"}, {"/i", "a", "/x", "b"}, {"/i", "a", "/L*v"}, {"/i", "a", "/z"}, {"/i", "a", "stray"}, {"/i", "a", "=v"},
  };
  for (const auto& arguments : invalid) EXPECT_FALSE(InstallerCommandLine::Parse(arguments)) << ::testing::PrintToString(arguments);
}

TEST(ProductManifest, NeedsCodeNameAndVersionUsableInFileNames) {
  const auto manifest = ProductManifest::Parse("# made by the build\r\nProductCode={6F2D-11AA}\r\nProductName=QuenorSync\r\nProductVersion=1.2.0\r\nOther=x\r\n");
  ASSERT_TRUE(manifest);
  EXPECT_EQ(manifest->productCode, "{6F2D-11AA}");
  EXPECT_EQ(ProductManifest::Parse(manifest->Text()), manifest);
  EXPECT_FALSE(ProductManifest::Parse("ProductCode=../x\nProductName=Q\nProductVersion=1\n"));
  EXPECT_FALSE(ProductManifest::Parse("ProductCode=A\nProductName=..\nProductVersion=1\n"));
  EXPECT_FALSE(ProductManifest::Parse("ProductCode=A\nProductName=a/b\nProductVersion=1\n"));
  EXPECT_FALSE(ProductManifest::Parse("ProductCode=A\nProductName=Q\n"));
}

TEST(InstallerStatus, InstallerCodesSurviveTheEightBitExitStatus) {
  for (unsigned code : {0u, 1602u, 1603u, 1605u, 1618u, 1619u, 1639u, 2u, 13u}) {
    const int status = InstallerExitStatus(code);
    EXPECT_GE(status, 0);
    EXPECT_LE(status, 255);
    EXPECT_EQ(InstallerCodeFromExitStatus(status), code);
  }
  EXPECT_EQ(InstallerCodeFromExitStatus(-1), 1603u);
}

}  // namespace
