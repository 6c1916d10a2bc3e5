// Sync links: derived names and texts, file base names, and the link array.
#include <gtest/gtest.h>

#include <stdexcept>

#include "config/CIniEx.h"
#include "engine/CSyncLink.h"

namespace {

CSyncLink MakeLink(int dataType, std::string serverName = {}) {
  CSyncLink link;
  link.mDataType = dataType;
  link.mServerName = std::move(serverName);
  return link;
}

}  // namespace

TEST(CSyncLink, NewLinkDefaults) {
  const CSyncLink link;
  EXPECT_EQ(link.mMode, -1);
  EXPECT_EQ(link.mDataType, 0);
  EXPECT_EQ(link.mClientApp, 1);
  EXPECT_EQ(link.mState, 0);
  EXPECT_EQ(link.mLastSyncTime, 0);
  EXPECT_FALSE(link.mRowDisabled);
  EXPECT_FALSE(link.HasChanges());
}

TEST(CSyncLink, ServerUriAndDisplayName) {
  struct Row {
    int type;
    const char* name;
    const char* uri;
    const char* display;
  };
  const Row rows[] = {
      {0, "", "./contacts", "Personal"},
      {1, "", "./events", "Personal"},
      {2, "", "./tasks", "Tasks"},
      {1, "corporate", "./events/corporate", "Corporate"},
      {0, "corporate", "./contacts/corporate", "corporate"},
      {1, "Corporate", "./events/Corporate", "Corporate"},
      {2, "team", "./tasks/team", "team"},
      {5, "x", "/x", "x"},
      {5, "", "", ""},
  };
  for (const Row& row : rows) {
    const CSyncLink link = MakeLink(row.type, row.name);
    EXPECT_EQ(link.ServerUri(), row.uri) << row.type << " " << row.name;
    EXPECT_EQ(link.ServerDisplayName(), row.display) << row.type << " " << row.name;
  }
}

TEST(CSyncLink, ServersOwnUriIsKeptOnlyWhenItDiffersFromTheDerivedOne) {
  CSyncLink link = MakeLink(DATA_TYPE_EVENTS);
  link.SetServerUri("./events");
  EXPECT_TRUE(link.mServerUri.empty());
  link.SetServerUri("calendar");
  EXPECT_EQ(link.mServerUri, "calendar");
  EXPECT_EQ(link.ServerUri(), "calendar");
  EXPECT_EQ(link.ServerDisplayName(), "Personal");
  link.SetServerUri("./events");  // the server went back to the standard form
  EXPECT_TRUE(link.mServerUri.empty());
  EXPECT_EQ(link.ServerUri(), "./events");

  link = MakeLink(DATA_TYPE_TASKS, "work");
  link.SetServerUri("./tasks/work");
  EXPECT_TRUE(link.mServerUri.empty());
  link.SetServerUri("todo/work");
  EXPECT_EQ(link.ServerUri(), "todo/work");
}

TEST(CSyncLink, SectionRoundTripWritesTheServerUriOnlyWhenSet) {
  CIniEx ini;
  CSyncLink link = MakeLink(DATA_TYPE_TASKS);
  link.mMode = SYNC_MODE_TWO_WAY;
  link.mLocalPath = "\\\\Mailbox\\Tasks";
  link.WriteSection(ini, "sync_1");
  EXPECT_FALSE(ini.HasKey("sync_1", "server_uri"));
  EXPECT_EQ(CSyncLink::ReadSection(ini, "sync_1"), link);

  link.SetServerUri("todo");
  link.WriteSection(ini, "sync_1");
  EXPECT_EQ(ini.GetValue("sync_1", "server_uri"), "todo");
  const CSyncLink read = CSyncLink::ReadSection(ini, "sync_1");
  EXPECT_EQ(read, link);
  EXPECT_EQ(read.ServerUri(), "todo");

  link.SetServerUri("./tasks");
  link.WriteSection(ini, "sync_1");  // a stale key does not outlive the URI it stood for
  EXPECT_FALSE(ini.HasKey("sync_1", "server_uri"));
  EXPECT_EQ(CSyncLink::ReadSection(ini, "sync_1").ServerUri(), "./tasks");
}

// The last good date survives a failed or cancelled run; the counts of a good run are kept with it.
TEST(CSyncLink, SectionKeepsTheLastGoodDateAndTheCountsOfTheLastGoodRun) {
  CIniEx ini;
  CSyncLink link = MakeLink(DATA_TYPE_CONTACTS);
  link.mMode = SYNC_MODE_TWO_WAY;
  link.mState = SYNC_STATE_SYNCHRONIZED;
  link.mLastSyncTime = 1796212800;
  link.mLocalCounts = {3, 0, 1};
  link.mServerCounts = {12, 0, 0};
  link.mCountsKnown = true;
  link.WriteSection(ini, "sync_1");
  EXPECT_EQ(ini.GetValue("sync_1", "sync_counts"), "3,0,1,12,0,0");
  EXPECT_EQ(CSyncLink::ReadSection(ini, "sync_1"), link);

  for (const int state : {SYNC_STATE_FAILED, SYNC_STATE_CANCELLED}) {
    link.mState = state;
    link.mCountsKnown = false;
    link.WriteSection(ini, "sync_1");
    const CSyncLink read = CSyncLink::ReadSection(ini, "sync_1");
    EXPECT_EQ(read.mState, state);
    EXPECT_EQ(read.mLastSyncTime, 1796212800) << state;
    EXPECT_FALSE(ini.HasKey("sync_1", "sync_counts")) << state;
    EXPECT_FALSE(read.mCountsKnown);
  }
  // Counts that do not read as six numbers are not shown.
  for (const char* damaged : {"1,2,3", "1,2,3,4,5,x", "1,2,3,4,5,6,7", "-1,0,0,0,0,0", ""}) {
    ini.SetValue("sync_1", "sync_counts", damaged);
    EXPECT_FALSE(CSyncLink::ReadSection(ini, "sync_1").mCountsKnown) << damaged;
  }
}

TEST(CSyncLink, LocalFileNameReplacesCharactersUnsafeInFileNames) {
  CSyncLink link;
  link.mLocalPath = "C:\\Folder\\My: Contacts";
  EXPECT_EQ(link.LocalFileName(), "C__Folder_My__Contacts");
  link.mLocalPath = "a\"b*c/d<e>f?g|h\ti\nj";
  EXPECT_EQ(link.LocalFileName(), "a_b_c_d_e_f_g_h_i_j");
  link.mLocalPath = "../../etc/passwd";
  EXPECT_EQ(link.LocalFileName().find('/'), std::string::npos);
  link.mLocalPath = "\\\\Persönlich\\Kalender";
  EXPECT_EQ(link.LocalFileName(), "__Persönlich_Kalender");
}

TEST(CSyncLink, LocalFileNameFallbacks) {
  CSyncLink link;
  EXPECT_EQ(link.LocalFileName(), "No_Name");
  link.mLocalName = "Contacts";
  EXPECT_EQ(link.LocalFileName(), "");  // a name without a path gives the (empty) path
  link.mClientApp = LOCAL_APP_WINDOWS_CONTACTS;
  link.mLocalPath = "OutlookExpressContacts";
  EXPECT_EQ(link.LocalFileName(), "Outlook_Express");
}

TEST(CSyncLink, CompareModeByApplicationAndType) {
  CSyncLink link = MakeLink(DATA_TYPE_CONTACTS);
  EXPECT_EQ(link.CompareMode(), 1);
  link.mDataType = DATA_TYPE_EVENTS;
  EXPECT_EQ(link.CompareMode(), 2);
  link.mDataType = DATA_TYPE_TASKS;
  EXPECT_EQ(link.CompareMode(), 2);
  link.mClientApp = LOCAL_APP_WINDOWS_CONTACTS;
  EXPECT_EQ(link.CompareMode(), 0);
}

TEST(CSyncLink, HasChangesLooksAtAllSixCounts) {
  CSyncLink link;
  link.mServerCounts.deleted = 1;
  EXPECT_TRUE(link.HasChanges());
  link.mServerCounts.deleted = 0;
  link.mLocalCounts.added = 2;
  EXPECT_TRUE(link.HasChanges());
}

TEST(CSyncLink, ModeAndStateTexts) {
  CSyncLink link;
  EXPECT_EQ(link.ModeText(), "Don't synchronize");
  link.mMode = 0;
  EXPECT_EQ(link.ModeText(), "Bi-directional Synchronization");
  link.mMode = 1;
  EXPECT_EQ(link.ModeText(), "Download from server");
  link.mMode = 2;
  EXPECT_EQ(link.ModeText(), "Upload to server");

  EXPECT_EQ(link.StateText(), "Never synchronized");
  link.mState = SYNC_STATE_SYNCHRONIZED;
  link.mLastSyncTime = 1796212800;
  EXPECT_EQ(link.StateText(), "Synchronized " + FormatLocalDateTime(1796212800));
  EXPECT_EQ(link.StateDetails(), link.StateText());
  // The window writes times as the interface language does; the counts follow once known.
  const CSyncLink::TimeText shortTime = [](std::int64_t time) { return "<" + std::to_string(time) + ">"; };
  link.mServerCounts = {10, 2, 0};
  link.mLocalCounts = {1, 1, 1};
  EXPECT_EQ(link.StateText(shortTime), "Synchronized <1796212800>");
  link.mCountsKnown = true;
  EXPECT_EQ(link.StateText(shortTime), "Synchronized <1796212800> - 12 received, 3 sent");
  link.mItemErrors = 2;
  EXPECT_EQ(link.StateText(shortTime), "Synchronized with 2 errors <1796212800> - 12 received, 3 sent");
  link.mItemErrors = 0;
  // A failed or cancelled run keeps the date of the last good one in view.
  link.mState = SYNC_STATE_FAILED;
  EXPECT_EQ(link.StateText(shortTime), "Failed, click for details - last synchronized <1796212800>");
  link.mState = SYNC_STATE_CANCELLED;
  EXPECT_EQ(link.StateText(shortTime), "Cancelled - last synchronized <1796212800>");
  EXPECT_EQ(link.StateDetails(shortTime), link.StateText(shortTime));
  link.mLastSyncTime = 0;
  EXPECT_EQ(link.StateText(shortTime), "Cancelled");
  link.mState = SYNC_STATE_FAILED;
  EXPECT_EQ(link.StateText(), "Failed, click for details");
  EXPECT_EQ(link.StateDetails(), "Failed");
  link.mStatusText = "Unable to communicate";
  EXPECT_EQ(link.StateDetails(), "Failed: Unable to communicate");
  link.mState = SYNC_STATE_IN_PROGRESS;
  EXPECT_EQ(link.StateText(), "Unable to communicate");
  link.mStatusText.clear();
  EXPECT_EQ(link.StateText(), "Sync in progress");
}

TEST(CSyncLink, LocalDateTimeRoundTrip) {
  std::int64_t parsed = 0;
  ASSERT_TRUE(ParseLocalDateTime(FormatLocalDateTime(1796212800), parsed));
  EXPECT_EQ(parsed, 1796212800);
  parsed = 5;
  EXPECT_FALSE(ParseLocalDateTime("", parsed));
  EXPECT_FALSE(ParseLocalDateTime(FormatLocalDateTime(1796212800) + " trailing", parsed));
  EXPECT_EQ(parsed, 5);
}

TEST(CSyncLinkArray, AddGetRemoveClearAndCopies) {
  CSyncLinkArray links;
  CSyncLink link = MakeLink(DATA_TYPE_EVENTS, "corporate");
  links.Add(link);
  link.mServerName = "changed after adding";
  EXPECT_EQ(links.At(0).mServerName, "corporate");  // held by value
  links.Add(MakeLink(DATA_TYPE_CONTACTS));
  links.Add(MakeLink(DATA_TYPE_TASKS));
  EXPECT_TRUE(links.HasLinkOfType(DATA_TYPE_TASKS));

  const CSyncLinkArray copy = links;
  EXPECT_EQ(copy, links);
  links.At(1).mState = SYNC_STATE_FAILED;
  EXPECT_NE(copy, links);

  EXPECT_THROW(links.At(3), std::invalid_argument);
  EXPECT_THROW(links.Remove(3), std::invalid_argument);
  links.Remove(1, 10);  // clipped to the end
  ASSERT_EQ(links.Size(), 1u);
  EXPECT_FALSE(links.HasLinkOfType(DATA_TYPE_TASKS));
  links.Clear();
  EXPECT_TRUE(links.Empty());
}
