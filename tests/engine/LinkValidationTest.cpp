// Validation of the Outlook links edited on a wizard page and their merge into the configuration.
#include <gtest/gtest.h>

#include "engine/CSyncLink.h"
#include "engine/LinkValidation.h"

namespace {

const std::vector<OutlookFolderInfo> kFolders = {
    {"Contacts", "E1", "S1", "\\\\Mailbox\\Contacts"},
    {"Calendar", "E2", "S1", "\\\\Mailbox\\Calendar"},
    {"Calendar", "E3", "S2", "\\\\Archive\\Calendar"},
    {"Team", "E4", "S1", "\\\\Mailbox\\Team"},
};

LinkRow Row(int mode, std::string name) {
  LinkRow row;
  row.mode = mode;
  row.localName = std::move(name);
  return row;
}

CSyncLink Link(int dataType, std::string serverName) {
  CSyncLink link;
  link.mDataType = dataType;
  link.mServerName = std::move(serverName);
  link.mClientApp = LOCAL_APP_WINDOWS_CONTACTS;
  return link;
}

}  // namespace

TEST(LinkValidation, FirstFailureInRowOrderWins) {
  struct Case {
    std::vector<LinkRow> rows;
    std::vector<OutlookFolderInfo> folders;
    unsigned message;
    std::optional<size_t> row;
  };
  const Case cases[] = {
      {{Row(-1, ""), Row(0, "")}, kFolders, 240, 1},
      {{Row(0, "Missing"), Row(0, "")}, kFolders, 241, 0},
      {{Row(0, "Contacts")}, {}, 241, 0},
      {{Row(0, "Team"), Row(2, "Team")}, kFolders, 242, 0},
      {{Row(-1, ""), Row(-1, "Team")}, kFolders, 243, std::nullopt},
      {{}, kFolders, 243, std::nullopt},
      {{Row(0, "Team"), Row(-1, "Team")}, kFolders, 0, std::nullopt},
  };
  for (const Case& c : cases) {
    std::vector<LinkRow> rows = c.rows;
    const LinkValidationResult result = ValidateOutlookRows(rows, c.folders);
    EXPECT_EQ(result.messageId, c.message);
    EXPECT_EQ(result.row, c.row);
  }
}

TEST(LinkValidation, FirstFolderOfTheChosenNameSuppliesIdentifiersAndPath) {
  std::vector<LinkRow> rows = {Row(0, "Calendar")};
  ASSERT_TRUE(ValidateOutlookRows(rows, kFolders).Ok());
  EXPECT_EQ(rows[0].localEntryId, "E2");
  EXPECT_EQ(rows[0].localStoreId, "S1");
  EXPECT_EQ(rows[0].localPath, "\\\\Mailbox\\Calendar");
}

TEST(LinkValidation, MergeUpdatesLinksOfTheTypeInOrderAndDropsTheSurplus) {
  CSyncLinkArray links;
  links.Add(Link(DATA_TYPE_EVENTS, ""));
  links.Add(Link(DATA_TYPE_CONTACTS, ""));
  links.Add(Link(DATA_TYPE_EVENTS, "corporate"));
  links.Add(Link(DATA_TYPE_EVENTS, "old"));
  std::vector<LinkRow> rows = {Row(0, "Calendar"), Row(1, "Team")};
  ASSERT_TRUE(ApplyOutlookRows(links, DATA_TYPE_EVENTS, rows, kFolders).Ok());
  ASSERT_EQ(links.Size(), 3u);
  EXPECT_EQ(links.At(0).mMode, 0);
  EXPECT_EQ(links.At(0).mLocalEntryId, "E2");
  EXPECT_EQ(links.At(0).mClientApp, LOCAL_APP_OUTLOOK);
  EXPECT_EQ(links.At(1).mClientApp, LOCAL_APP_WINDOWS_CONTACTS);  // other types untouched
  EXPECT_EQ(links.At(2).mServerName, "corporate");
  EXPECT_EQ(links.At(2).mMode, 1);
  EXPECT_EQ(links.At(2).mLocalPath, "\\\\Mailbox\\Team");
}

TEST(LinkValidation, FailedValidationLeavesTheLinksUnchanged) {
  CSyncLinkArray links;
  links.Add(Link(DATA_TYPE_TASKS, ""));
  const CSyncLinkArray before = links;
  std::vector<LinkRow> rows = {Row(0, "Nowhere")};
  EXPECT_EQ(ApplyOutlookRows(links, DATA_TYPE_TASKS, rows, kFolders).messageId, 241u);
  EXPECT_EQ(links, before);
}

// What the wizard's grid starts with: each database not set up yet paired with a free folder of
// its kind, one of its own name first, the default database taking the default folder.
TEST(LinkValidation, ProposedFoldersPairNewDatabasesWithFreeFoldersOfTheirKind) {
  const std::vector<OutlookFolderInfo> contacts = {{"Contacts", "C1", "S1", "p1"}, {"Family", "C2", "S1", "p2"}, {"Work", "C3", "S1", "p3"}};
  const auto configured = [](std::string serverName, std::string entryId, int mode) {
    CSyncLink link = Link(DATA_TYPE_CONTACTS, std::move(serverName));
    link.mLocalEntryId = std::move(entryId);
    link.mLocalStoreId = "S1";
    link.mMode = mode;
    return link;
  };
  struct Case {
    const char* name;
    std::vector<CSyncLink> links;
    std::vector<OutlookFolderInfo> folders;
    std::vector<int> expected;
  };
  const Case cases[] = {
      {"the default database takes the default folder", {Link(0, "")}, contacts, {0}},
      {"a database of a folder's name takes it, the default one the default folder",
       {Link(0, "work"), Link(0, ""), Link(0, "other")}, contacts, {2, 0, 1}},
      {"the default database listed later still takes the default folder", {Link(0, "other"), Link(0, "")}, contacts, {1, 0}},
      {"no folder left", {Link(0, ""), Link(0, "x"), Link(0, "y"), Link(0, "z")}, contacts, {0, 1, 2, -1}},
      {"a configured link keeps its folder and keeps it from others", {Link(0, ""), configured("family", "C1", SYNC_MODE_TWO_WAY)}, contacts, {1, 0}},
      {"a configured folder that is gone is none", {configured("", "C9", SYNC_MODE_TWO_WAY), Link(0, "x")}, contacts, {-1, 0}},
      {"a link switched off keeps its folder without holding it", {configured("", "C1", SYNC_MODE_OFF), Link(0, "x")}, contacts, {0, 0}},
      {"no folders at all", {Link(0, "")}, {}, {-1}},
  };
  for (const Case& c : cases) {
    CSyncLinkArray links;
    for (const CSyncLink& link : c.links) links.Add(link);
    links.Add(Link(DATA_TYPE_EVENTS, ""));  // another type: not a row of the contacts grid
    EXPECT_EQ(ProposeFolders(links, DATA_TYPE_CONTACTS, c.folders), c.expected) << c.name;
  }
}
