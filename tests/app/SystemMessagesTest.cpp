// Message texts of installer and system codes.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "platform/shell/SystemMessages.h"

namespace {

TEST(SystemMessages, InstallerCodesHaveTextsOfTheirOwn) {
  for (int code : {1602, 1603, 1605, 1618, 1619, 1620, 3010}) {
    EXPECT_TRUE(IsInstallerCode(code)) << code;
    EXPECT_FALSE(SystemMessageText(code).empty()) << code;
  }
  EXPECT_NE(SystemMessageText(1602), SystemMessageText(1603));
  EXPECT_NE(SystemMessageText(1619).find("could not be opened"), std::string::npos);
}

TEST(SystemMessages, OtherCodesUseTheSystemErrorTexts) {
  EXPECT_FALSE(IsInstallerCode(ENOENT));
  EXPECT_EQ(SystemMessageText(ENOENT), std::strerror(ENOENT));
  EXPECT_EQ(SystemMessageText(EACCES), std::strerror(EACCES));
}

TEST(SystemMessages, UnknownCodesStillNameTheNumber) {
  EXPECT_NE(SystemMessageText(987654).find("987654"), std::string::npos);
  EXPECT_NE(SystemMessageText(-5).find("-5"), std::string::npos);
}

}  // namespace
