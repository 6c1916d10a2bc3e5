// Atomic replacement keeps the old content whenever the new one cannot be written completely.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <iterator>
#include <stdexcept>

#include "common/AtomicFile.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/TempDir.h"

TEST(AtomicFile, ReplacesContentAndSetsMode) {
  TempDir dir;
  const std::string path = dir.File("a.cfg");
  WriteFileBytes(path, "old");
  ASSERT_TRUE(WriteFileAtomically(path, std::string("new\0content", 11), 0600));
  EXPECT_EQ(ReadFileBytes(path), std::string("new\0content", 11));
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(AtomicFile, MissingFolderFailsWithReason) {
  TempDir dir;
  std::string error;
  EXPECT_FALSE(WriteFileAtomically(dir.File("no/such/file"), "x", 0600, &error));
  EXPECT_NE(error.find("cannot create"), std::string::npos);
}

// A full disk is simulated with a file-size limit in a child process: the write fails half-way.
TEST(AtomicFile, WriteFailingHalfWayLeavesTheOldFileAndNoTemporary) {
  TempDir dir;
  const std::string path = dir.File("index.dat");
  WriteFileBytes(path, "previous content");
  EXPECT_EQ(RunWithFileSizeLimit(4096, [&] { return WriteFileAtomically(path, std::string(100000, 'x')) ? 0 : 1; }), 1);
  EXPECT_EQ(ReadFileBytes(path), "previous content");
  int entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
    (void)entry;
    ++entries;
  }
  EXPECT_EQ(entries, 1);
}

TEST(AtomicFile, ReadWholeFileRefusesFilesAboveTheLimit) {
  TempDir dir;
  WriteFileBytes(dir.File("big"), std::string(1000, 'a'));
  std::string content, error;
  EXPECT_FALSE(ReadWholeFile(dir.File("big"), content, 999, &error));
  EXPECT_TRUE(content.empty());
  EXPECT_TRUE(ReadWholeFile(dir.File("big"), content, 1000));
  EXPECT_EQ(content.size(), 1000u);
}

TEST(AtomicFile, ContentInPiecesIsWrittenWholeOrNotAtAll) {
  TempDir dir;
  const std::string path = dir.File("index.dat");
  WriteFileBytes(path, "previous content");
  const auto count = [&dir] {
    return std::distance(std::filesystem::directory_iterator(dir.Path()), std::filesystem::directory_iterator());
  };
  // A producer that gives up, or throws, leaves the old file and no temporary.
  EXPECT_FALSE(WriteFileAtomically(path, [](const ContentWriter& write) { return write("partial") && false; }));
  EXPECT_THROW(WriteFileAtomically(path, [](const ContentWriter& write) -> bool {
                 write("partial");
                 throw std::runtime_error("stop");
               }),
               std::runtime_error);
  EXPECT_EQ(ReadFileBytes(path), "previous content");
  EXPECT_EQ(count(), 1);
  ASSERT_TRUE(WriteFileAtomically(path, [](const ContentWriter& write) {
    return write("first ") && write(std::string_view("\0second", 7)) && write("");
  }));
  EXPECT_EQ(ReadFileBytes(path), std::string("first \0second", 13));
  EXPECT_EQ(count(), 1);
}
