// Index files kept by earlier builds: each stored file under tests/data/index loads into the records
// its ".ref" dump lists, and a file in the written form is written back byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "engine/CDataItemList.h"

namespace {

namespace fs = std::filesystem;

fs::path IndexData() { return fs::path(LARK_TEST_DATA) / "index"; }

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Control characters and the backslash as \xHH, so that a dump is one line per field.
std::string Escape(const std::string& text) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || c == '\\') {
      out += "\\x";
      out += kDigits[byte >> 4];
      out += kDigits[byte & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

// Every record in list order: its itemId, then its properties sorted by name.
std::string Dump(const CDataItemList& list) {
  std::string out = "records\t" + std::to_string(list.Count()) + "\n";
  for (const CDataItem::Ptr& record : list.Items()) {
    out += "item\t" + Escape(record->itemId) + "\n";
    std::map<std::string, std::string> sorted;
    for (const auto& [name, value] : record->properties) sorted.emplace(name, value);
    for (const auto& [name, value] : sorted) out += "  " + Escape(name) + "\t" + Escape(value) + "\n";
  }
  return out;
}

std::vector<fs::path> StoredIndexFiles() {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(IndexData())) {
    if (entry.path().extension() == ".dat") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Files whose strings are 8-bit text, as releases before the UTF-16 form wrote them: they load,
// and are written back in the UTF-16 form.
bool IsEightBitFile(const fs::path& file) { return file.stem().string().find("8bit") != std::string::npos; }

}  // namespace

TEST(IndexFileGolden, EveryStoredFileLoadsIntoTheRecordsOfItsDump) {
  const std::vector<fs::path> files = StoredIndexFiles();
  ASSERT_GE(files.size(), 6u) << "stored index files are missing from " << IndexData();
  const bool write = std::getenv("LARK_WRITE_GOLDEN") != nullptr;
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.filename().string());
    CDataItemList list;
    ASSERT_TRUE(list.Deserialize(ReadBytes(file)));
    EXPECT_GT(list.Count(), 0u);
    fs::path reference = file;
    reference += ".ref";
    if (write) {
      std::ofstream(reference, std::ios::binary) << Dump(list);
      continue;
    }
    EXPECT_EQ(Dump(list), ReadBytes(reference));
    // Loading the file itself, which is read in pieces, gives the same records.
    CDataItemList loaded;
    loaded.SetPath(file.parent_path().string() + "/", file.stem().string());
    loaded.LoadFile();
    EXPECT_EQ(Dump(loaded), Dump(list));
  }
}

TEST(IndexFileGolden, AStoredFileIsWrittenBackByteForByte) {
  for (const fs::path& file : StoredIndexFiles()) {
    if (IsEightBitFile(file)) continue;
    SCOPED_TRACE(file.filename().string());
    const std::string bytes = ReadBytes(file);
    CDataItemList list;
    ASSERT_TRUE(list.Deserialize(bytes));
    EXPECT_TRUE(list.Serialize() == bytes) << "the written form differs from the stored file";
  }
}

TEST(IndexFileGolden, AnEightBitFileLoadsLikeItsUtf16Twin) {
  CDataItemList narrow, wide;
  ASSERT_TRUE(narrow.Deserialize(ReadBytes(IndexData() / "contacts-8bit.dat")));
  ASSERT_TRUE(wide.Deserialize(narrow.Serialize()));
  EXPECT_EQ(Dump(wide), Dump(narrow));
  EXPECT_EQ(wide.Serialize(), narrow.Serialize());
}
