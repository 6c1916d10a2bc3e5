// Readers of the typed e-mail list and the parallel phone and URL lists of a contact record.
#include <gtest/gtest.h>

#include "pim/CDataItem.h"
#include "pim/ItemLists.h"

namespace {

TEST(TabList, OnlyTabTerminatedElementsCountAndEmptyOnesKeepTheirPlace) {
  EXPECT_EQ(SplitTabList("\ta@b\t\t"), (std::vector<std::string>{"", "a@b", ""}));
  EXPECT_EQ(SplitTabList("x\ty"), (std::vector<std::string>{"x"}));
  EXPECT_TRUE(SplitTabList("").empty());
}

TEST(TypedAddressList, ReadsTypeLetterAndAddressAndSkipsShortElements) {
  const auto addresses = ReadTypedAddressList("W:work@x.example\tH:\tX:other@x.example\tW\tH:last@x.example");
  ASSERT_EQ(addresses.size(), 3u);
  EXPECT_TRUE(addresses[0].work);
  EXPECT_EQ(addresses[0].address, "work@x.example");
  EXPECT_FALSE(addresses[1].work) << "any letter but W is home";
  EXPECT_EQ(addresses[1].address, "other@x.example");
  EXPECT_EQ(addresses[2].address, "last@x.example") << "a last element without its TAB is not lost";
}

TEST(AdditionalPhones, DecodesCodesStopsAtTheShorterListAndSkipsEmptyNumbers) {
  CDataItem item;
  item["PR_ZEP_ADDITIONAL_PHONES_LIST"] = "111\t\t222\t333\t444\t";
  item["PR_ZEP_ADDITIONAL_PHONES_ATTR"] = "WCP\tHF\tWF\tHP\t";
  const auto phones = ReadAdditionalPhones(item);
  ASSERT_EQ(phones.size(), 3u);
  EXPECT_EQ(phones[0].number, "111");
  EXPECT_TRUE(phones[0].work);
  EXPECT_EQ(phones[0].kind, PhoneKind::Cell);
  EXPECT_TRUE(phones[0].preferred);
  EXPECT_EQ(phones[1].number, "222");
  EXPECT_EQ(phones[1].kind, PhoneKind::Fax);
  EXPECT_FALSE(phones[1].preferred);
  EXPECT_EQ(phones[2].number, "333");
  EXPECT_FALSE(phones[2].work);
  EXPECT_EQ(phones[2].kind, PhoneKind::Pager);
}

TEST(AdditionalPhones, ShortOrEmptyCodesMeanHomeVoice) {
  const auto phones = ReadAdditionalPhones("1\t2\t", "\tHX\t");
  ASSERT_EQ(phones.size(), 2u);
  EXPECT_FALSE(phones[0].work);
  EXPECT_EQ(phones[0].kind, PhoneKind::Voice);
  EXPECT_EQ(phones[1].kind, PhoneKind::Voice);
}

TEST(AdditionalUrls, ReadsOnlyTheFirstCodeLetter) {
  CDataItem item;
  item["PR_ZEP_ADDITIONAL_URLS_LIST"] = "http://a.example\thttp://b.example\t\t";
  item["PR_ZEP_ADDITIONAL_URLS_ATTR"] = "WCP\tH\tW\t";
  const auto urls = ReadAdditionalUrls(item);
  ASSERT_EQ(urls.size(), 2u);
  EXPECT_TRUE(urls[0].work);
  EXPECT_EQ(urls[1].address, "http://b.example");
  EXPECT_FALSE(urls[1].work);
}

}  // namespace
