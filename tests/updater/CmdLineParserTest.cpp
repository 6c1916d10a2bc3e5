// The helper's switch grammar, and the installer line and restart folder built from it.
#include <gtest/gtest.h>

#include "updater/CmdLineParser.h"
#include "updater/UpdateSequence.h"

namespace {

using Switches = std::map<std::string, std::string>;

TEST(CmdLineParser, SwitchesTakeTheNextNonSwitchAsValue) {
  struct Case {
    std::vector<std::string> arguments;
    Switches expected;
  };
  const std::vector<Case> cases = {
      {{}, {}},
      {{"/pid", "42", "/path", "/opt/q/larkspan", "/source", "p.msi"}, {{"pid", "42"}, {"path", "/opt/q/larkspan"}, {"source", "p.msi"}}},
      {{"-pid", "42", "-source", "p.msi"}, {{"pid", "42"}, {"source", "p.msi"}}},
      // A switch followed by a switch or by the end has the empty value.
      {{"/pid", "/source", "x.msi"}, {{"pid", ""}, {"source", "x.msi"}}},
      {{"/source"}, {{"source", ""}}},
      // A value that follows no switch is ignored; so is a second value.
      {{"stray", "/pid", "1", "2"}, {{"pid", "1"}}},
      // The first occurrence wins, names are case-sensitive, a lone prefix is the empty name.
      {{"/pid", "1", "/pid", "2", "/PID", "3"}, {{"pid", "1"}, {"PID", "3"}}},
      {{"/pid", "/pid", "5"}, {{"pid", ""}}},
      {{"/", "v"}, {{"", "v"}}},
      // An absolute path is a value, not a switch; a stray one is ignored like any value.
      {{"/tmp/x", "/path", "/home/u/My Programs/larkspan"}, {{"path", "/home/u/My Programs/larkspan"}}},
      {{"-source", "-/x.tgz"}, {{"source", "-/x.tgz"}}},
  };
  for (const Case& test : cases) {
    EXPECT_EQ(CmdLineParser(test.arguments).Switches(), test.expected) << ::testing::PrintToString(test.arguments);
  }
}

TEST(CmdLineParser, InstallerLineCarriesTheSourceUnchangedAsOneArgument) {
  const std::vector<std::string> tail = {"REINSTALLMODE=vamus", "/passive", "/L*v", "update.log"};
  auto expected = [&](const std::string& source) {
    std::vector<std::string> line{"/i", source};
    line.insert(line.end(), tail.begin(), tail.end());
    return line;
  };
  EXPECT_EQ(InstallerArguments(CmdLineParser({})), expected("Tarnwell_Sync_Installer.msi"));
  EXPECT_EQ(InstallerArguments(CmdLineParser({"/source", "My Package.tgz"})), expected("My Package.tgz"));
  EXPECT_EQ(InstallerArguments(CmdLineParser({"/source"})), expected(""));
}

TEST(CmdLineParser, RestartFolderIsThePathBeforeItsLastSeparator) {
  EXPECT_EQ(RestartFolder("/opt/quenor sync/larkspan"), "/opt/quenor sync");
  EXPECT_EQ(RestartFolder("/larkspan"), "");
  EXPECT_EQ(RestartFolder("larkspan"), "");
}

}  // namespace
