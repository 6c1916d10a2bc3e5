// The kept item texts of a link: durable at each commit and only then (a killed process leaves the
// last commit), opened only when a text is needed, bounded, private; and in the sync run: what the
// server sent goes back with the record's changes, a new contact keeps the UID it was sent with,
// a server deletion takes the text along, and a run without changes reads none.
#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/CXException.h"
#include "common/StringTable.h"
#include "engine/ExchangedItemTexts.h"
#include "pim/CDataItem.h"
#include "tests/support/SyncRunTestSupport.h"

namespace {

bool Exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

class ExchangedItemTextsTest : public ::testing::Test {
 protected:
  TempDir mDir;
  std::string mPath = mDir.File("link.texts");
};

TEST_F(ExchangedItemTextsTest, NothingIsOpenedOrMadeUntilATextIsNeeded) {
  {
    ExchangedItemTexts texts(mPath);
    texts.KeepOnly([](const std::string&) { return false; });
    texts.Commit();
    EXPECT_FALSE(texts.Opened());
  }
  EXPECT_FALSE(Exists(mPath));
}

TEST_F(ExchangedItemTextsTest, CommittedTextsStayUncommittedOnesGoWithTheObject) {
  {
    ExchangedItemTexts texts(mPath);
    texts.Put("a", "text of a");
    texts.Put("b", "text of b");
    texts.Commit();
    texts.Put("a", "changed a");
    texts.Put("c", "text of c");
    texts.Remove("b");
    EXPECT_EQ(texts.Find("a"), "changed a") << "a change is seen before its commit";
  }
  ExchangedItemTexts texts(mPath);
  EXPECT_EQ(texts.Find("a"), "text of a");
  EXPECT_EQ(texts.Find("b"), "text of b");
  EXPECT_EQ(texts.Find("c"), std::nullopt);
  EXPECT_EQ(texts.TextsRead(), 2);
  struct stat info {};
  ASSERT_EQ(::stat(mPath.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u) << "the texts are the user's items";
}

TEST_F(ExchangedItemTextsTest, AProcessKilledInTheMiddleOfChangesLeavesTheLastCommit) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ExchangedItemTexts texts(mPath);
    texts.Put("kept", std::string(200000, 'k'));
    texts.Commit();
    texts.Put("kept", "half written");
    texts.Put("new", std::string(500000, 'n'));
    ::raise(SIGKILL);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  ExchangedItemTexts texts(mPath);
  EXPECT_EQ(texts.Find("kept"), std::string(200000, 'k'));
  EXPECT_EQ(texts.Find("new"), std::nullopt);
}

TEST_F(ExchangedItemTextsTest, ATooLongTextIsNotKeptAndTakesTheEarlierOneAlong) {
  ExchangedItemTexts texts(mPath);
  texts.Put("a", "short");
  texts.Put("a", std::string(ExchangedItemTexts::kMaxTextBytes + 1, 'x'));
  texts.Commit();
  EXPECT_EQ(texts.Find("a"), std::nullopt);
}

TEST_F(ExchangedItemTextsTest, KeepOnlyRemovesTextsOfItemsNoLongerListedWithoutReadingAny) {
  {
    ExchangedItemTexts texts(mPath);
    for (const char* id : {"a", "b", "c"}) texts.Put(id, id);
    texts.Commit();
  }
  ExchangedItemTexts texts(mPath);
  texts.KeepOnly([](const std::string& id) { return id != "b"; });
  EXPECT_FALSE(texts.Opened()) << "nothing to do without having read the file";
  ExchangedItemTexts fresh(mPath);
  fresh.KeepOnly([](const std::string& id) { return id != "b"; }, true);
  EXPECT_EQ(fresh.TextsRead(), 0);
  EXPECT_EQ(fresh.Find("a"), "a");
  EXPECT_EQ(fresh.Find("b"), std::nullopt);
  EXPECT_EQ(fresh.Find("c"), "c");
}

TEST_F(ExchangedItemTextsTest, ADamagedFileIsAClearErrorAndStaysAsItWas) {
  const std::string damaged(4096, '\x5a');
  WriteFileBytes(mPath, damaged);
  ExchangedItemTexts texts(mPath);
  try {
    texts.Find("a");
    ADD_FAILURE() << "a damaged file must not read as empty";
  } catch (const CMainException& error) {
    EXPECT_EQ(error.Message(), LoadString(IDS_CHANGE_LOG_INIT_ERROR));
  }
  EXPECT_EQ(ReadFileBytes(mPath), damaged);
}

TEST_F(ExchangedItemTextsTest, ANewContactGetsAUidOfItsOwnKeptFromThenOn) {
  CDataItem contact(ITEM_CONTACT);
  contact.itemId = "c1";
  contact["PR_DISPLAY_NAME"] = "Ada";
  ExchangedItemTexts texts(mPath);
  const std::string first = texts.TextToSend(contact);
  const size_t uid = first.find("\nUID:");
  ASSERT_NE(uid, std::string::npos) << first;
  EXPECT_EQ(first.find('\n', uid + 1) - uid - 5, 36u) << "a UUID: " << first;
  contact["PR_DISPLAY_NAME"] = "Ada L.";
  const std::string second = texts.TextToSend(contact);
  EXPECT_NE(second.find(first.substr(uid, 42)), std::string::npos) << second;
  EXPECT_NE(second.find("FN:Ada L."), std::string::npos) << second;
  CDataItem other(ITEM_CONTACT);
  other.itemId = "c2";
  EXPECT_NE(texts.TextToSend(other).substr(uid, 42), first.substr(uid, 42)) << "each contact has its own";
}

// ---- In the sync run

constexpr const char* kServerCard =
    "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:srv-uid-77\r\nFN:Grace Hopper\r\nN:Hopper;Grace;;;\r\n"
    "TEL;TYPE=WORK:+1 555 0100\r\nBDAY:1906-12-09\r\nX-SPOUSE:Vincent\r\nEND:VCARD\r\n";

std::string TextsPath(const CConf& conf, const CSyncLink& link) {
  return conf.ConfigFolder() + link.LocalFileName() + ExchangedItemTexts::kExtension;
}

// The Data of the first Replace of `message` (item text that needs no CDATA goes plain).
std::string ReplacedData(const std::string& message) {
  const size_t replace = message.find("<Replace>");
  const size_t data = message.find("<Data>", replace);
  if (replace == std::string::npos || data == std::string::npos) return {};
  std::string text = message.substr(data + 6, message.find("</Data>", data) - data - 6);
  if (text.rfind("<![CDATA[", 0) == 0) text = text.substr(9, text.size() - 12);
  return text;
}

TEST_F(SyncRunTest, AServerContactGoesBackWithWhatTheStoreCannotHoldAndARunWithoutChangesReadsNoText) {
  mServer.SetResponder([](const std::string& message, int index) {
    if (message.find("./contacts") != std::string::npos && message.find("<Alert>") != std::string::npos) {
      return ServerReply(index + 1, HeaderStatus() + AlertStatus("200") +
                                        ServerSync(ServerItemAdd(4, "srv-1", "text/vcard", kServerCard)));
    }
    return ScriptedPeer::DefaultReply(message, index);
  });
  RunOnce(0);
  const std::vector<std::string> ids = OpenStore()->HeldIds(DATA_TYPE_CONTACTS);
  ASSERT_EQ(ids.size(), 1u);
  mServer.SetResponder(ScriptedPeer::DefaultReply);
  ASSERT_TRUE(OpenStore()->EditLocal(ids.front(), "PR_BUSINESS_TELEPHONE_NUMBER", "+1 555 0199"));
  RunOnce(0);
  const std::string sent = ReplacedData(mServer.SyncSessions().back());
  EXPECT_EQ(sent, "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:srv-uid-77\r\nFN:Grace Hopper\r\nN:Hopper;Grace;;;\r\n"
                  "TEL;TYPE=WORK:+1 555 0199\r\nBDAY:1906-12-09\r\nX-SPOUSE:Vincent\r\nEND:VCARD\r\n");

  RunOnce(0);
  EXPECT_EQ(CountElements(mServer.SyncSessions().back(), "Replace"), 0);
  const std::string log = ReadFileBytes(mConf.LogPath());
  EXPECT_EQ(log.find("ExchangedItemTexts\tDebug\tOpened"), std::string::npos) << "a run without changes reads no kept text";
}

TEST_F(SyncRunTest, AServerDeletionTakesTheKeptTextAlong) {
  mServer.SetResponder([](const std::string& message, int index) {
    if (message.find("./contacts") != std::string::npos && message.find("<Alert>") != std::string::npos) {
      return ServerReply(index + 1, HeaderStatus() + AlertStatus("200") +
                                        ServerSync(ServerItemAdd(4, "srv-1", "text/vcard", kServerCard)));
    }
    return ScriptedPeer::DefaultReply(message, index);
  });
  RunOnce(0);
  const std::string id = OpenStore()->HeldIds(DATA_TYPE_CONTACTS).front();
  EXPECT_TRUE(ExchangedItemTexts(TextsPath(mConf, Link(0))).Find(id).has_value());
  mServer.SetResponder([&id](const std::string& message, int index) {
    if (message.find("./contacts") != std::string::npos && message.find("<Alert>") != std::string::npos) {
      return ServerReply(index + 1, HeaderStatus() + AlertStatus("200") + ServerSync(ServerItemDelete(4, id)));
    }
    return ScriptedPeer::DefaultReply(message, index);
  });
  RunOnce(0);
  EXPECT_EQ(OpenStore()->HeldCount(DATA_TYPE_CONTACTS), 0u);
  EXPECT_FALSE(ExchangedItemTexts(TextsPath(mConf, Link(0))).Find(id).has_value());
}

TEST_F(SyncRunTest, ALocalContactKeepsTheUidItWasFirstSentWith) {
  const std::string id = OpenStore()->AddLocalContact("Ada Lovelace");
  RunOnce(0);
  const std::string added = mServer.SyncSessions().back();
  const size_t uid = added.find("UID:");
  ASSERT_NE(uid, std::string::npos) << added;
  const std::string uidLine = added.substr(uid, added.find('\n', uid) - uid);
  ASSERT_TRUE(OpenStore()->EditLocal(id, "PR_TITLE", "Countess"));
  RunOnce(0);
  const std::string replaced = ReplacedData(mServer.SyncSessions().back());
  EXPECT_NE(replaced.find(uidLine), std::string::npos) << replaced;
  EXPECT_NE(replaced.find("TITLE:Countess"), std::string::npos) << replaced;
  EXPECT_EQ(replaced.find("UID:" + id), std::string::npos) << "the local identifier is never the UID";
}

}  // namespace
