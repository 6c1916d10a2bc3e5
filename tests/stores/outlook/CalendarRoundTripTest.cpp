// The events and tasks of the fidelity corpus through the Outlook store, with the machine in five
// zones: each file written as the server's item, read back as the next run reads it and sent in
// the file's own calendar version. Every difference between the file and what is sent must be one
// that tests/data/fidelity/calendar-differences.txt lists with its reason, and every entry of that
// table must be needed by some file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

#include "common/Prompt.h"
#include "config/CConf.h"
#include "pim/CalendarRecordBuilder.h"
#include "platform/automation/ObjectFactory.h"
#include "platform/outlookmodel/OutlookModel.h"
#include "stores/outlook/COutlook.h"
#include "tests/pim/VCalTestZone.h"
#include "tests/support/DifferenceTable.h"
#include "tests/support/ItemFields.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kMachineZones[] = {"UTC", "Europe/Berlin", "Asia/Kolkata", "America/New_York",
                                         "Australia/Lord_Howe"};
constexpr const char* kTableFile = "/fidelity/calendar-differences.txt";
constexpr const char* kAllFiles = "(every entry of the table is needed)";

class SilentPrompt final : public Prompt {
 public:
  PromptAnswer Message(std::string_view, PromptButtons buttons, PromptKind) override { return SafeDefaultAnswer(buttons); }
  bool AskLogin(LoginRequest&) override { return false; }
  std::optional<EmailTypesAnswer> AskEmailTypes(const EmailTypesQuestion&) override { return std::nullopt; }
};

std::string KindOf(const std::string& component) {
  return component.rfind("VEVENT RECURRENCE-ID=", 0) == 0 ? "OCCURRENCE" : component;
}

// "[A=1;B=2] address" as the address and its parameters.
std::pair<std::string, std::map<std::string, std::string>> SplitAddress(const std::string& value) {
  std::map<std::string, std::string> params;
  std::string address = value;
  if (!value.empty() && value[0] == '[') {
    const size_t close = value.find("] ");
    std::string list = value.substr(1, close - 1);
    address = value.substr(close + 2);
    for (size_t at = 0; at <= list.size();) {
      const size_t end = std::min(list.find(';', at), list.size());
      const std::string param = list.substr(at, end - at);
      const size_t equals = param.find('=');
      if (!param.empty()) params[param.substr(0, equals)] = equals == std::string::npos ? "" : param.substr(equals + 1);
      at = end + 1;
    }
  }
  return {address, params};
}

void AddressDifferences(const FieldDifference& field, std::vector<Difference>& differences) {
  std::map<std::string, std::map<std::string, std::string>> expected, actual;
  for (const std::string& value : field.expected) expected.insert(SplitAddress(value));
  for (const std::string& value : field.actual) actual.insert(SplitAddress(value));
  const std::string kind = KindOf(field.component);
  for (const auto& [address, params] : expected) {
    const auto sent = actual.find(address);
    if (sent == actual.end()) {
      differences.push_back({kind, field.name, address, "dropped"});
      continue;
    }
    for (const auto& [name, value] : params) {
      const auto other = sent->second.find(name);
      if (other == sent->second.end()) differences.push_back({kind, field.name + ";" + name, value, "dropped"});
      else if (other->second != value) differences.push_back({kind, field.name + ";" + name, value, "changed"});
    }
    for (const auto& [name, value] : sent->second) {
      if (params.count(name) == 0) differences.push_back({kind, field.name + ";" + name, value, "added"});
    }
  }
  for (const auto& [address, params] : actual) {
    if (expected.count(address) == 0) differences.push_back({kind, field.name, address, "added"});
  }
}

// A changed occurrence the file cancels is an occurrence the series no longer has.
void DeleteCancelledOccurrences(std::vector<ItemField>& fields, std::vector<Difference>& differences) {
  std::set<std::string> cancelled;
  for (const ItemField& field : fields) {
    if (KindOf(field.component) == "OCCURRENCE" && field.name == "STATUS" && field.value == "CANCELLED") {
      cancelled.insert(field.component);
    }
  }
  for (const std::string& component : cancelled) {
    const std::string original = component.substr(std::string("VEVENT RECURRENCE-ID=").size());
    std::erase_if(fields, [&](const ItemField& field) {
      return field.component == component || (field.component == "VEVENT" && field.name == "OCCURRENCE" && field.value == original);
    });
    differences.push_back({"OCCURRENCE", "STATUS", "CANCELLED", "deleted"});
  }
}

std::vector<Difference> Differences(const std::string& file, const std::string& sent) {
  std::vector<Difference> differences;
  std::vector<ItemField> expected = ReadItemFields(file);
  DeleteCancelledOccurrences(expected, differences);
  for (const FieldDifference& field : CompareItemFields(expected, ReadItemFields(sent))) {
    // The UID goes back as it came with the kept text of D34; the records carry the entry identifier.
    if (field.name == "UID") continue;
    if (field.name == "ATTENDEE" || field.name == "ORGANIZER") {
      AddressDifferences(field, differences);
      continue;
    }
    AddValueDifferences(field, KindOf(field.component), differences);
  }
  return differences;
}

std::vector<std::string> CorpusFiles() {
  std::vector<std::string> files;
  for (const char* folder : {"events", "tasks"}) {
    for (const auto& entry : fs::directory_iterator(std::string(LARK_TEST_DATA) + "/fidelity/" + folder)) {
      const std::string extension = entry.path().extension().string();
      if (extension == ".ics" || extension == ".vcs") files.push_back(std::string(folder) + "/" + entry.path().filename().string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

TableUse& Use() {
  static TableUse use;
  return use;
}

// One round trip of `file` with the machine in `zone`, through a new profile: the text sent back,
// and its differences from the file (read in that zone too: an all-day date is the machine's day).
std::string RoundTrip(const std::string& file, const std::string& zone, std::vector<Difference>& differences) {
  ScopedTimeZone machine(zone);
  TempDir dir;
  const std::string profile = dir.Path() + "profile.db";
  ObjectFactory factory;
  factory.Register("Outlook.Application", [profile] { return outlookmodel::CreateOutlookApplication(profile); });
  CConf conf(dir.Path() + "config");
  conf.SetSyncWithOutlook(LOCAL_APP_OUTLOOK);
  conf.SetSilent(true);
  conf.SetSyncPeriod(5);
  conf.SetLogin("me@example.org");
  SilentPrompt prompt;
  const bool task = file.rfind("tasks/", 0) == 0;
  const SyncDataType type = task ? DATA_TYPE_TASKS : DATA_TYPE_EVENTS;
  const std::string text = ReadFileBytes(std::string(LARK_TEST_DATA) + "/fidelity/" + file);
  std::string id;
  {
    COutlook store(conf, prompt, factory);
    EXPECT_TRUE(store.SetCurrentFolder(type, "", ""));
    EXPECT_EQ(store.LoadContent("RoundTrip"), kStoreOk);
    EXPECT_EQ(store.AddCalendarItem(text, id), kStoreOk) << file;
    store.mCurrentItems.SaveFile();
  }
  // What the next run reads.
  COutlook store(conf, prompt, factory);
  EXPECT_TRUE(store.SetCurrentFolder(type, "", ""));
  EXPECT_EQ(store.LoadContent("RoundTrip"), kStoreOk);
  std::vector<CDataItem::Ptr> records;
  for (const CDataItem::Ptr& record : store.mCurrentItems.Items()) {
    if (SeriesKeyOf(record->itemId) == SeriesKeyOf(id)) records.push_back(record);
  }
  const bool version10 = text.find("VERSION:1.0") != std::string::npos;
  const std::string sent = ToVCalendar(records, {version10 ? CalendarVersion::VCalendar10 : CalendarVersion::ICalendar20});
  differences = Differences(text, sent);
  return sent;
}

void CheckFile(const std::string& file, const std::vector<DefinedDifference>& table) {
  Use().casesRun.insert(file);
  for (const char* zone : kMachineZones) {
    std::vector<Difference> differences;
    const std::string sent = RoundTrip(file, zone, differences);
    CheckDefined(differences, table, file + " in " + zone, sent, Use().usedEntries);
  }
}

class CalendarRoundTrip : public ::testing::TestWithParam<std::string> {};

TEST_P(CalendarRoundTrip, EveryDifferenceIsOneTheApplicationCannotShow) {
  const std::vector<DefinedDifference> table = ReadDifferenceTable(std::string(LARK_TEST_DATA) + kTableFile);
  if (GetParam() != kAllFiles) {
    CheckFile(GetParam(), table);
    return;
  }
  // Last: the table holds nothing the corpus does not need (the cases filtered out run here).
  for (const std::string& file : CorpusFiles()) {
    if (Use().casesRun.count(file) == 0) CheckFile(file, table);
  }
  Use().ExpectEveryEntryNeeded(table);
}

std::vector<std::string> Cases() {
  std::vector<std::string> cases = CorpusFiles();
  cases.push_back(kAllFiles);
  return cases;
}

std::string CaseName(const ::testing::TestParamInfo<std::string>& file) {
  std::string name = file.param == kAllFiles ? "table" : fs::path(file.param).stem().string();
  std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
  return name;
}

INSTANTIATE_TEST_SUITE_P(Corpus, CalendarRoundTrip, ::testing::ValuesIn(Cases()), CaseName);

}  // namespace
