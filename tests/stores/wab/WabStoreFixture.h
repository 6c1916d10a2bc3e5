// A temporary address book reached through the library setting, a Windows Contacts store over it,
// and the calls another program would make on the book directly.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/Prompt.h"
#include "config/CConf.h"
#include "pim/PVCard.h"
#include "pim/VCardContext.h"
#include "platform/wab/WabConnection.h"
#include "stores/wab/OutlookExpress.h"
#include "tests/support/TempDir.h"

// Answers the e-mail question with `answer` (nullopt: Cancel) and counts the questions.
class ScriptedEmailPrompt final : public Prompt {
 public:
  PromptAnswer Message(std::string_view, PromptButtons, PromptKind) override { return PromptAnswer::Ok; }
  bool AskLogin(LoginRequest&) override { return false; }
  std::optional<EmailTypesAnswer> AskEmailTypes(const EmailTypesQuestion& question) override;

  bool cancel = false;
  int questions = 0;
};

// Caller-side property values of another program; keeps the data the values point at.
class OtherProgramValues {
 public:
  OtherProgramValues& Text(ULONG tag, const std::string& utf8);
  OtherProgramValues& Texts(ULONG tag, const std::vector<std::string>& utf8);
  OtherProgramValues& Binaries(ULONG tag, const std::vector<std::vector<BYTE>>& values);
  ULONG Count() const { return static_cast<ULONG>(mValues.size()); }
  SPropValue* Data() { return mValues.data(); }

 private:
  std::vector<SPropValue> mValues;
  std::deque<std::u16string> mWide;
  std::deque<std::vector<LPWSTR>> mLists;
  std::deque<std::vector<BYTE>> mBytes;
  std::deque<std::vector<SBinary>> mBinaryLists;
};

class WabStoreTest : public ::testing::Test {
 protected:
  static constexpr long long kNow = 1700000000;

  WabStoreTest();

  // A store over the test book, its clock at kNow.
  std::unique_ptr<OutlookExpress> OpenStore(long long now = kNow);
  // A store that has loaded the book (asserts the load succeeded).
  std::unique_ptr<OutlookExpress> LoadedStore(long long now = kNow);

  // Another program's view of the book.
  WabConnection& Book();
  // A contact (or distribution list) saved by another program; its binary entry identifier.
  std::vector<BYTE> CreateByOtherProgram(OtherProgramValues values, bool distributionList = false);
  std::optional<std::string> TextOf(const std::vector<BYTE>& entryId, ULONG tag);
  std::optional<std::vector<std::string>> TextsOf(const std::vector<BYTE>& entryId, ULONG tag);
  void SetByOtherProgram(const std::vector<BYTE>& entryId, OtherProgramValues values);
  void DeleteByOtherProgram(const std::vector<BYTE>& entryId);
  // The number of entries of the book, distribution lists included.
  std::size_t EntryCount();

  TempDir mDir;
  ScopedEnv mSetting;
  ScopedEnv mBookFile;
  ScopedEnv mDataHome;
  CConf mConf;
  ScriptedEmailPrompt mPrompt;

 private:
  std::unique_ptr<WabConnection> mOther;
};

// A card parsed from vCard text; the context outlives the card.
struct ParsedCard {
  explicit ParsedCard(const std::string& text);
  std::unique_ptr<VCardContext> context;
  PVCardPtr card;
};
