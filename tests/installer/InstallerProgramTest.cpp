// The lkinstall program on packages written by the tests: installation, upgrade by one swap,
// refused packages that leave the installed copy untouched, a process killed at each step of the
// swap, and removal by product code.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "platform/shell/InstallerStatus.h"
#include "tests/installer/TestPackage.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kCode = "{6F2D-11AA}";

// Every regular file and link below `root` with its content (a link: "-> target").
std::map<std::string, std::string> Tree(const std::string& root) {
  std::map<std::string, std::string> tree;
  if (!fs::exists(root)) return tree;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    const std::string relative = fs::relative(item.path(), root).string();
    if (item.is_symlink()) {
      tree[relative] = "-> " + fs::read_symlink(item.path()).string();
    } else if (item.is_regular_file()) {
      tree[relative] = ReadFileBytes(item.path().string());
    }
  }
  return tree;
}

TestPackage Version(const std::string& version) {
  TestPackage package;
  package.Manifest(kCode, version).Directory("bin").File("bin/demo", "#!/bin/sh\necho " + version + "\n", 0755);
  package.File("lang/resource.de.so", "de " + version).Link("bin/lang", "../lang");
  if (version == "1") package.File("only-in-1.txt", "old");
  return package;
}

class InstallerProgram : public ::testing::Test {
 protected:
  // The installer's code for a run: its exit status decoded.
  unsigned Run(const std::vector<std::string>& arguments, const std::vector<std::string>& environment = {}) {
    std::vector<std::string> env{"XDG_DATA_HOME=" + home.Path()};
    env.insert(env.end(), environment.begin(), environment.end());
    return InstallerCodeFromExitStatus(RunProgram(InstallerProgramPath(), arguments, env));
  }
  unsigned Install(const TestPackage& package, const std::vector<std::string>& more = {}) {
    package.Write(work.File("package.tgz"));
    std::vector<std::string> arguments{"/i", work.File("package.tgz"), "/passive", "/L*v", work.File("install.log")};
    arguments.insert(arguments.end(), more.begin(), more.end());
    return Run(arguments);
  }
  std::string Folder() const { return home.Path() + "lkinstall/programs/Demo/"; }
  std::string Record() const { return home.Path() + "lkinstall/" + kCode + ".product"; }
  // Nothing but the installation and its record: no staging folder, nothing written elsewhere.
  void ExpectNoLeftovers() const {
    for (const auto& item : fs::directory_iterator(home.Path() + "lkinstall/programs")) {
      EXPECT_EQ(item.path().filename(), "Demo") << "left beside the installation: " << item.path();
    }
    EXPECT_FALSE(fs::exists(home.Path() + "evil"));
    EXPECT_FALSE(fs::exists(work.File("evil")));
  }

  TempDir home;
  TempDir work;
};

TEST_F(InstallerProgram, InstallsFilesModesAndLinksAndRecordsTheProduct) {
  ASSERT_EQ(Install(Version("1")), 0u);
  EXPECT_EQ(ReadFileBytes(Folder() + "bin/demo"), "#!/bin/sh\necho 1\n");
  EXPECT_EQ(fs::status(Folder() + "bin/demo").permissions() & fs::perms::owner_exec, fs::perms::owner_exec);
  EXPECT_EQ(fs::read_symlink(Folder() + "bin/lang"), "../lang");
  EXPECT_NE(ReadFileBytes(Record()).find("InstallFolder=" + Folder()), std::string::npos);
  const std::string log = ReadFileBytes(work.File("install.log"));
  EXPECT_NE(log.find("installed Demo 1 in " + Folder()), std::string::npos) << log;
  ExpectNoLeftovers();
}

TEST_F(InstallerProgram, UpgradeReplacesTheWholeFolderInItsRecordedPlace) {
  const std::string elsewhere = work.Path() + "programs/demo";
  ASSERT_EQ(Install(Version("1"), {"INSTALLDIR=" + elsewhere}), 0u);
  ASSERT_EQ(Install(Version("2")), 0u);
  const auto tree = Tree(elsewhere);
  EXPECT_EQ(tree.at("lang/resource.de.so"), "de 2");
  EXPECT_EQ(tree.count("only-in-1.txt"), 0u) << "files of the old version stayed";
  EXPECT_FALSE(fs::exists(Folder()));
  EXPECT_EQ(fs::directory_iterator(work.Path() + "programs")->path().filename(), "demo");
}

TEST_F(InstallerProgram, RefusedPackagesFailWithTheOldInstallationUntouched) {
  ASSERT_EQ(Install(Version("1")), 0u);
  const auto before = Tree(Folder());
  struct Case {
    const char* name;
    TestPackage package;
    bool truncated = false;
  };
  std::vector<Case> cases;
  cases.push_back({"parent path", TestPackage(Version("2")).File("../evil", "x")});
  cases.push_back({"parent inside a path", TestPackage(Version("2")).File("bin/../../evil", "x")});
  cases.push_back({"absolute path", TestPackage(Version("2")).File(home.Path() + "evil", "x")});
  cases.push_back({"link out of the folder", TestPackage(Version("2")).Link("evil", "../../../evil")});
  cases.push_back({"absolute link", TestPackage(Version("2")).Link("passwd", "/etc/passwd")});
  // Each link reads as inside; followed through "x" -> "." the second climbs out.
  cases.push_back({"link through a link", TestPackage(Version("2")).Link("x", ".").Link("up", "x/x/x/..")});
  cases.push_back({"write through a link", TestPackage(Version("2")).Link("x", ".").Link("d", "x/x/..").File("d/evil", "x")});
  cases.push_back({"hard link", TestPackage(Version("2")).HardLink("h", "/etc/passwd")});
  cases.push_back({"no manifest", TestPackage().File("bin/demo", "2")});
  cases.push_back({"truncated", Version("2"), true});
  // The manifest read after the swap must be the one inspected: a regular file at the top.
  cases.push_back({"manifest replaced by a link", TestPackage(Version("2")).Link("product.manifest", "lang/resource.de.so")});
  cases.push_back({"manifest as a folder", TestPackage(Version("2")).File("product.manifest/x", "x")});
  // A name like the installer's own hidden folders beside the installation.
  TestPackage staging;
  staging.File("product.manifest", std::string("ProductCode=") + kCode + "\nProductName=.Demo.lkinstall-staging\nProductVersion=2\n");
  cases.push_back({"hidden product name", staging});
  for (const Case& test : cases) {
    test.package.Write(work.File("bad.tgz"));
    if (test.truncated) fs::resize_file(work.File("bad.tgz"), fs::file_size(work.File("bad.tgz")) / 2);
    EXPECT_EQ(Run({"/i", work.File("bad.tgz"), "/passive"}), 1603u) << test.name;
    EXPECT_EQ(Tree(Folder()), before) << test.name;
    ExpectNoLeftovers();
  }
  // Bytes changed where only the gzip trailer notices: its CRC, its length, data after it.
  const std::string good = Version("2").Compressed();
  std::string badCrc = good;
  badCrc[badCrc.size() - 8] = static_cast<char>(badCrc[badCrc.size() - 8] ^ 1);
  std::string badLength = good;
  badLength[badLength.size() - 4] = static_cast<char>(badLength[badLength.size() - 4] ^ 1);
  for (const std::string& changed : {badCrc, badLength, good + "appended"}) {
    WriteFileBytes(work.File("changed.tgz"), changed);
    EXPECT_EQ(Run({"/i", work.File("changed.tgz"), "/passive", "/L*v", work.File("changed.log")}), 1603u);
    EXPECT_EQ(Tree(Folder()), before);
    ExpectNoLeftovers();
  }
  EXPECT_NE(ReadFileBytes(work.File("changed.log")).find("after the end of the compressed package"), std::string::npos);
  WriteFileBytes(work.File("plain.tgz"), "not a package at all");
  EXPECT_EQ(Run({"/i", work.File("plain.tgz"), "/passive"}), 1603u);
  EXPECT_EQ(Run({"/i", work.File("missing.tgz"), "/passive"}), 1619u);
  EXPECT_EQ(Tree(Folder()), before);
}

// The update helper names the product it updates: a package of another product is refused.
TEST_F(InstallerProgram, APackageOfAnotherProductThanTheOneNamedIsRefused) {
  ASSERT_EQ(Install(Version("1")), 0u);
  const auto before = Tree(Folder());
  EXPECT_EQ(Install(Version("2"), {"PRODUCTCODE={0THER-PRODUCT}"}), 1603u);
  EXPECT_EQ(Tree(Folder()), before);
  EXPECT_NE(ReadFileBytes(work.File("install.log")).find("not of {0THER-PRODUCT}"), std::string::npos);
  EXPECT_EQ(Install(Version("2"), {std::string("PRODUCTCODE=") + kCode}), 0u);
  EXPECT_EQ(Tree(Folder()).at("lang/resource.de.so"), "de 2");
  struct stat info {};
  ASSERT_EQ(::stat(work.File("install.log").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(InstallerProgram, AFolderHoldingSomethingElseIsNeverReplaced) {
  const std::string foreign = work.Path() + "documents/";
  fs::create_directories(foreign);
  WriteFileBytes(foreign + "thesis.txt", "precious");
  EXPECT_EQ(Install(Version("1"), {"INSTALLDIR=" + foreign}), 1603u);
  EXPECT_EQ(ReadFileBytes(foreign + "thesis.txt"), "precious");
  EXPECT_EQ(Tree(foreign).size(), 1u);
}

TEST_F(InstallerProgram, KilledAtAnyStepOfTheSwapLeavesOneWholeVersionAndTheNextRunSucceeds) {
  for (const char* step : {"unpacked", "swapped"}) {
    TempDir fresh;
    const std::vector<std::string> env{"XDG_DATA_HOME=" + fresh.Path()};
    const std::string folder = fresh.Path() + "lkinstall/programs/Demo/";
    Version("1").Write(work.File("v1.tgz"));
    Version("2").Write(work.File("v2.tgz"));
    ASSERT_EQ(RunProgram(InstallerProgramPath(), {"/i", work.File("v1.tgz"), "/passive"}, env), 0);
    const auto one = Tree(folder);
    auto killed = env;
    killed.push_back(std::string("LKINSTALL_STOP_AT=") + step);
    EXPECT_EQ(RunProgram(InstallerProgramPath(), {"/i", work.File("v2.tgz"), "/passive"}, killed), -1) << step;
    const auto after = Tree(folder);
    const bool wholeOld = after == one;
    EXPECT_TRUE(wholeOld || (after.at("lang/resource.de.so") == "de 2" && after.count("only-in-1.txt") == 0 && after.size() == 4))
        << step << ": a mix of versions";
    EXPECT_EQ(wholeOld, std::string(step) == "unpacked") << step;
    ASSERT_EQ(RunProgram(InstallerProgramPath(), {"/i", work.File("v2.tgz"), "/passive"}, env), 0) << step;
    EXPECT_EQ(Tree(folder).at("lang/resource.de.so"), "de 2");
    EXPECT_EQ(std::distance(fs::directory_iterator(fresh.Path() + "lkinstall/programs"), fs::directory_iterator()), 1) << step;
  }
}

TEST_F(InstallerProgram, RemovesTheInstallationWithItsCodeAndKnowsNoOther) {
  ASSERT_EQ(Install(Version("1")), 0u);
  EXPECT_EQ(Run({"/x", "{OTHER}", "/passive"}), 1605u);
  EXPECT_EQ(Run({"/x", "", "/passive"}), 1605u);
  EXPECT_EQ(Run({"/x", "../../x", "/passive"}), 1605u);
  EXPECT_TRUE(fs::exists(Folder() + "bin/demo"));
  // Killed while removing: the program is gone whole; removing again is not needed but harmless.
  EXPECT_EQ(Run({"/x", kCode, "/passive"}, {"LKINSTALL_STOP_AT=removing"}), 1603u);
  EXPECT_FALSE(fs::exists(Folder()));
  EXPECT_EQ(Run({"/x", kCode, "/passive"}), 0u);
  EXPECT_FALSE(fs::exists(Record()));
  EXPECT_EQ(Run({"/x", kCode, "/passive"}), 1605u);
  ASSERT_EQ(Install(Version("2")), 0u);
  ExpectNoLeftovers();
}

// A package's desktop entry goes into the user's applications folder with the installed program
// and icon (quoted for a folder with spaces, "$" and "%"), and leaves with the installation; an
// entry that another installation wrote under the same name stays.
TEST_F(InstallerProgram, DesktopEntryFollowsTheInstallationIntoTheApplicationsMenu) {
  TestPackage package = Version("1");
  package.File("demo.desktop", "[Desktop Entry]\nType=Application\nName=Demo\nExec=demo --flag\nTryExec=demo\nIcon=demo\n"
                               "[Desktop Action Other]\nExec=other\n");
  const std::string folder = work.Path() + "odd dir $x 5%/";
  ASSERT_EQ(Install(package, {"INSTALLDIR=" + folder}), 0u);
  const std::string entryPath = home.Path() + "applications/demo.desktop";
  EXPECT_EQ(ReadFileBytes(entryPath), "[Desktop Entry]\nType=Application\nName=Demo\nExec=\"" + work.Path() +
                                          "odd dir \\\\$x 5%%/demo\" --flag\nTryExec=" + folder + "demo\nIcon=" + folder +
                                          "demo.png\n[Desktop Action Other]\nExec=other\n");
  EXPECT_EQ(fs::status(entryPath).permissions() & fs::perms::others_read, fs::perms::others_read);

  ASSERT_EQ(Run({"/x", kCode, "/passive"}), 0u);
  EXPECT_FALSE(fs::exists(entryPath)) << "the menu entry outlived the program";

  ASSERT_EQ(Install(package), 0u);
  const std::string others = "[Desktop Entry]\nType=Application\nName=Demo\nExec=\"/opt/other/demo\"\n";
  WriteFileBytes(entryPath, others);
  ASSERT_EQ(Run({"/x", kCode, "/passive"}), 0u);
  EXPECT_EQ(ReadFileBytes(entryPath), others);
}

TEST_F(InstallerProgram, ACommandLineItCannotReadOrALogItCannotWriteChangeNothing) {
  EXPECT_EQ(Run({"/i"}), 1639u);
  EXPECT_EQ(Run({"/frobnicate"}), 1639u);
  Version("1").Write(work.File("p.tgz"));
  EXPECT_EQ(Run({"/i", work.File("p.tgz"), "/L*v", work.File("no/such/folder/log")}), 1622u);
  EXPECT_FALSE(fs::exists(Folder()));
  // Without "/passive" and without a terminal nobody can be asked: it installs.
  EXPECT_EQ(Run({"/i", work.File("p.tgz")}), 0u);
}

}  // namespace
