// The fidelity corpus (items as phones, desktop clients and servers write them): each file's
// reading against its golden reading, and the text written from that reading reads back the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "pim/CalendarRecordBuilder.h"
#include "pim/ContactRecordBuilder.h"
#include "pim/VCardContext.h"
#include "pim/VCardParser.h"
#include "tests/pim/VCalTestZone.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

std::string Escaped(const std::string& value) {
  std::string out;
  for (const char c : value) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      out += c;
    }
  }
  return out;
}

std::string Dump(const std::vector<CDataItem::Ptr>& records) {
  std::string dump;
  for (const CDataItem::Ptr& record : records) {
    dump += "RECORD kind=" + std::to_string(record->kind) + " key=" + record->itemId + "\n";
    for (const auto& [key, value] : record->properties) {
      if (key != "PR_ENTRYID") dump += "  " + key + "=" + Escaped(value) + "\n";
    }
  }
  return dump;
}

// The records a store keeps of a calendar file, keyed as the folder store keys them.
std::vector<CDataItem::Ptr> CalendarRecords(const std::string& text, const std::string& file) {
  std::vector<CDataItem::Ptr> records = CalendarRecordBuilder::BuildAll(text);
  for (const CDataItem::Ptr& record : records) {
    record->itemId = IsChangedOccurrence(*record) ? ChangedOccurrenceKey(file, *record) : file;
    (*record)["PR_ENTRYID"] = file;
  }
  return records;
}

std::vector<CDataItem::Ptr> ContactRecords(const std::string& text, const std::string& file) {
  VCardContext context;
  const PVCardPtr card = Zep3_PVCard_FromStream(&context, text);
  if (!card) return {};
  CDataItem::Ptr record = CDataItem::Create(ITEM_CONTACT);
  ContactRecordBuilder(*record).Build(*card);
  record->itemId = file;
  return {record};
}

std::vector<CDataItem::Ptr> Records(const std::string& path, const std::string& text) {
  const std::string file = fs::path(path).filename().string();
  return fs::path(path).parent_path().filename() == "contacts" ? ContactRecords(text, file) : CalendarRecords(text, file);
}

std::string Written(const std::vector<CDataItem::Ptr>& records) {
  if (records.empty()) return {};
  return records.front()->kind == ITEM_CONTACT ? records.front()->ToVCard() : ToVCalendar(records);
}

class FidelityCorpus : public ::testing::TestWithParam<std::string> {
 protected:
  // Golden readings are made with the machine in central Europe.
  ScopedTimeZone mMachine{kZoneBerlin};
};

TEST_P(FidelityCorpus, ReadsToTheGoldenReading) {
  const std::string path = GetParam();
  const std::string text = ReadFileBytes(path);
  ASSERT_FALSE(text.empty()) << path;
  const std::vector<CDataItem::Ptr> records = Records(path, text);
  ASSERT_FALSE(records.empty()) << path;
  const std::string dump = Dump(records);
  if (std::getenv("LARK_UPDATE_GOLDEN") != nullptr) WriteFileBytes(path + ".ref", dump);
  EXPECT_EQ(dump, ReadFileBytes(path + ".ref")) << path;
}

// Every value a record holds (each element of a tab list on its own, a typed address without its
// type letter; attribute codes are not values), sorted.
std::vector<std::string> Values(const CDataItem& record) {
  std::vector<std::string> values;
  for (const auto& [key, value] : record.properties) {
    if (key.size() > 5 && key.compare(key.size() - 5, 5, "_ATTR") == 0) continue;
    const size_t skip = key == "PR_ZEP_EMAIL_ADDRESSES_TYPES" ? 2 : 0;
    for (size_t at = 0; at < value.size();) {
      const size_t end = std::min(value.find('\t', at), value.size());
      if (end > at + skip) values.push_back(value.substr(at + skip, end - at - skip));
      at = end + 1;
    }
  }
  std::sort(values.begin(), values.end());
  return values;
}

// What a store writes of its records reads back unchanged, so a second run has nothing to send.
// A calendar record is its own text's reading already; a contact's card puts some values under
// other keys (an untyped telephone number gets the voice type), so its reading settles after one
// writing, and keeps every value.
TEST_P(FidelityCorpus, WrittenRecordsReadBackUnchanged) {
  const std::string path = GetParam();
  const std::vector<CDataItem::Ptr> records = Records(path, ReadFileBytes(path));
  ASSERT_FALSE(records.empty());
  const std::string written = Written(records);
  const std::vector<CDataItem::Ptr> again = Records(path, written);
  ASSERT_EQ(again.size(), records.size()) << written;
  if (records.front()->kind != ITEM_CONTACT) {
    EXPECT_EQ(Dump(again), Dump(records)) << written;
    return;
  }
  const std::vector<std::string> before = Values(*records.front());
  const std::vector<std::string> after = Values(*again.front());
  EXPECT_TRUE(std::includes(after.begin(), after.end(), before.begin(), before.end())) << written;
  const std::string settled = Written(again);
  EXPECT_EQ(Dump(Records(path, settled)), Dump(again)) << settled;
}

std::vector<std::string> CorpusFiles() {
  std::vector<std::string> paths;
  for (const auto& entry : fs::recursive_directory_iterator(std::string(LARK_TEST_DATA) + "/fidelity")) {
    const std::string extension = entry.path().extension().string();
    if (extension == ".vcf" || extension == ".vcs" || extension == ".ics") paths.push_back(entry.path().string());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

std::string CaseName(const ::testing::TestParamInfo<std::string>& file) {
  std::string name = fs::path(file.param).parent_path().filename().string() + "_" + fs::path(file.param).stem().string();
  std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
  return name;
}

INSTANTIATE_TEST_SUITE_P(Files, FidelityCorpus, ::testing::ValuesIn(CorpusFiles()), CaseName);

}  // namespace
