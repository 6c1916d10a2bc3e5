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
