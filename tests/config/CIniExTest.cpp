// The settings file: encodings on read and write, entry rules, letter case, atomic saving, bad input.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>

#include "config/CIniEx.h"
#include "tests/config/TestFiles.h"
#include "tests/support/TempDir.h"

namespace {

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 0777) : 0;
}

}  // namespace

TEST(CIniEx, WritesUtf16LittleEndianWithoutBomAndWithLfLineEnds) {
  TempDir dir;
  const std::string path = dir.File("a.cfg");
  {
    CIniEx ini;
    ASSERT_TRUE(ini.Open(path, false, true));
    ini.SetValue("S", "name", "Jürgen");
    ini.SetValue("S", "k", "v");
    EXPECT_EQ(ini.Write(), path);
  }
  EXPECT_EQ(ReadFileBytes(path), Utf16Le("[S]\nname=Jürgen\nk=v\n"));
  EXPECT_EQ(ModeOf(path), 0600u);
}

TEST(CIniEx, ReadsUtf16FileIncludingCharactersBeyondLatin1) {
  TempDir dir;
  const std::string path = dir.File("a.cfg");
  WriteFileBytes(path, Utf16Le("[S]\r\nname=Łódź €\r\n\r\n[T]\nx=1"));
  CIniEx ini;
  ASSERT_TRUE(ini.Open(path));
  EXPECT_EQ(ini.GetValue("S", "name"), "Łódź €");
  EXPECT_EQ(ini.GetValue("T", "x"), "1");
}

TEST(CIniEx, FirstLineNotStartingWithBracketSwitchesToEightBitText) {
  TempDir dir;
  const std::string path = dir.File("a.cfg");
  // Byte 0xE9 is "é" in the 8-bit reading; CR LF ends a line.
  WriteFileBytes(path, "; old file\r\n[QuenorSync]\r\nlogin=Ren\xE9\r\nurl=http://h/ \t\r\n");
  CIniEx ini;
  ASSERT_TRUE(ini.Open(path));
  EXPECT_EQ(ini.GetValue("QuenorSync", "login"), "René");
  EXPECT_EQ(ini.GetValue("QuenorSync", "url"), "http://h/");
}

TEST(CIniEx, FileWithByteOrderMarkIsReadAsEightBitAndYieldsNoSections) {
  TempDir dir;
  const std::string path = dir.File("a.cfg");
  WriteFileBytes(path, "\xFF\xFE" + Utf16Le("[S]\nk=v\n"));
  CIniEx ini;
  ASSERT_TRUE(ini.Open(path));
  EXPECT_FALSE(ini.HasSection("S"));
  EXPECT_EQ(ini.GetValue("S", "k", "default"), "default");
}

TEST(CIniEx, Utf16FileStartingWithEmptyLineStaysUtf16) {
  TempDir dir;
  const std::string path = dir.File("a.cfg");
  WriteFileBytes(path, Utf16Le("\n[S]\nk=v\n"));
  CIniEx ini;
  ASSERT_TRUE(ini.Open(path));
  EXPECT_EQ(ini.GetValue("S", "k"), "v");
}

TEST(CIniEx, LineRulesKeyValueSplitAndIgnoredLeadingEntries) {
  TempDir dir;
  const std::string path = dir.File("a.cfg");
  WriteFileBytes(path, Utf16Le("[S]\n lead=a=b  \nflag\n[]\nq=1\n"));
  CIniEx ini;
  ASSERT_TRUE(ini.Open(path));
  EXPECT_EQ(ini.GetValue("S", " lead"), "a=b");      // key before the first "=", nothing trimmed but the end
  EXPECT_TRUE(ini.HasKey("S", "flag"));               // a line without "=" is a key with an empty value
  EXPECT_EQ(ini.GetValue("S", "flag", "x"), "");
  EXPECT_EQ(ini.GetValue("", "q"), "1");              // "[]" is a section with an empty name

  WriteFileBytes(path, Utf16Le("orphan=1\n[S]\nk=v\n"));
  ASSERT_TRUE(ini.Open(path));
  EXPECT_EQ(ini.GetValue("", "orphan", "none"), "none");  // entries before the first section are ignored
}

TEST(CIniEx, GetterCutsAtLastSemicolonWithoutTrimming) {
  TempDir dir;
  const std::string path = dir.File("a.cfg");
  WriteFileBytes(path, Utf16Le("[S]\nthree=a;b;c\nspaced=x ;note\nnone=plain\n"));
  CIniEx ini;
  ASSERT_TRUE(ini.Open(path));
  EXPECT_EQ(ini.GetValue("S", "three"), "a;b");
  EXPECT_EQ(ini.GetValue("S", "spaced"), "x ");
  EXPECT_EQ(ini.GetValue("S", "none"), "plain");
}

TEST(CIniEx, ValuesHoldingSemicolonsReadBackWhole) {
  TempDir dir;
  const std::string path = dir.File("a.cfg");
  {
    CIniEx ini;
    ASSERT_TRUE(ini.Open(path, true, true));
    ini.SetValue("S", "url", "https://h/sync;jsessionid=1");
    ini.SetValue("S", "plain", "no comment here");
    EXPECT_EQ(ini.GetValue("S", "url"), "https://h/sync;jsessionid=1");
    EXPECT_NE(ini.Serialize().find(Utf16Le("url=https://h/sync;jsessionid=1;\n")), std::string::npos);
    EXPECT_NE(ini.Serialize().find(Utf16Le("plain=no comment here\n")), std::string::npos);
  }
  CIniEx ini;
  ASSERT_TRUE(ini.Open(path, true));
  EXPECT_EQ(ini.GetValue("S", "url"), "https://h/sync;jsessionid=1");
  ini.SetValue("S", "url", "https://h/sync;jsessionid=1");
  EXPECT_FALSE(ini.IsModified());
}

TEST(CIniEx, DuplicateKeysGetterAndSetterUseTheLaterAndBothAreWrittenBack) {
  TempDir dir;
  const std::string path = dir.File("a.cfg");
  WriteFileBytes(path, Utf16Le("[S]\nk=first\nother=o\nk=second\n"));
  CIniEx ini;
  ASSERT_TRUE(ini.Open(path));
  EXPECT_EQ(ini.GetValue("S", "k"), "second");
  ini.SetValue("S", "k", "third");
  ASSERT_EQ(ini.Write(), path);
  EXPECT_EQ(ReadFileBytes(path), Utf16Le("[S]\nk=first\nother=o\nk=third\n"));
}

TEST(CIniEx, NamesIgnoreLetterCaseAndCaseOnlyValueChangeIsNotWritten) {
  TempDir dir;
  const std::string path = dir.File("a.cfg");
  const std::string original = Utf16Le("[QuenorSync]\nLogin=Alice\n");
  WriteFileBytes(path, original);
  CIniEx ini;
  ASSERT_TRUE(ini.Open(path, true));
  EXPECT_EQ(ini.GetValue("quenorsync", "LOGIN"), "Alice");
  ini.SetValue("QUENORSYNC", "login", "ALICE");
  EXPECT_FALSE(ini.IsModified());
  EXPECT_EQ(ini.Write(), "");
  EXPECT_EQ(ReadFileBytes(path), original);
  // The new spelling travels along with the next real change.
  ini.SetValue("QuenorSync", "url", "u");
  ASSERT_EQ(ini.Write(), path);
  EXPECT_EQ(ReadFileBytes(path), Utf16Le("[QuenorSync]\nLogin=ALICE\nurl=u\n"));
}

TEST(CIniEx, CaseSensitiveModeDistinguishesNamesAndValues) {
  TempDir dir;
  const std::string path = dir.File("a.cfg");
  WriteFileBytes(path, Utf16Le("[S]\nk=v\n"));
  CIniEx ini;
  ASSERT_TRUE(ini.Open(path, false, false, false));
  EXPECT_EQ(ini.GetValue("s", "k", "none"), "none");
  ini.SetValue("S", "k", "V");
  EXPECT_TRUE(ini.IsModified());
}

TEST(CIniEx, SetRemoveAndRoundTrip) {
  TempDir dir;
  const std::string path = dir.File("a.cfg");
  CIniEx ini;
  ASSERT_TRUE(ini.Open(path, false, true));
  EXPECT_FALSE(ini.IsModified());
  ini.SetValue("A", "one", "1");
  ini.SetValue("B", "two", "2");
  ini.SetValue("A", "three", "3");
  EXPECT_TRUE(ini.RemoveKey("a", "ONE"));
  EXPECT_FALSE(ini.RemoveKey("A", "missing"));
  EXPECT_TRUE(ini.RemoveSection("b"));
  EXPECT_FALSE(ini.RemoveSection("B"));
  ASSERT_EQ(ini.Write(), path);
  EXPECT_EQ(ReadFileBytes(path), Utf16Le("[A]\nthree=3\n"));
}

TEST(CIniEx, RemoveSectionsTakesRepeatedSectionsToo) {
  TempDir dir;
  const std::string path = dir.File("a.cfg");
  WriteFileBytes(path, Utf16Le("[x]\na=1\n[keep]\nb=2\n[X]\nc=3\n"));
  CIniEx ini;
  ASSERT_TRUE(ini.Open(path));
  EXPECT_EQ(ini.RemoveSections({"x"}), 2u);
  EXPECT_FALSE(ini.HasSection("x"));
  EXPECT_EQ(ini.GetValue("keep", "b"), "2");
}

// An empty key or section name, and a value with a line break, must not lose or inject entries.
TEST(CIniEx, UnusualNamesAndLineBreaksSurviveTheRoundTrip) {
  TempDir dir;
  const std::string path = dir.File("a.cfg");
  {
    CIniEx ini;
    ASSERT_TRUE(ini.Open(path, true, true));
    ini.SetValue("S", "", "kept");
    ini.SetValue("", "k", "empty-named");
    ini.SetValue("S", "name", "evil\n[QuenorSync]\nurl=http://attacker/");
  }
  CIniEx ini;
  ASSERT_TRUE(ini.Open(path));
  EXPECT_EQ(ini.GetValue("S", ""), "kept");
  EXPECT_EQ(ini.GetValue("", "k"), "empty-named");
  EXPECT_FALSE(ini.HasSection("QuenorSync"));
  EXPECT_EQ(ini.GetValue("S", "name"), "evil [QuenorSync] url=http://attacker/");
}

TEST(CIniEx, OpenCreatesOnlyWhenAskedAndNeverTruncates) {
  TempDir dir;
  const std::string path = dir.File("new.cfg");
  CIniEx ini;
  EXPECT_FALSE(ini.Open(path));
  EXPECT_FALSE(ini.IsOpen());
  ASSERT_TRUE(ini.Open(path, false, true));
  EXPECT_EQ(ModeOf(path), 0600u);
  EXPECT_EQ(ReadFileBytes(path), "");

  WriteFileBytes(path, Utf16Le("[S]\nk=v\n"));
  ASSERT_TRUE(ini.Open(path, false, true));
  EXPECT_EQ(ini.GetValue("S", "k"), "v");
  EXPECT_EQ(ReadFileBytes(path), Utf16Le("[S]\nk=v\n"));
}

TEST(CIniEx, WriteOnCloseWritesModifiedFileAtDestructionAndOnReopen) {
  TempDir dir;
  const std::string first = dir.File("first.cfg");
  const std::string second = dir.File("second.cfg");
  {
    CIniEx ini;
    ASSERT_TRUE(ini.Open(first, true, true));
    ini.SetValue("S", "k", "1");
    ASSERT_TRUE(ini.Open(second, false, true));  // writes `first`
    EXPECT_EQ(ReadFileBytes(first), Utf16Le("[S]\nk=1\n"));
    ini.SetValue("S", "k", "2");                 // `second` is not write-on-close
  }
  EXPECT_EQ(ReadFileBytes(second), "");
  {
    CIniEx ini;
    ASSERT_TRUE(ini.Open(second, true, true));
    ini.SetValue("S", "k", "3");
  }
  EXPECT_EQ(ReadFileBytes(second), Utf16Le("[S]\nk=3\n"));
}

TEST(CIniEx, BackupKeepsThePreviousFile) {
  TempDir dir;
  const std::string path = dir.File("a.cfg");
  WriteFileBytes(path, Utf16Le("[S]\nk=old\n"));
  CIniEx ini;
  ASSERT_TRUE(ini.Open(path, false, false, true, true));
  ini.SetValue("S", "k", "new");
  ASSERT_EQ(ini.Write(), path);
  EXPECT_EQ(ReadFileBytes(path + ".bak"), Utf16Le("[S]\nk=old\n"));
  EXPECT_EQ(ReadFileBytes(path), Utf16Le("[S]\nk=new\n"));
}

TEST(CIniEx, FailedWriteLeavesThePreviousFileWholeAndReportsEmptyPath) {
  TempDir dir;
  const std::string path = dir.File("a.cfg");
  const std::string original = Utf16Le("[S]\nk=original value\n");
  WriteFileBytes(path, original);
  const int result = RunWithFileSizeLimit(64, [&] {
    CIniEx ini;
    if (!ini.Open(path)) return 2;
    ini.SetValue("S", "big", std::string(10000, 'x'));
    return ini.Write().empty() ? 1 : 0;
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(ReadFileBytes(path), original);
}

TEST(CIniEx, TruncatedOddLengthFileLoadsWhatIsThere) {
  TempDir dir;
  const std::string path = dir.File("a.cfg");
  const std::string full = Utf16Le("[S]\nk=v\nlast=value");
  WriteFileBytes(path, full.substr(0, full.size() - 3));
  CIniEx ini;
  ASSERT_TRUE(ini.Open(path));
  EXPECT_EQ(ini.GetValue("S", "k"), "v");
  EXPECT_EQ(ini.GetValue("S", "last"), "val");  // the half unit at the end is dropped
}

TEST(CIniEx, BinaryAndHugeFilesLoadWithoutCrashing) {
  TempDir dir;
  std::mt19937 random(7);
  std::string noise(10 << 20, '\0');
  for (char& byte : noise) byte = static_cast<char>(random());
  for (const std::string& content : {noise, "[" + noise, Utf16Le("[S]\n") + noise, std::string("\0\0\0", 3)}) {
    const std::string path = dir.File("noise.cfg");
    WriteFileBytes(path, content);
    CIniEx ini;
    EXPECT_TRUE(ini.Open(path));
    ini.SetValue("S", "k", "v");
    EXPECT_EQ(ini.GetValue("S", "k"), "v");
  }
}

TEST(CIniEx, FilesAboveTheCeilingOrNotRegularCannotBeOpened) {
  TempDir dir;
  const std::string path = dir.File("sparse.cfg");
  const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(CIniEx::kMaxFileSize + 1)), 0);
  ::close(fd);
  CIniEx ini;
  EXPECT_FALSE(ini.Open(path));
  EXPECT_FALSE(ini.Open(dir.Path(), false, true));
}
