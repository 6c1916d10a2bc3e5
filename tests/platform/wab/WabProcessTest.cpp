// Two processes on one book: identifiers seen alike, the larkstore tool editing while a connection
// is open, and a writer killed in the middle of a save.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <csignal>
#include <fcntl.h>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/wab/WabPtr.h"
#include "tests/platform/wab/WabTestBook.h"

namespace {

// Runs `body` in a forked child that ends with its return value as exit status.
pid_t ForkChild(const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  return pid;
}

int WaitExit(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct ToolResult {
  int exitCode = -1;
  std::string output;
};

// The larkstore program: built with the tests when both of its subcommands exist, else named by
// $LARK_TOOL for a run by hand.
std::string ToolPath() {
#ifdef LARK_TOOL
  return LARK_TOOL;
#else
  const char* path = std::getenv("LARK_TOOL");
  return path != nullptr ? path : "";
#endif
}

ToolResult RunTool(const std::vector<std::string>& args) {
  const std::string tool = ToolPath();
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipeFds[1], STDOUT_FILENO);
    close(pipeFds[0]);
    close(pipeFds[1]);
    std::vector<char*> argv{const_cast<char*>(tool.c_str()), const_cast<char*>("wab")};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(tool.c_str(), argv.data());
    _exit(127);
  }
  close(pipeFds[1]);
  ToolResult result;
  char chunk[4096];
  for (ssize_t got; (got = read(pipeFds[0], chunk, sizeof chunk)) > 0;) result.output.append(chunk, static_cast<std::size_t>(got));
  close(pipeFds[0]);
  result.exitCode = WaitExit(pid);
  return result;
}

std::optional<EntryBytes> ParseHexForTest(const std::string& line) {
  EntryBytes bytes;
  for (std::size_t i = 0; i + 1 < line.size() && line[i] != '\n'; i += 2) {
    bytes.push_back(static_cast<BYTE>(std::stoi(line.substr(i, 2), nullptr, 16)));
  }
  if (bytes.empty()) return std::nullopt;
  return bytes;
}

constexpr int kBulkProperties = 1500;
constexpr std::size_t kBulkValueSize = 100;

// A contact whose every bulk property and display name carry `letter`: a half-written save
// would mix letters.
PropValues Version(char letter) {
  PropValues values;
  values.Text(PR_DISPLAY_NAME, std::string("Version ") + letter);
  for (int i = 0; i < kBulkProperties; ++i) values.Text(PROP_TAG(PT_UNICODE, 0x8000 + i), std::string(kBulkValueSize, letter));
  return values;
}

// The one letter the entry holds throughout, or '\0' when its properties disagree or are missing.
char VersionOf(WabConnection& book, const EntryBytes& id) {
  WabRef<IMAPIProp> entry(OpenEntry(book, id));
  if (!entry) return '\0';
  ULONG count = 0;
  WabBuffer<SPropValue> values(book.Allocator());
  if (entry->GetProps(nullptr, MAPI_UNICODE, &count, values.Put()) != S_OK) return '\0';
  std::map<ULONG, std::u16string> texts;
  for (ULONG i = 0; i < count; ++i) {
    if (PROP_TYPE(values.Get()[i].ulPropTag) == PT_UNICODE) texts[PROP_ID(values.Get()[i].ulPropTag)] = values.Get()[i].Value.lpszW;
  }
  const std::u16string name = texts[PROP_ID(PR_DISPLAY_NAME)];
  if (texts.size() != kBulkProperties + 1 || name.size() != 9) return '\0';
  const char16_t letter = name.back();
  for (int i = 0; i < kBulkProperties; ++i) {
    if (texts[0x8000 + i] != std::u16string(kBulkValueSize, letter)) return '\0';
  }
  return static_cast<char>(letter);
}

std::string IntegrityOf(const std::string& path) {
  sqlite3* db = nullptr;
  std::string result = "cannot open";
  if (sqlite3_open(path.c_str(), &db) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW) {
      result = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    }
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return result;
}

}  // namespace

TEST(WabProcesses, AnotherProcessSeesTheSameIdentifiers) {
  TestBook book;
  std::vector<TableRow> mine;
  {
    auto connection = book.Connect();
    ASSERT_TRUE(connection->IsOpen());
    for (const char* name : {"Ada", "Bo", "Cy"}) CreateEntry(*connection, PR_DEF_CREATE_MAILUSER, PropValues().Text(PR_DISPLAY_NAME, name));
    mine = WalkContents(*connection);
  }
  const std::string report = book.Dir().File("child.txt");
  const pid_t child = ForkChild([&] {
    auto connection = book.Connect();
    if (!connection->IsOpen()) return 2;
    std::string lines;
    for (const TableRow& row : WalkContents(*connection)) lines += HexOf(row.id) + " " + row.displayName + "\n";
    WriteFileBytes(report, lines);
    return 0;
  });
  ASSERT_EQ(0, WaitExit(child));
  std::string expected;
  for (const TableRow& row : mine) expected += HexOf(row.id) + " " + row.displayName + "\n";
  EXPECT_EQ(expected, ReadFileBytes(report));
}

TEST(WabProcesses, WriterKilledDuringSavesLeavesEachEntryWholeOldOrNew) {
  TestBook book;
  EntryBytes id;
  {
    auto connection = book.Connect();
    ASSERT_TRUE(connection->IsOpen());
    id = CreateEntry(*connection, PR_DEF_CREATE_MAILUSER, Version('A'));
  }
  std::mt19937 random(12345);
  for (int round = 0; round < 6; ++round) {
    int ready[2];
    ASSERT_EQ(0, pipe(ready));
    const pid_t writer = ForkChild([&] {
      close(ready[0]);
      auto connection = book.Connect();
      WabRef<IMAPIProp> entry(connection->IsOpen() ? OpenEntry(*connection, id) : nullptr);
      if (!entry) return 2;
      PropValues versions[] = {Version('B'), Version('C')};
      for (int save = 0;; ++save) {
        PropValues& values = versions[save % 2];
        if (entry->SetProps(values.Count(), values.Data(), nullptr) != S_OK || entry->SaveChanges(0) != S_OK) return 3;
        if (save == 0 && write(ready[1], "!", 1) != 1) return 4;  // one save is in: the kill lands among the next
      }
    });
    close(ready[1]);
    char signal = 0;
    ASSERT_EQ(1, read(ready[0], &signal, 1)) << "the writer did not save";
    close(ready[0]);
    std::this_thread::sleep_for(std::chrono::milliseconds(random() % 40));
    kill(writer, SIGKILL);
    int status = 0;
    waitpid(writer, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself with " << WEXITSTATUS(status);

    auto reader = book.Connect();
    ASSERT_TRUE(reader->IsOpen()) << "round " << round;
    const char version = VersionOf(*reader, id);
    EXPECT_TRUE(version == 'B' || version == 'C') << "round " << round << ": properties of different saves mixed";
    EXPECT_EQ(1u, WalkContents(*reader).size());
  }
  EXPECT_EQ("ok", IntegrityOf(book.BookPath()));
}

TEST(WabProcesses, ToolEditsWhileAConnectionIsOpenAndTheConnectionSeesIt) {
  if (ToolPath().empty()) GTEST_SKIP() << "larkstore is not built";
  TestBook book;
  auto connection = book.Connect();
  ASSERT_TRUE(connection->IsOpen());
  const EntryBytes id = CreateEntry(*connection, PR_DEF_CREATE_MAILUSER,
                                    PropValues().Text(PR_DISPLAY_NAME, "Before").Text(PR_ZEP_ENTRYID, "1765000000_1"));
  WabRef<IMAPIProp> held(OpenEntry(*connection, id));
  const LONGLONG before = GetTime(*connection, held.Get(), PR_LAST_MODIFICATION_TIME).value_or(0);

  ToolResult set = RunTool({"set", HexOf(id), "PR_DISPLAY_NAME=After", "PR_CONTACT_EMAIL_ADDRESSES=a@example.org",
                            "PR_CONTACT_EMAIL_ADDRESSES=b@example.org"});
  ASSERT_EQ(0, set.exitCode) << set.output;
  WabRef<IMAPIProp> reread(OpenEntry(*connection, id));
  EXPECT_EQ("After", GetText(*connection, reread.Get(), PR_DISPLAY_NAME));
  EXPECT_EQ("1765000000_1", GetText(*connection, reread.Get(), PR_ZEP_ENTRYID));
  EXPECT_GT(GetTime(*connection, reread.Get(), PR_LAST_MODIFICATION_TIME).value_or(0), before);

  ToolResult add = RunTool({"add", "PR_DISPLAY_NAME=Added by tool", "PR_ZEP_ENTRYID=1765000000_2"});
  ASSERT_EQ(0, add.exitCode);
  const std::vector<TableRow> rows = WalkContents(*connection);
  ASSERT_EQ(2u, rows.size());
  EXPECT_EQ("Added by tool", rows[0].displayName);
  EXPECT_EQ(HexOf(rows[0].id) + "\n", add.output);

  ToolResult list = RunTool({"list"});
  ASSERT_EQ(0, list.exitCode);
  EXPECT_EQ(HexOf(rows[0].id) + "\tcontact\tAdded by tool\n" + HexOf(id) + "\tcontact\tAfter\n", list.output);

  ToolResult show = RunTool({"show", "PR_ZEP_ENTRYID=1765000000_1"});
  ASSERT_EQ(0, show.exitCode);
  EXPECT_NE(std::string::npos, show.output.find("PR_DISPLAY_NAME=After\n"));
  EXPECT_NE(std::string::npos, show.output.find("PR_CONTACT_EMAIL_ADDRESSES=a@example.org\nPR_CONTACT_EMAIL_ADDRESSES=b@example.org\n"));
  EXPECT_NE(std::string::npos, show.output.find("PR_ENTRYID=" + HexOf(id) + "\n"));

  ToolResult group = RunTool({"add", "--group", "PR_DISPLAY_NAME=Team", "0x66001102=" + HexOf(id)});
  ASSERT_EQ(0, group.exitCode);
  ULONG type = 0;
  WabRef<IMAPIProp> team(OpenEntry(*connection, *ParseHexForTest(group.output), &type));
  EXPECT_EQ(MAPI_DISTLIST, type);
  EXPECT_EQ(0, RunTool({"unset", HexOf(id), "PR_CONTACT_EMAIL_ADDRESSES"}).exitCode);
  EXPECT_EQ(1, RunTool({"set", HexOf(id), "PR_NO_SUCH_NAME=1"}).exitCode);
  EXPECT_EQ(1, RunTool({"set", HexOf(id), "PR_DISPLAY_NAME=Never", "PR_ENTRYID=00"}).exitCode);  // computed
  WabRef<IMAPIProp> edited(OpenEntry(*connection, id));
  EXPECT_EQ("After", GetText(*connection, edited.Get(), PR_DISPLAY_NAME));
  TagList emails{PROP_TAG(PT_MV_UNICODE, 0x3A56)};
  ULONG count = 0;
  WabBuffer<SPropValue> values(connection->Allocator());
  ASSERT_EQ(MAPI_W_ERRORS_RETURNED, edited->GetProps(emails.Get(), MAPI_UNICODE, &count, values.Put()));
  EXPECT_EQ(PROP_TAG(PT_ERROR, 0x3A56), values->ulPropTag);

  ToolResult remove = RunTool({"delete", HexOf(id)});
  ASSERT_EQ(0, remove.exitCode);
  EXPECT_EQ(MAPI_E_OBJECT_DELETED, held->SaveChanges(0));
  EXPECT_EQ(2u, WalkContents(*connection).size());
  EXPECT_EQ(1, RunTool({"show", HexOf(id)}).exitCode);
}
