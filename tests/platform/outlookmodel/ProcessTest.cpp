// Two processes on one profile: the tool changes an item while this process holds the profile
// open, and a writer killed in the middle of its saves leaves the profile readable and whole.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sqlite3.h>

#include <array>
#include <chrono>
#include <thread>

#include "platform/outlookmodel/ItemSchema.h"
#include "tests/platform/outlookmodel/OutlookFixture.h"

namespace {

struct RunResult {
  int status = -1;
  std::string out;
};

// Runs the tool's outlook commands in a child process and collects its output.
RunResult RunTool(const std::vector<std::string>& args) {
  std::string command = OUTLOOKMODEL_RUNNER;
  for (const std::string& arg : args) command += " '" + arg + "'";
  RunResult result;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  std::array<char, 4096> buffer{};
  while (fgets(buffer.data(), buffer.size(), pipe) != nullptr) result.out += buffer.data();
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// A child process rewriting contact `id` until killed; its output lines report each save.
struct ChurnWriter {
  pid_t pid = -1;
  FILE* lines = nullptr;

  explicit ChurnWriter(const std::string& id) {
    int output[2];
    if (pipe(output) != 0) return;
    pid = fork();
    if (pid == 0) {
      dup2(output[1], STDOUT_FILENO);
      close(output[0]);
      execl(OUTLOOKMODEL_RUNNER, OUTLOOKMODEL_RUNNER, "--churn", id.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(output[1]);
    lines = fdopen(output[0], "r");
  }
  ~ChurnWriter() {
    Kill();
    if (lines != nullptr) fclose(lines);
  }
  // Waits until the writer reported `count` more saves; false when it stopped instead.
  bool WaitForSaves(int count) {
    char line[32];
    for (int saved = 0; saved < count; ++saved) {
      if (lines == nullptr || fgets(line, sizeof line, lines) == nullptr) return false;
    }
    return true;
  }
  // Kills the writer; true when it was still running (killed by the signal).
  bool Kill() {
    if (pid <= 0) return false;
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
    return WIFSIGNALED(status);
  }
};

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

bool ProfileIsIntact(const std::string& path) {
  sqlite3* db = nullptr;
  bool ok = false;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
    sqlite3_stmt* check = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr) == SQLITE_OK && sqlite3_step(check) == SQLITE_ROW) {
      ok = std::string(reinterpret_cast<const char*>(sqlite3_column_text(check, 0))) == "ok";
    }
    sqlite3_finalize(check);
  }
  sqlite3_close(db);
  return ok;
}

}  // namespace

class ProcessTest : public OutlookFixture {};

TEST_F(ProcessTest, ToolChangesAnItemWhileThisProcessHoldsTheProfileOpen) {
  const outlook::ContactItem held = NewContact("Before", "before@example.org");
  const outlook::Items items = Contacts().GetItems();
  ASSERT_EQ(items.GetCount(), 1);
  const double stamp = held.GetLastModificationTime();

  const RunResult run = RunTool({"set", held.GetEntryID(), "FileAs=After", "JobTitle=Editor"});
  ASSERT_EQ(run.status, 0) << run.out;

  EXPECT_EQ(held.GetFileAs(), "Before") << "an object already read keeps what it read";
  const outlook::ContactItem reread(items.Item(1));
  EXPECT_EQ(reread.GetFileAs(), "After");
  EXPECT_EQ(reread.GetJobTitle(), "Editor");
  EXPECT_EQ(reread.GetEmail1Address(), "before@example.org");
  EXPECT_GT(reread.GetLastModificationTime(), stamp);
}

TEST_F(ProcessTest, ToolListsFoldersAndCreatesShowsAndDeletesItems) {
  const RunResult folders = RunTool({"folders"});
  ASSERT_EQ(folders.status, 0) << folders.out;
  EXPECT_NE(folders.out.find(Contacts().GetEntryID() + "\t" + Contacts().GetStoreID() + "\t2\tPersonal Folders\\Contacts"),
            std::string::npos)
      << folders.out;

  const RunResult added = RunTool({"add", "Personal Folders/Calendar", "IPM.Appointment", "Subject=Standup",
                                   "Start=2024-03-04 09:00", "End=2024-03-04 09:15", "RecurrenceType=1",
                                   "DayOfWeekMask=2", "PatternEndDate=2024-03-25"});
  ASSERT_EQ(added.status, 0) << added.out;
  const std::string id = FirstLine(added.out);
  ASSERT_EQ(RunTool({"occurrence", id, "2024-03-11", "delete"}).status, 0);
  ASSERT_EQ(RunTool({"occurrence", id, "2024-03-18", "set", "Subject=Retro"}).status, 0);

  const RunResult shown = RunTool({"show", id});
  ASSERT_EQ(shown.status, 0) << shown.out;
  EXPECT_NE(shown.out.find("Subject=Standup\n"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("Exception1=2024-03-11 09:00:00 deleted\n"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("Exception2=2024-03-18 09:00:00 Retro\n"), std::string::npos) << shown.out;

  const outlook::AppointmentItem series(mNamespace.GetItemFromID(id, ""));
  EXPECT_EQ(series.GetRecurrencePattern().GetExceptions().GetCount(), 2);

  ASSERT_EQ(RunTool({"delete", id}).status, 0);
  EXPECT_EQ(Calendar().GetItems().GetCount(), 0);
  EXPECT_EQ(RunTool({"show", id}).status, 1);
  EXPECT_EQ(RunTool({"set", id}).status, 2);
  EXPECT_EQ(RunTool({"add", "contacts", "IPM.Contact", "NoSuchProperty=1"}).status, 2);
}

TEST_F(ProcessTest, SavesOfTwoProcessesAtOnceWaitForEachOtherInsteadOfFailing) {
  ChurnWriter writer(NewContact("0").GetEntryID());
  ASSERT_TRUE(writer.WaitForSaves(1)) << "the other process is writing";
  const outlook::ContactItem mine = NewContact("Mine");
  for (int n = 0; n < 30; ++n) {
    mine.SetNickName(std::to_string(n));
    ASSERT_NO_THROW(mine.Save()) << "save " << n;
  }
  EXPECT_TRUE(writer.WaitForSaves(1)) << "the other process went on writing";
  EXPECT_TRUE(writer.Kill());
  EXPECT_EQ(outlook::ContactItem(mNamespace.GetItemFromID(mine.GetEntryID(), "")).GetNickName(), "29");
}

TEST_F(ProcessTest, ToolAddsListMembersAndSetsTheProfileUser) {
  const outlook::ContactItem ann = NewContact("Ann", "ann@example.org");
  const RunResult list = RunTool({"add", "contacts", "IPM.DistList", "DLName=Friends"});
  ASSERT_EQ(list.status, 0) << list.out;
  ASSERT_EQ(RunTool({"member", FirstLine(list.out), "Ann", "zed@example.org"}).status, 0);
  const outlook::DistListItem stored(mNamespace.GetItemFromID(FirstLine(list.out), ""));
  ASSERT_EQ(stored.GetMemberCount(), 2);
  EXPECT_EQ(stored.GetMember(1).GetEntryID(), std::string(kContactReferencePrefix) + ann.GetEntryID());
  EXPECT_EQ(stored.GetMember(2).GetAddress(), "zed@example.org");

  ASSERT_EQ(RunTool({"user", "Pat Doe", "pat@example.org"}).status, 0);
  EXPECT_EQ(mNamespace.GetCurrentUser().GetAddress(), "pat@example.org");
  EXPECT_EQ(mNamespace.GetCurrentUser().GetName(), "Pat Doe");
}

TEST_F(ProcessTest, NotInstalledSwitchMakesTheToolFail) {
  ScopedEnv absent("LARK_OUTLOOK_NOT_INSTALLED", "1");
  const RunResult run = RunTool({"folders"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("Invalid class string"), std::string::npos) << run.out;
}

TEST_F(ProcessTest, WriterKilledMidSaveLeavesTheItemWholeEitherOldOrNew) {
  const std::string id = NewContact("0").GetEntryID();
  for (int round = 0; round < 4; ++round) {
    ChurnWriter writer(id);
    // Let the writer get going (three saves done), then kill it a few milliseconds into later ones.
    ASSERT_TRUE(writer.WaitForSaves(3));
    std::this_thread::sleep_for(std::chrono::milliseconds(3 * round + 1));
    ASSERT_TRUE(writer.Kill()) << "the writer was still writing when it was killed";

    ASSERT_TRUE(ProfileIsIntact(mProfile));
    const outlook::ContactItem stored(Logon(Connect()).GetItemFromID(id, ""));
    const std::string generation = stored.GetFileAs();
    for (const outlookmodel::PropertyDef& property : outlookmodel::PropertiesOf(outlookmodel::ItemKind::Contact)) {
      if (property.type != VariantType::String) continue;
      const std::string value = stored.GetText(property.id);
      EXPECT_EQ(value.substr(0, generation.size()), generation) << property.name << " in round " << round;
      EXPECT_TRUE(value.size() == generation.size() || property.id == OutlookId::kBody) << property.name;
    }
    EXPECT_GE(std::stoi(generation), 3) << "the saves the writer reported are in the profile";
  }
}
