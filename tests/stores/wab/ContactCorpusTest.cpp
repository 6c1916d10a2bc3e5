// Golden corpus of the contact field rules: every .vcf under tests/data/wab against its .vcf.ref,
// which holds the properties the store writes for the card and the vCard the book's record of it
// gives back. With LARK_UPDATE_GOLDEN set the references are rewritten instead (review the diff).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "pim/MapiPropertyName.h"
#include "stores/wab/ContactProperties.h"
#include "tests/stores/wab/WabStoreFixture.h"

namespace {

namespace fs = std::filesystem;

std::string DumpProperties(const ContactProperties& properties) {
  std::vector<std::string> lines;
  for (const ContactValue& value : properties.Values()) {
    std::string line = MapiPropertyName(value.tag) + (PROP_TYPE(value.tag) == PT_MV_UNICODE ? "[]=" : "=");
    for (std::size_t i = 0; i < value.texts.size(); ++i) line += (i == 0 ? "" : " | ") + value.texts[i];
    lines.push_back(line + "\n");
  }
  std::sort(lines.begin(), lines.end());
  std::string dump;
  for (const std::string& line : lines) dump += line;
  return dump;
}

class ContactCorpus : public WabStoreTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(ContactCorpus, WritesTheReferencePropertiesAndReadsBackTheReferenceCard) {
  const std::string path = GetParam();
  ParsedCard card(ReadFileBytes(path));
  ASSERT_TRUE(card.card) << path;
  std::string dump = "# properties written\n" + DumpProperties(BuildContactProperties(*card.card, "1700000000_0"));

  std::string id;
  {
    auto store = LoadedStore();
    ASSERT_EQ(store->AddAddressBookItem(*card.card, id, "S1", "text/x-vcard"), kStoreOk);
  }
  auto store = LoadedStore();
  const CDataItem::Ptr record = store->mCurrentItems.Find(id);
  ASSERT_TRUE(record) << id;
  dump += "# vCard of the stored contact\n" + record->ToVCard();

  if (std::getenv("LARK_UPDATE_GOLDEN") != nullptr) WriteFileBytes(path + ".ref", dump);
  EXPECT_EQ(dump, ReadFileBytes(path + ".ref")) << path;
}

std::vector<std::string> CorpusFiles() {
  std::vector<std::string> paths;
  for (const auto& entry : fs::directory_iterator(std::string(LARK_TEST_DATA) + "/wab")) {
    if (entry.path().extension() == ".vcf") paths.push_back(entry.path().string());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

INSTANTIATE_TEST_SUITE_P(Cards, ContactCorpus, ::testing::ValuesIn(CorpusFiles()), [](const auto& file) {
  std::string name = fs::path(file.param).stem().string();
  std::replace(name.begin(), name.end(), '-', '_');
  return name;
});

}  // namespace
