// The journal an interrupted session leaves: what it keeps across a process that dies while
// writing it, and how the store's sink uses it so that a server item sent again is not doubled.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "config/CConf.h"
#include "config/CLog.h"
#include "engine/CSyncLink.h"
#include "engine/SessionJournal.h"
#include "engine/StoreItemSink.h"
#include "pim/VCardContext.h"
#include "pim/VCardParser.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestStore.h"

namespace {

CSyncLink ContactsLink() {
  CSyncLink link;
  link.mLocalPath = "Contacts";
  return link;
}

TEST(SessionJournal, KeepsTheAnchorAndEveryCompleteLineAcrossADeadProcess) {
  TempDir dir;
  CConf conf(dir.Path());
  SessionJournal journal(conf, ContactsLink());
  EXPECT_FALSE(journal.Load());
  ASSERT_TRUE(journal.Begin(8, true));
  journal.NoteWritten("srv\t1", "local\n1", "45000.5%");
  journal.NoteWritten("", "local-2", "45000.6");
  ASSERT_TRUE(journal.Sync());
  // A process killed while appending leaves a partial line: it does not count.
  std::ofstream(journal.Path(), std::ios::app) << "item\tsrv-3\tlocal-3";

  SessionJournal reread(conf, ContactsLink());
  ASSERT_TRUE(reread.Load());
  EXPECT_EQ(reread.SentNextAnchor(), 8);
  EXPECT_TRUE(reread.WasFirstRun());
  EXPECT_EQ(reread.LocalIdOf("srv\t1"), "local\n1");
  EXPECT_TRUE(reread.IsServerWrite("local\n1", "45000.5%"));
  EXPECT_TRUE(reread.IsServerWrite("local-2", "45000.6"));
  EXPECT_FALSE(reread.IsServerWrite("local-2", "45000.7"));
  EXPECT_FALSE(reread.LocalIdOf("srv-3"));
  EXPECT_FALSE(reread.LocalIdOf(""));

  // A resumed session keeps the earlier items until it completes; then nothing is left.
  ASSERT_TRUE(reread.Begin(9, false));
  SessionJournal third(conf, ContactsLink());
  ASSERT_TRUE(third.Load());
  EXPECT_EQ(third.SentNextAnchor(), 9);
  EXPECT_FALSE(third.WasFirstRun());
  EXPECT_EQ(third.LocalIdOf("srv\t1"), "local\n1");
  third.Clear();
  EXPECT_FALSE(SessionJournal(conf, ContactsLink()).Load());

  // The bare mark an older version left reads as an interrupted session without anything else.
  std::ofstream(journal.Path()) << "exchange started\n";
  SessionJournal old(conf, ContactsLink());
  EXPECT_TRUE(old.Load());
  EXPECT_FALSE(old.SentNextAnchor());
  EXPECT_FALSE(old.WasFirstRun());
}

// A session died after writing the server's items locally, before the server had their Maps:
// the server sends them again, and they go over the items written then, not into second copies.
TEST(SessionJournal, AServerItemSentAgainGoesOverTheLocalItemItWentToBefore) {
  TempDir dir;
  CConf conf(dir.Path());
  CLog::Instance().Open(dir.File("Sync.log"), LOG_DEBUG);
  TestStore store(conf, TestStore::Options{TestStore::StampForm::OleDateText, dir.Path() + "store"});
  ASSERT_TRUE(store.SetCurrentFolder(DATA_TYPE_CONTACTS, "", ""));
  ASSERT_EQ(store.LoadContent("Contacts"), kStoreOk);
  VCardContext context;
  const std::string text = "BEGIN:VCARD\nVERSION:2.1\nN:Server;Sam\nFN:Sam Server\nEND:VCARD\n";
  std::string first;
  {
    SessionJournal journal(conf, ContactsLink());
    ASSERT_TRUE(journal.Begin(1, true));
    StoreItemSink sink(store, &journal);
    ASSERT_TRUE(sink.AddContact(*Zep3_PVCard_FromStream(&context, text), "srv-1", "text/x-vcard", first));
  }  // the process dies here

  ASSERT_EQ(store.LoadContent("Contacts"), kStoreOk);
  SessionJournal journal(conf, ContactsLink());
  ASSERT_TRUE(journal.Load());
  ASSERT_TRUE(journal.Begin(2, true));
  StoreItemSink sink(store, &journal);
  std::string again;
  ASSERT_TRUE(sink.AddContact(*Zep3_PVCard_FromStream(&context, text), "srv-1", "text/x-vcard", again));
  EXPECT_EQ(again, first);
  std::string other;
  ASSERT_TRUE(sink.AddContact(*Zep3_PVCard_FromStream(&context, text), "srv-2", "text/x-vcard", other));
  EXPECT_NE(other, first);
  EXPECT_EQ(store.HeldCount(DATA_TYPE_CONTACTS), 2u);
  // What the server wrote is recognised as its own, with the stamp the store gave it.
  EXPECT_TRUE(journal.IsServerWrite(first, store.mCurrentItems.Find(first)->Property("PR_LAST_MODIFICATION_TIME")));
  CLog::Instance().Close();
}

}  // namespace
