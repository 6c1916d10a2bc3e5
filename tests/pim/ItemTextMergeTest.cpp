// The merge of kept item texts with their records: the merge corpus (a kept text, the record edits a
// user made, the merged text as reference, and the only fields that may differ from the kept
// text), and the kept texts of the fidelity corpus given back byte for byte by an unchanged record.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>

#include "pim/CalendarRecordBuilder.h"
#include "pim/ContactRecordBuilder.h"
#include "pim/ContentLines.h"
#include "pim/VCalMerge.h"
#include "pim/VCardContext.h"
#include "pim/VCardMerge.h"
#include "pim/VCardParser.h"
#include "tests/pim/VCalTestZone.h"
#include "tests/support/ItemFields.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

std::string DataPath(const std::string& relative) { return std::string(LARK_TEST_DATA) + "/" + relative; }

bool IsContactFile(const std::string& path) { return fs::path(path).extension() == ".vcf"; }

// The records a store holds of a kept text, read with the shared mappings.
std::vector<CDataItem::Ptr> RecordsOf(const std::string& text, bool contact) {
  if (!contact) return CalendarRecordBuilder::BuildAll(text);
  VCardContext context;
  const PVCardPtr card = Zep3_PVCard_FromStream(&context, text);
  if (!card) return {};
  CDataItem::Ptr record = CDataItem::Create(ITEM_CONTACT);
  ContactRecordBuilder(*record).Build(*card);
  return {record};
}

std::string Merged(const std::string& kept, const CDataItem& record) {
  return record.kind == ITEM_CONTACT ? MergeContactText(kept, record) : MergeCalendarText(kept, record);
}

// A change file: "kept: PATH" (below the test data), "fields: NAME..." (the fields that may
// differ), then "KEY=VALUE" (set; \t in a value is a TAB) or "-KEY" (removed) lines; "#" comments.
struct Change {
  std::string kept;
  std::set<std::string> fields;
  std::vector<std::pair<std::string, std::optional<std::string>>> edits;

  static Change Read(const std::string& path) {
    Change change;
    std::istringstream lines(ReadFileBytes(path));
    for (std::string line; std::getline(lines, line);) {
      if (line.empty() || line[0] == '#') continue;
      if (line.rfind("kept: ", 0) == 0) {
        change.kept = line.substr(6);
      } else if (line.rfind("fields: ", 0) == 0) {
        std::istringstream names(line.substr(8));
        for (std::string name; names >> name;) change.fields.insert(name);
      } else if (line[0] == '-') {
        change.edits.emplace_back(line.substr(1), std::nullopt);
      } else {
        const size_t equals = line.find('=');
        change.edits.emplace_back(line.substr(0, equals), line.substr(equals + 1));
      }
    }
    return change;
  }

  void ApplyTo(CDataItem& record) const {
    for (const auto& [key, value] : edits) {
      if (value) {
        record[key] = *value;
      } else {
        record.properties.erase(key);
      }
    }
  }
};

class MergeCorpus : public ::testing::TestWithParam<std::string> {
 protected:
  ScopedTimeZone mMachine{kZoneBerlin};
};

TEST_P(MergeCorpus, TheChangedFieldsAloneDifferFromTheKeptText) {
  const std::string path = GetParam();
  const Change change = Change::Read(path);
  const std::string kept = ReadFileBytes(DataPath(change.kept));
  ASSERT_FALSE(kept.empty()) << change.kept;
  std::vector<CDataItem::Ptr> records = RecordsOf(kept, IsContactFile(change.kept));
  ASSERT_FALSE(records.empty());
  CDataItem& record = *records.front();
  record.itemId = "local-1";
  change.ApplyTo(record);
  const std::string merged = Merged(kept, record);
  const std::string reference = fs::path(path).replace_extension(".ref").string();
  if (std::getenv("LARK_UPDATE_GOLDEN") != nullptr) WriteFileBytes(reference, merged);
  EXPECT_EQ(merged, ReadFileBytes(reference)) << path;

  std::set<std::string> differing;
  for (const FieldDifference& difference : CompareItemFields(ReadItemFields(kept), ReadItemFields(merged))) {
    differing.insert(difference.name);
    EXPECT_EQ(change.fields.count(difference.name), 1u) << difference.Describe();
  }
  EXPECT_EQ(differing, change.fields) << "every changed field reaches the text";
  // What the merged text reads as is the record as the user left it.
  const std::vector<CDataItem::Ptr> again = RecordsOf(merged, IsContactFile(change.kept));
  ASSERT_FALSE(again.empty()) << merged;
  for (const auto& [key, value] : change.edits) EXPECT_EQ(again.front()->Property(key), value.value_or("")) << key;
}

std::vector<std::string> ChangeFiles() {
  std::vector<std::string> paths;
  for (const auto& entry : fs::directory_iterator(DataPath("merge"))) {
    if (entry.path().extension() == ".change") paths.push_back(entry.path().string());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

std::string CaseName(const ::testing::TestParamInfo<std::string>& file) {
  std::string name = fs::path(file.param).stem().string();
  std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
  return name;
}

INSTANTIATE_TEST_SUITE_P(Changes, MergeCorpus, ::testing::ValuesIn(ChangeFiles()), CaseName);

// Every text of the fidelity corpus, merged with each of its unchanged records, gives back the
// lines it came with: the record's component and the calendar's own lines, byte for byte.
class UnchangedRecords : public ::testing::TestWithParam<std::string> {
 protected:
  ScopedTimeZone mMachine{kZoneBerlin};
};

TEST_P(UnchangedRecords, GiveBackTheKeptLines) {
  const std::string path = GetParam();
  const std::string kept = ReadFileBytes(path);
  const std::vector<CDataItem::Ptr> records = RecordsOf(kept, IsContactFile(path));
  ASSERT_FALSE(records.empty());
  const bool oneItem = IsContactFile(path) || records.size() == 1;
  for (const CDataItem::Ptr& record : records) {
    const std::string merged = Merged(kept, *record);
    if (oneItem) {
      EXPECT_EQ(merged, kept);
      continue;
    }
    // A series and its changed occurrences: each merged text is the kept text without the others.
    const ContentText keptLines = ContentText::Split(kept, false);
    const ContentText mergedLines = ContentText::Split(merged, false);
    size_t at = 0;
    for (const ContentLine& line : mergedLines.lines) {
      while (at < keptLines.lines.size() && keptLines.lines[at].raw != line.raw) ++at;
      ASSERT_LT(at, keptLines.lines.size()) << "not a kept line: " << line.raw;
      ++at;
    }
  }
}

std::vector<std::string> CorpusFiles() {
  std::vector<std::string> paths;
  for (const auto& entry : fs::recursive_directory_iterator(DataPath("fidelity"))) {
    const std::string extension = entry.path().extension().string();
    if (extension == ".vcf" || extension == ".vcs" || extension == ".ics") paths.push_back(entry.path().string());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

std::string CorpusName(const ::testing::TestParamInfo<std::string>& file) {
  std::string name = fs::path(file.param).parent_path().filename().string() + "_" + fs::path(file.param).stem().string();
  std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
  return name;
}

INSTANTIATE_TEST_SUITE_P(Fidelity, UnchangedRecords, ::testing::ValuesIn(CorpusFiles()), CorpusName);

// A card some servers send without VERSION goes back saying which version its lines are.
TEST(KeptTextWithoutVersion, GoesBackWithTheVersionOfItsLines) {
  const std::string kept = "BEGIN:VCARD\r\nFN:Ada\r\nN:Lovelace;Ada;;;\r\nBDAY:1815-12-10\r\nEND:VCARD\r\n";
  std::vector<CDataItem::Ptr> records = RecordsOf(kept, true);
  (*records.front())["PR_TITLE"] = "Countess";
  EXPECT_EQ(MergeContactText(kept, *records.front()),
            "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ada\r\nN:Lovelace;Ada;;;\r\nBDAY:1815-12-10\r\nTITLE:Countess\r\nEND:VCARD\r\n");
}

TEST(ContactUid, AnItemWithoutUidGetsTheGivenOneBeforeItsEnd) {
  EXPECT_EQ(WithContactUid("BEGIN:VCARD\nVERSION:3.0\nFN:A\nEND:VCARD\n", "u-1"), "BEGIN:VCARD\nVERSION:3.0\nFN:A\nUID:u-1\nEND:VCARD\n");
  EXPECT_EQ(WithContactUid("BEGIN:VCARD\r\nUID:old\r\nEND:VCARD\r\n", "u-1"), "BEGIN:VCARD\r\nUID:old\r\nEND:VCARD\r\n");
}

// Without a kept text, or with one of another item kind, an item is its record's own text.
TEST(KeptTextMismatch, TheRecordsOwnTextGoesOut) {
  CDataItem contact(ITEM_CONTACT);
  contact["PR_DISPLAY_NAME"] = "Ada";
  EXPECT_EQ(MergeContactText("", contact), contact.ToVCard());
  EXPECT_EQ(MergeContactText("BEGIN:VCALENDAR\nEND:VCALENDAR\n", contact), contact.ToVCard());
  CDataItem task(ITEM_TASK);
  task["VC_SUMMARY"] = "T";
  EXPECT_EQ(MergeCalendarText(ReadFileBytes(DataPath("fidelity/events/rich-meeting.ics")), task), task.ToVCalendar());
}

}  // namespace
