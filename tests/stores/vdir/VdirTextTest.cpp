// The texts the vdir store writes: every card read as vCard 3.0 and every calendar as iCalendar
// 2.0, over the fidelity corpus and the store's own corpus of hard cases: the same fields and the
// same records as the original, the standard form, nothing moved by a second conversion, and a
// golden text per file of the store's corpus.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "pim/CalendarRecordBuilder.h"
#include "pim/ContactRecordBuilder.h"
#include "pim/VCardContext.h"
#include "pim/VCardParser.h"
#include "stores/vdir/ItemLines.h"
#include "stores/vdir/VdirCalendar.h"
#include "stores/vdir/VdirCard.h"
#include "tests/pim/VCalTestZone.h"
#include "tests/support/ItemFields.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

bool IsCard(const std::string& path) { return fs::path(path).extension() == ".vcf"; }

std::string Converted(const std::string& text, bool card) {
  if (card) {
    const std::optional<VdirCard> read = VdirCard::Read(text);
    return read ? read->Text() : std::string();
  }
  const std::optional<VdirCalendar> read = VdirCalendar::Read(text);
  return read ? read->Text() : std::string();
}

// A line break is one, however the text wrote it (a quoted-printable CR LF reads as CR LF).
std::string WithLf(std::string value) {
  for (const std::string_view crlf : {"\r\n", "=0D=0A"}) {
    for (std::size_t at = value.find(crlf); at != std::string::npos; at = value.find(crlf, at)) value.erase(at, crlf.size() / 2);
  }
  return value;
}

std::string Dump(const std::vector<CDataItem::Ptr>& records) {
  std::string dump;
  for (const CDataItem::Ptr& record : records) {
    dump += "RECORD kind=" + std::to_string(record->kind) + "\n";
    for (const auto& [key, value] : record->properties) dump += "  " + key + "=" + WithLf(value) + "\n";
  }
  return dump;
}

std::string Records(const std::string& text, bool card) {
  if (!card) return Dump(CalendarRecordBuilder::BuildAll(text));
  VCardContext context;
  const PVCardPtr parsed = Zep3_PVCard_FromStream(&context, text);
  if (!parsed) return "(unreadable)";
  CDataItem::Ptr record = CDataItem::Create(ITEM_CONTACT);
  ContactRecordBuilder(*record).Build(*parsed);
  return Dump({record});
}

std::vector<std::string> FilesUnder(const std::string& folder) {
  std::vector<std::string> paths;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string extension = entry.path().extension().string();
    if (extension == ".vcf" || extension == ".vcs" || extension == ".ics") paths.push_back(entry.path().string());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

std::vector<std::string> Corpus() {
  std::vector<std::string> paths = FilesUnder(std::string(LARK_TEST_DATA) + "/fidelity");
  for (std::string& path : FilesUnder(std::string(LARK_TEST_DATA) + "/vdir")) paths.push_back(std::move(path));
  return paths;
}

std::string CaseName(const ::testing::TestParamInfo<std::string>& file) {
  std::string name = fs::path(file.param).parent_path().filename().string() + "_" + fs::path(file.param).stem().string();
  std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
  return name;
}

class VdirText : public ::testing::TestWithParam<std::string> {
 protected:
  // Golden texts and readings are made with the machine in central Europe.
  ScopedTimeZone mMachine{kZoneBerlin};
  std::string mPath = GetParam();
  bool mCard = IsCard(mPath);
  std::string mOriginal = ReadFileBytes(mPath);
  std::string mConverted = Converted(mOriginal, mCard);
};

TEST_P(VdirText, KeepsEveryFieldOfTheOriginal) {
  ASSERT_FALSE(mConverted.empty()) << mPath;
  for (const FieldDifference& difference : CompareItemFields(ReadItemFields(mOriginal), ReadItemFields(mConverted))) {
    ADD_FAILURE() << difference.Describe() << "\n" << mConverted;
  }
}

TEST_P(VdirText, ReadsAsTheSameRecordsAsTheOriginal) {
  if (mOriginal.find("VERSION:4.0") != std::string::npos) GTEST_SKIP() << "the card library reads vCard 2.1 and 3.0 only";
  EXPECT_EQ(Records(mConverted, mCard), Records(mOriginal, mCard)) << mConverted;
}

TEST_P(VdirText, IsStandardTextInShortUtf8Lines) {
  EXPECT_NE(mConverted.find(mCard ? "BEGIN:VCARD\r\nVERSION:3.0\r\n" : "\r\nVERSION:2.0\r\n"), std::string::npos) << mConverted;
  EXPECT_EQ(mConverted.find("QUOTED-PRINTABLE"), std::string::npos);
  EXPECT_EQ(mConverted.find("CHARSET"), std::string::npos);
  std::size_t start = 0;
  for (std::size_t end = mConverted.find("\r\n"); end != std::string::npos; end = mConverted.find("\r\n", start)) {
    EXPECT_LE(end - start, 75u) << mConverted.substr(start, end - start);
    EXPECT_EQ(mConverted.substr(start, end - start).find('\n'), std::string::npos);
    start = end + 2;
  }
  EXPECT_EQ(start, mConverted.size()) << "every line ends in CR LF";
}

TEST_P(VdirText, ConvertingAgainChangesNothing) { EXPECT_EQ(Converted(mConverted, mCard), mConverted); }

INSTANTIATE_TEST_SUITE_P(Files, VdirText, ::testing::ValuesIn(Corpus()), CaseName);

// The store's own corpus against golden texts (LARK_UPDATE_GOLDEN=1 writes them).
class VdirGoldenText : public VdirText {};

TEST_P(VdirGoldenText, IsTheGoldenText) {
  if (std::getenv("LARK_UPDATE_GOLDEN") != nullptr) WriteFileBytes(mPath + ".ref", mConverted);
  EXPECT_EQ(mConverted, ReadFileBytes(mPath + ".ref"));
}

INSTANTIATE_TEST_SUITE_P(Files, VdirGoldenText, ::testing::ValuesIn(FilesUnder(std::string(LARK_TEST_DATA) + "/vdir")), CaseName);

}  // namespace
