// What reaches a terminal of a text that may come from a server, a file or a store.
#include <gtest/gtest.h>

#include <string>

#include "common/TerminalText.h"

namespace {

struct Row {
  std::string text;
  std::string written;
};

TEST(TerminalSafe, ControlsAndInvalidBytesBecomeQuestionMarksAndTextStaysWhole) {
  const Row rows[] = {
      {"plain \xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "plain \xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"},
      {std::string("\x1b[2J\x07\0x\x7f", 8), "?[2J??x?"},
      {"line\r\nnext\ttab", "line??next?tab"},
      {"\xc2\x9b" "31m and \xc2\x85 and \xc2\xa0", "?31m and ? and \xc2\xa0"},  // C1 controls; NBSP stays
      {"lone \x9b" "31m", "lone ?31m"},                                        // a raw C1 byte
      {"cut \xe2\x82", "cut ??"},                                              // a truncated sequence
      {"overlong \xc0\xaf surrogate \xed\xa0\x80 big \xf4\x90\x80\x80", "overlong ?? surrogate ??? big ????"},
  };
  for (const Row& row : rows) EXPECT_EQ(TerminalSafe(row.text), row.written) << row.text;
  EXPECT_EQ(TerminalSafe("one\ntwo\tthree\r\n", true), "one\ntwo\tthree?\n");
}

}  // namespace
