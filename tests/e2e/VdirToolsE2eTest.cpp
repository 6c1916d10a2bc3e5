// The vdir store with the command-line contact, calendar and task programs the user keeps the
// collections with: they show what the first run brought, their additions, edits and deletions
// reach the server and change nothing else there, and a run after that moves nothing.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tests/e2e/E2eSupport.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kTools[] = {"khard", "khal", "todoman"};

bool OnPath(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// The server's contents without those holding `text`.
std::vector<std::string> Without(std::vector<std::string> contents, const std::string& text) {
  std::erase_if(contents, [&text](const std::string& content) { return content.find(text) != std::string::npos; });
  return contents;
}

bool Holds(const std::vector<std::string>& contents, const std::string& text) {
  return std::any_of(contents.begin(), contents.end(), [&text](const std::string& content) { return content.find(text) != std::string::npos; });
}

class VdirToolsE2eTest : public E2eTest {
 protected:
  void SetUp() override {
    for (const char* tool : kTools) {
      if (!OnPath(tool)) GTEST_SKIP() << tool << " is not installed (scripts/packages/vdirtools.txt)";
    }
    E2eTest::SetUp();
    if (IsSkipped()) return;
    mHome = mDir.Path() + "home/";
    const std::string root = mConf->VdirPath();
    for (const char* collection : {"contacts", "calendar", "tasks"}) fs::create_directories(root + "/" + collection);
    Write(".config/khard/khard.conf", "[addressbooks]\n[[main]]\npath = " + root + "/contacts/\n[general]\ndefault_action = list\n");
    Write(".config/khal/config",
          "[calendars]\n[[main]]\npath = " + root + "/calendar/\n[locale]\ntimeformat = %H:%M\ndateformat = %Y-%m-%d\n"
          "longdateformat = %Y-%m-%d\ndatetimeformat = %Y-%m-%d %H:%M\nlongdatetimeformat = %Y-%m-%d %H:%M\n"
          "local_timezone = Europe/Berlin\ndefault_timezone = Europe/Berlin\n[default]\ndefault_calendar = main\n");
    Write(".config/todoman/config.py", "path = \"" + root + "/tasks\"\ndate_format = \"%Y-%m-%d\"\ntime_format = \"%H:%M\"\n"
                                       "default_list = \"tasks\"\n");
  }

  void Write(const std::string& file, const std::string& text) const {
    fs::create_directories(fs::path(mHome + file).parent_path());
    std::ofstream(mHome + file) << text;
  }

  // The id todoman gives the task `summary` in its list.
  std::string TodoId(const std::string& summary) const {
    std::string id = Run("todoman --porcelain list >tasks.json && python3 -c \"import json, sys; "
                         "print([t['id'] for t in json.load(open('tasks.json')) if t['summary'] == sys.argv[1]][0])\" \"" + summary + "\"");
    while (!id.empty() && (id.back() == '\n' || id.back() == '\r')) id.pop_back();
    return id;
  }

  // Runs `command` in the private home in the user's zone (Berlin); its standard output, `input`
  // on its standard input. Fails the test when it does not succeed.
  std::string Run(const std::string& command, const std::string& input = "") const {
    Write("input", input);
    const std::string environment = "export HOME='" + mHome + "' XDG_CONFIG_HOME='" + mHome + ".config' XDG_DATA_HOME='" + mHome +
                                    ".local/share' XDG_CACHE_HOME='" + mHome + ".cache' TZ=Europe/Berlin LC_ALL=C.UTF-8";
    const std::string line = "cd '" + mHome + "' && " + environment + " && { " + command + "; } <input 2>&1";
    std::string output;
    FILE* pipe = ::popen(line.c_str(), "r");
    if (pipe == nullptr) {
      ADD_FAILURE() << "cannot run " << command;
      return {};
    }
    char buffer[4096];
    for (std::size_t read; (read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, read);
    const int status = ::pclose(pipe);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command << ":\n" << output;
    return output;
  }

  void SyncOk() {
    const SyncRunOutcome outcome = Sync();
    ASSERT_TRUE(outcome.Succeeded()) << outcome.error;
  }

  // The file of the collection whose text holds `text`.
  std::string FileHolding(const std::string& collection, const std::string& text) const {
    for (const auto& entry : fs::directory_iterator(mConf->VdirPath() + "/" + collection)) {
      if (ReadFileBytes(entry.path().string()).find(text) != std::string::npos) return entry.path().string();
    }
    return {};
  }

  std::string mHome;
};

TEST_P(VdirToolsE2eTest, TheToolsShowTheServersItemsAndTheirChangesReachItWithNothingElseChanged) {
  // The server's items, as vCard 2.1 and vCalendar 1.0.
  WriteServer("contacts", "server-ada", VCard("Ada", "Lovelace", "TEL;WORK;VOICE:+44 20 7946 0001\r\n"));
  WriteServer("contacts", "server-alan", VCard("Alan", "Turing", "ORG:Bletchley Park\r\n"));
  WriteServer("contacts", "server-linus", VCard("Linus", "Pauling", "NOTE:Chemist\r\n"));
  WriteServer("events", "server-review", VEvent("Quarterly review", "20270112T090000Z", "20270112T103000Z"));
  WriteServer("events", "server-launch", VEvent("Launch", "20270301T140000Z", "20270301T150000Z"));
  WriteServer("events", "server-retro", VEvent("Retrospective", "20270115T130000Z", "20270115T140000Z"));
  WriteServer("tasks", "server-report", VTodo("Send the annual report", "20270131"));
  WriteServer("tasks", "server-taxes", VTodo("File taxes", "20270415"));
  SyncOk();

  const std::string contacts = Run("khard list");
  for (const char* name : {"Ada Lovelace", "Alan Turing", "Linus Pauling"}) EXPECT_NE(contacts.find(name), std::string::npos) << contacts;
  // Times in the user's zone: 09:00 UTC is 10:00 in Berlin in January.
  const std::string events = Run("khal list 2027-01-01 2027-03-31");
  EXPECT_NE(events.find("10:00-11:30 Quarterly review"), std::string::npos) << events;
  EXPECT_NE(events.find("15:00-16:00 Launch"), std::string::npos) << events;
  EXPECT_NE(events.find("14:00-15:00 Retrospective"), std::string::npos) << events;
  const std::string tasks = Run("todoman list");
  EXPECT_NE(tasks.find("2027-01-31 Send the annual report"), std::string::npos) << tasks;
  EXPECT_NE(tasks.find("2027-04-15 File taxes"), std::string::npos) << tasks;

  const std::vector<std::string> contactsBefore = ServerContents("contacts");
  const std::vector<std::string> eventsBefore = ServerContents("events");
  const std::vector<std::string> tasksBefore = ServerContents("tasks");

  // The user's changes, each made with the tool (khal edits and deletes only through its terminal
  // interface: its event's file is changed and deleted as that interface does).
  Run("khard new -a main", "First name : Grace\nLast name : Hopper\n");
  Write("edit.yaml", "First name : Alan\nLast name : Turing\nPhone :\n    cell : +1 202 555 0143\n");
  Run("khard edit -i edit.yaml Alan", "y\n");
  Run("khard remove --force Linus");
  Run("khal new -a main 2027-01-20 10:00 11:00 Planning");
  const std::string review = FileHolding("calendar", "Quarterly review");
  ASSERT_FALSE(review.empty());
  std::string reviewText = ReadFileBytes(review);
  reviewText.replace(reviewText.find("Quarterly review"), 16, "Quarterly review (Room 4)");
  WriteFileBytes(review + ".edit", reviewText);
  fs::rename(review + ".edit", review);
  fs::remove(FileHolding("calendar", "Retrospective"));
  Run("todoman new -l tasks -d 2027-02-01 Buy paper");
  Run("todoman edit " + TodoId("Send the annual report") + " -d 2027-02-05");
  Run("todoman delete --yes " + TodoId("File taxes"));
  SyncOk();

  const std::vector<std::string> contactsAfter = ServerContents("contacts");
  EXPECT_EQ(contactsAfter.size(), 3u);
  EXPECT_TRUE(Holds(contactsAfter, "Hopper"));
  EXPECT_TRUE(Holds(contactsAfter, "+1 202 555 0143"));  // Alan's new number
  EXPECT_FALSE(Holds(contactsAfter, "Pauling"));
  EXPECT_EQ(Without(Without(contactsAfter, "Hopper"), "Turing"), Without(Without(contactsBefore, "Turing"), "Pauling"));
  const std::vector<std::string> eventsAfter = ServerContents("events");
  EXPECT_EQ(eventsAfter.size(), 3u);
  EXPECT_TRUE(Holds(eventsAfter, "Planning"));
  EXPECT_TRUE(Holds(eventsAfter, "Quarterly review (Room 4)"));
  EXPECT_EQ(Without(Without(eventsAfter, "Planning"), "Quarterly review"), Without(Without(eventsBefore, "Quarterly review"), "Retrospective"));
  const std::vector<std::string> tasksAfter = ServerContents("tasks");
  EXPECT_EQ(tasksAfter.size(), 2u);
  EXPECT_TRUE(Holds(tasksAfter, "Buy paper"));
  EXPECT_TRUE(Holds(tasksAfter, "20270205"));
  EXPECT_FALSE(Holds(tasksAfter, "File taxes"));

  const SyncRunOutcome third = Sync();
  EXPECT_TRUE(third.Succeeded()) << third.error;
  EXPECT_EQ(ItemCommandsInLog(), 0);
  for (std::size_t link = 0; link < mConf->Links().Size(); ++link) {
    EXPECT_FALSE(Link(static_cast<int>(link)).mLocalCounts.Any()) << link;
    EXPECT_FALSE(Link(static_cast<int>(link)).mServerCounts.Any()) << link;
  }
}

INSTANTIATE_TEST_SUITE_P(Stores, VdirToolsE2eTest,
                         ::testing::Values(E2eParam(PeerKind::SyncEvolution, StoreKind::Vdir), E2eParam(PeerKind::Scripted, StoreKind::Vdir)),
                         StoreAndPeerTestName);

}  // namespace
