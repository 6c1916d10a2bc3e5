// larkstore wab import and export: cards in, the same cards out as the sync would send them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sys/wait.h>

#include "tests/stores/wab/WabStoreFixture.h"

namespace {

struct ToolRun {
  int status = -1;
  std::string output;
};

// `shell` goes before the command (a limit of the shell's).
ToolRun RunTool(const std::string& arguments, const std::string& shell = "") {
  ToolRun run;
  FILE* pipe = ::popen((shell + std::string(LARK_TOOL) + " wab " + arguments + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return run;
  char chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) run.output.append(chunk, got);
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// The card part of a corpus reference.
std::string StoredCardOf(const std::string& corpusFile) {
  const std::string reference = ReadFileBytes(std::string(LARK_TEST_DATA) + "/wab/" + corpusFile + ".ref");
  const std::string marker = "# vCard of the stored contact\n";
  return reference.substr(reference.find(marker) + marker.size());
}

TEST_F(WabStoreTest, ExportGivesBackTheImportedCardsAsTheSyncSendsThem) {
  const std::string file = mDir.File("in.vcf");
  WriteFileBytes(file, ReadFileBytes(std::string(LARK_TEST_DATA) + "/wab/preferred-fax.vcf") + "\r\n" +
                           ReadFileBytes(std::string(LARK_TEST_DATA) + "/wab/full-contact.vcf"));
  const ToolRun imported = RunTool("import " + file);
  ASSERT_EQ(imported.status, 0);
  EXPECT_EQ(std::count(imported.output.begin(), imported.output.end(), '\n'), 2);
  EXPECT_EQ(EntryCount(), 2u);

  // The book lists its contacts by display name.
  const std::string expected = StoredCardOf("full-contact.vcf") + StoredCardOf("preferred-fax.vcf");
  const ToolRun exported = RunTool("export");
  ASSERT_EQ(exported.status, 0);
  EXPECT_EQ(exported.output, expected);
  ASSERT_EQ(RunTool("export " + mDir.File("out.vcf")).status, 0);
  EXPECT_EQ(ReadFileBytes(mDir.File("out.vcf")), expected);

  // Exported again over that file on a full disk (no file may grow): it stays whole.
  EXPECT_EQ(RunTool("export " + mDir.File("out.vcf"), "ulimit -f 0; trap '' XFSZ; ").status, 1);
  EXPECT_EQ(ReadFileBytes(mDir.File("out.vcf")), expected);
}

// A group card becomes a group of the cards it names (not a contact, which a sync would send).
TEST_F(WabStoreTest, ImportMakesAGroupCardAGroupOfItsMembers) {
  const std::string file = mDir.File("in.vcf");
  WriteFileBytes(file,
                 "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:urn:uuid:card-1\r\nFN:Ann Member\r\nN:Member;Ann;;;\r\nEND:VCARD\r\n"
                 "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:card-2\r\nFN:Bob Other\r\nN:Other;Bob;;;\r\nEND:VCARD\r\n"
                 "BEGIN:VCARD\r\nVERSION:3.0\r\nX-ADDRESSBOOKSERVER-KIND:group\r\nFN:Friends\r\nN:Friends;;;;\r\n"
                 "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:card-1\r\nX-ADDRESSBOOKSERVER-MEMBER:urn:uuid:card-404\r\nEND:VCARD\r\n");
  const ToolRun imported = RunTool("import " + file);
  ASSERT_EQ(imported.status, 0);
  const std::string ann = imported.output.substr(0, imported.output.find('\n'));
  EXPECT_EQ(EntryCount(), 3u);
  const std::string listed = RunTool("list").output;
  EXPECT_NE(listed.find("\tgroup\tFriends\n"), std::string::npos) << listed;
  const std::string group = listed.substr(0, listed.find("\tgroup\t"));
  const std::string shown = RunTool("show " + group.substr(group.rfind('\n') + 1)).output;
  const std::string annShown = RunTool("show PR_ZEP_ENTRYID=" + ann).output;
  const std::size_t at = annShown.find("PR_ENTRYID=");
  ASSERT_NE(at, std::string::npos) << annShown;
  const std::string annEntry = annShown.substr(at + 11, annShown.find('\n', at) - at - 11);
  // Its one member (0x66001102, the list's entries) is the card it names.
  EXPECT_NE(shown.find("\n0x66001102=" + annEntry + "\n"), std::string::npos) << shown;
  EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 6) << shown;
  EXPECT_EQ(RunTool("export").output.find("Friends"), std::string::npos) << "a group is no contact";
}

TEST_F(WabStoreTest, ImportReportsAFileItCannotReadAndABookItCannotOpen) {
  EXPECT_EQ(RunTool("import " + mDir.File("missing.vcf")).status, 1);
  WriteFileBytes(mDir.File("in.vcf"), "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:X\r\nEND:VCARD\r\n");
  WriteFileBytes(mDir.File("wab.conf"), "DLLPath=/nonexistent/lib.so\n");
  EXPECT_EQ(RunTool("import " + mDir.File("in.vcf")).status, 1);
  EXPECT_EQ(RunTool("export").status, 1);
}

}  // namespace
