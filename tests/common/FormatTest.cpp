// Typed printf-style formatting: the conversions the program's texts use, and safety against
// formats that do not match their arguments.
#include <gtest/gtest.h>

#include <cmath>

#include "common/Format.h"

TEST(FormatText, RendersTheConversionsTheTextsUse) {
  EXPECT_EQ(FormatText("HTTP error %d : no response from server.", {401}), "HTTP error 401 : no response from server.");
  EXPECT_EQ(FormatText("Sending item %d of %d to the server", {3, 10}), "Sending item 3 of 10 to the server");
  EXPECT_EQ(FormatText("%s%s.%s", {"/cfg/", "Contacts", "dat"}), "/cfg/Contacts.dat");
  EXPECT_EQ(FormatText("%.20f", {45000.5}), "45000.50000000000000000000");
  EXPECT_EQ(FormatText("%lld|%ld|%lu|%u", {-5LL, 7L, 8UL, 9U}), "-5|7|8|9");
  EXPECT_EQ(FormatText("0x%x %04X %%", {255, 10}), "0xff 000A %");
  EXPECT_EQ(FormatText("[%-4s|%4s|%.2s]", {"ab", "cd", "efgh"}), "[ab  |  cd|ef]");
}

TEST(FormatText, MismatchedArgumentsNeverReadBeyondWhatWasGiven) {
  EXPECT_EQ(FormatText("%s and %s", {"one"}), "one and ");
  EXPECT_EQ(FormatText("%d", {"42abc"}), "42");
  EXPECT_EQ(FormatText("%s", {17}), "17");
  EXPECT_EQ(FormatText("%n%p%d", {5}), "5");
  EXPECT_EQ(FormatText("trailing %", {1}), "trailing ");
  EXPECT_LE(FormatText("%999999999d", {1}).size(), 9999u);
  EXPECT_EQ(FormatText("%d|%d", {std::nan(""), 1e300}), "0|9223372036854775807");
}
