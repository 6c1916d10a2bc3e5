// The contacts of the fidelity corpus through the Outlook store and the Windows Contacts store, with
// the machine in five zones: each file written as the server's item, read back as the next run
// reads it, and sent as the next run sends it, merged into the kept text as the engine does and
// without it. Without the kept text every difference must be one that
// tests/data/fidelity/contact-differences.txt lists with its reason (what the application cannot
// show); with it the same holds, and nothing but what the application holds may differ at all.
// Every entry of the table must be needed by some file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <ostream>
#include <set>

#include "common/Prompt.h"
#include "config/CConf.h"
#include "engine/ExchangedItemTexts.h"
#include "pim/VCardMerge.h"
#include "platform/automation/ObjectFactory.h"
#include "platform/outlookmodel/OutlookModel.h"
#include "stores/outlook/COutlook.h"
#include "tests/pim/VCalTestZone.h"
#include "tests/stores/wab/WabStoreFixture.h"
#include "tests/support/DifferenceTable.h"
#include "tests/support/ItemFields.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kMachineZones[] = {"UTC", "Europe/Berlin", "Asia/Kolkata", "America/New_York", "Australia/Lord_Howe"};
constexpr const char* kTableFile = "/fidelity/contact-differences.txt";
constexpr const char* kAllFiles = "(every entry of the table is needed)";
constexpr const char* kStores[] = {"Outlook", "WindowsContacts"};

// One case: a store and a file of the corpus (or kAllFiles).
struct Case {
  std::string store;
  std::string file;
};

// What the next run sends of one file: without and with the kept text.
struct Sent {
  std::string own;
  std::string merged;
};

std::vector<std::string> CorpusFiles() {
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(std::string(LARK_TEST_DATA) + "/fidelity/contacts")) {
    if (entry.path().extension() == ".vcf") files.push_back(entry.path().filename().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

TableUse& Use() {
  static TableUse use;
  return use;
}

void PrintTo(const Case& testCase, std::ostream* out) { *out << testCase.store << " " << testCase.file; }

// "[A,B] value" (ItemFields' form of a property with type words) as its words and its value.
std::pair<std::set<std::string>, std::string> SplitTyped(const std::string& text) {
  std::set<std::string> words;
  if (text.empty() || text[0] != '[' || text.find("] ") == std::string::npos) return {words, text};
  const size_t close = text.find("] ");
  const std::string list = text.substr(1, close - 1);
  for (size_t at = 0; at <= list.size();) {
    const size_t end = std::min(list.find(',', at), list.size());
    words.insert(list.substr(at, end - at));
    at = end + 1;
  }
  return {words, text.substr(close + 2)};
}

// Values of a property with type words are paired by their value: a pair differs in its words, one
// difference per word ("TEL;HOME added"); the values left over differ as values.
void TypedDifferences(const FieldDifference& field, const std::string& store, std::vector<Difference>& differences) {
  std::map<std::string, std::set<std::string>> expected, actual;
  for (const std::string& value : field.expected) expected.insert(std::pair(SplitTyped(value).second, SplitTyped(value).first));
  for (const std::string& value : field.actual) actual.insert(std::pair(SplitTyped(value).second, SplitTyped(value).first));
  FieldDifference rest{field.component, field.name, {}, {}};
  for (const std::string& value : field.expected) {
    const auto [words, bare] = SplitTyped(value);
    const auto sent = actual.find(bare);
    if (sent == actual.end()) {
      rest.expected.push_back(value);
      continue;
    }
    for (const std::string& word : words) {
      if (sent->second.count(word) == 0) differences.push_back({store, field.name + ";" + word, bare, "dropped"});
    }
    for (const std::string& word : sent->second) {
      if (words.count(word) == 0) differences.push_back({store, field.name + ";" + word, bare, "added"});
    }
  }
  for (const std::string& value : field.actual) {
    if (expected.count(SplitTyped(value).second) == 0) rest.actual.push_back(value);
  }
  AddValueDifferences(rest, store, differences);
}

std::vector<Difference> Differences(const std::string& store, const std::string& file, const std::string& sent) {
  std::vector<Difference> differences;
  for (const FieldDifference& field : CompareItemFields(ReadItemFields(file), ReadItemFields(sent))) {
    TypedDifferences(field, store, differences);
  }
  return differences;
}

bool HeldByTheApplication(const std::string& field) {
  const auto& held = HeldContactProperties();
  return std::find(held.begin(), held.end(), field) != held.end();
}

class ContactRoundTrip : public WabStoreTest, public ::testing::WithParamInterface<Case> {
 protected:
  // `text` written as the server's item into the store, then read as the next run reads it.
  Sent RoundTrip(const std::string& store, const std::string& text) {
    ParsedCard card(text);
    EXPECT_TRUE(card.card);
    if (!card.card) return {};
    std::string id;
    CDataItem::Ptr record;
    if (store == "Outlook") {
      {
        COutlook outlook(mConf, mPrompt, mOutlookFactory);
        EXPECT_TRUE(outlook.SetCurrentFolder(DATA_TYPE_CONTACTS, "", ""));
        EXPECT_EQ(outlook.LoadContent("RoundTrip"), kStoreOk);
        EXPECT_EQ(outlook.AddAddressBookItem(*card.card, id, "server-1", "text/x-vcard"), kStoreOk);
        outlook.mCurrentItems.SaveFile();
      }
      COutlook outlook(mConf, mPrompt, mOutlookFactory);
      EXPECT_TRUE(outlook.SetCurrentFolder(DATA_TYPE_CONTACTS, "", ""));
      EXPECT_EQ(outlook.LoadContent("RoundTrip"), kStoreOk);
      record = outlook.mCurrentItems.Find(id);
    } else {
      {
        auto book = LoadedStore();
        EXPECT_EQ(book->AddAddressBookItem(*card.card, id, "server-1", "text/x-vcard"), kStoreOk);
        book->mCurrentItems.SaveFile();
      }
      record = LoadedStore()->mCurrentItems.Find(id);
    }
    EXPECT_TRUE(record) << id;
    if (!record) return {};
    ExchangedItemTexts texts(mDir.Path() + "texts-" + id);
    texts.Put(record->itemId, text);
    return {record->ToText(), texts.TextToSend(*record)};
  }

  void CheckFile(const std::string& store, const std::string& file, const std::vector<DefinedDifference>& table) {
    Use().casesRun.insert(store + "/" + file);
    const std::string text = ReadFileBytes(std::string(LARK_TEST_DATA) + "/fidelity/contacts/" + file);
    for (const char* zone : kMachineZones) {
      ScopedTimeZone machine(zone);
      const Sent sent = RoundTrip(store, text);
      const std::string where = store + " " + file + " in " + zone;
      CheckDefined(Differences(store, text, sent.own), table, where, sent.own, Use().usedEntries);
      const std::vector<Difference> merged = Differences(store, text, sent.merged);
      std::set<std::string> unused;
      CheckDefined(merged, table, where + " with the kept text", sent.merged, unused);
      for (const Difference& difference : merged) {
        EXPECT_TRUE(HeldByTheApplication(difference.field))
            << where << ", the kept text sent: " << difference.Describe() << "\n" << sent.merged;
      }
    }
  }

  ObjectFactory mOutlookFactory = [this] {
    ObjectFactory factory;
    factory.Register("Outlook.Application", [profile = mDir.Path() + "profile.db"] { return outlookmodel::CreateOutlookApplication(profile); });
    return factory;
  }();
};

TEST_P(ContactRoundTrip, EveryDifferenceIsOneTheApplicationCannotShow) {
  mConf.SetSyncWithOutlook(LOCAL_APP_OUTLOOK);
  mConf.SetSilent(true);
  const std::vector<DefinedDifference> table = ReadDifferenceTable(std::string(LARK_TEST_DATA) + kTableFile);
  if (GetParam().file != kAllFiles) {
    CheckFile(GetParam().store, GetParam().file, table);
    return;
  }
  // Last: the table holds nothing the corpus does not need (the cases filtered out run here).
  for (const char* store : kStores) {
    for (const std::string& file : CorpusFiles()) {
      if (Use().casesRun.count(std::string(store) + "/" + file) == 0) CheckFile(store, file, table);
    }
  }
  Use().ExpectEveryEntryNeeded(table);
}

std::vector<Case> Cases() {
  std::vector<Case> cases;
  for (const char* store : kStores) {
    for (const std::string& file : CorpusFiles()) cases.push_back({store, file});
  }
  cases.push_back({"", kAllFiles});
  return cases;
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  std::string name = info.param.file == kAllFiles ? "table" : info.param.store + "_" + fs::path(info.param.file).stem().string();
  std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
  return name;
}

INSTANTIATE_TEST_SUITE_P(Corpus, ContactRoundTrip, ::testing::ValuesIn(Cases()), CaseName);

}  // namespace
