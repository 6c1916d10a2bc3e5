// Item properties: map behaviour in both forms, stable references, shared names, and records that
// stay packed while they are read.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "pim/CDataItem.h"
#include "pim/ItemProperties.h"

namespace {

const std::map<std::string, std::string> kContact = {
    {"PR_DISPLAY_NAME", "Ada Lovelace"},
    {"PR_COMMENT", ""},
    {"PR_BODY", std::string("a\0b\r\nc", 6)},
    {"PR_LAST_MODIFICATION_TIME", "46000.12345678901234567890"},
    {"PR_ZEP_ADDITIONAL_PHONES_LIST", "+44 20 7946 0001\t+44 20 7946 0002\t"},
};

std::map<std::string, std::string> Visited(const ItemProperties& properties) {
  std::map<std::string, std::string> seen;
  std::vector<std::string> order;
  properties.ForEach([&](const std::string& name, std::string_view value) {
    order.push_back(name);
    seen.emplace(name, std::string(value));
  });
  EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
  return seen;
}

}  // namespace

TEST(ItemProperties, PackedAndExpandedFormsReadTheSame) {
  ItemProperties expanded = kContact;
  ItemProperties packed = kContact;
  packed.Pack();
  ASSERT_TRUE(packed.IsPacked());
  for (const ItemProperties* properties : {&expanded, &packed}) {
    EXPECT_EQ(properties->size(), kContact.size());
    EXPECT_EQ(Visited(*properties), kContact);
    for (const auto& [name, value] : kContact) {
      std::string_view found;
      EXPECT_TRUE(properties->Lookup(name, found)) << name;
      EXPECT_EQ(found, value);
      EXPECT_EQ(properties->count(name), 1u);
    }
    std::string_view missing = "left over";
    EXPECT_FALSE(properties->Lookup("PR_SURNAME", missing));
    EXPECT_TRUE(missing.empty());
    EXPECT_FALSE(properties->Contains("pr_display_name")) << "names are case-sensitive";
  }
  EXPECT_TRUE(packed.IsPacked()) << "reading must not expand";
  EXPECT_EQ(packed, expanded);
  EXPECT_EQ(packed, kContact);
}

// Pool numbers and lengths past one byte (the packed block writes both in 7-bit groups).
TEST(ItemProperties, ManyNamesAndLongValuesSurvivePacking) {
  std::map<std::string, std::string> many;
  for (int i = 0; i < 300; ++i) many["0x" + std::to_string(80000 + i)] = std::string(static_cast<size_t>(i) * 70, 'v');
  many["PR_BODY"] = std::string(20000, 'b');
  ItemProperties packed = many;
  packed.Pack();
  ASSERT_TRUE(packed.IsPacked());
  EXPECT_EQ(Visited(packed), many);
  std::string_view found;
  ASSERT_TRUE(packed.Lookup("0x80299", found));
  EXPECT_EQ(found.size(), 299u * 70);
  EXPECT_FALSE(packed.Contains("0x80300"));
  packed.Expand();
  EXPECT_EQ(packed, many);
}

TEST(ItemProperties, ChangingAPackedMapExpandsItWithEveryValue) {
  ItemProperties properties = kContact;
  properties.Pack();
  properties["PR_SURNAME"] = "Lovelace";
  EXPECT_FALSE(properties.IsPacked());
  EXPECT_EQ(properties.size(), kContact.size() + 1);
  EXPECT_EQ(properties["PR_BODY"], std::string("a\0b\r\nc", 6));
  properties.Pack();
  EXPECT_EQ(properties.erase("PR_COMMENT"), 1u);
  EXPECT_EQ(properties.erase("PR_COMMENT"), 0u);
  properties.Pack();
  properties.clear();
  EXPECT_TRUE(properties.empty());
  EXPECT_FALSE(properties.IsPacked());
  ItemProperties none;
  none.Pack();
  EXPECT_TRUE(none.empty());
  EXPECT_EQ(none, (std::map<std::string, std::string>{}));
}

TEST(ItemProperties, AValueReferenceOutlivesLaterInsertions) {
  ItemProperties properties;
  std::string& first = properties["PR_GIVEN_NAME"];
  first = "Ada";
  for (int i = 0; i < 200; ++i) properties["PR_KEY_" + std::to_string(i)] = std::to_string(i);
  EXPECT_EQ(first, "Ada");
  first += " King";
  EXPECT_EQ(properties.find("PR_GIVEN_NAME")->second, "Ada King");
  // The right side is read before the left one inserts: the value copied must still be there.
  properties["PR_NICKNAME"] = properties["PR_GIVEN_NAME"];
  EXPECT_EQ(properties["PR_NICKNAME"], "Ada King");
}

TEST(ItemProperties, ACopyOfAPackedMapIsIndependent) {
  ItemProperties original = kContact;
  original.Pack();
  ItemProperties copy = original;
  EXPECT_TRUE(copy.IsPacked());
  copy["PR_DISPLAY_NAME"] = "Someone else";
  EXPECT_EQ(original, kContact);
  ItemProperties assigned;
  assigned = original;
  EXPECT_EQ(assigned, kContact);
  ItemProperties moved = std::move(assigned);
  EXPECT_EQ(moved, kContact);
}

TEST(ItemProperties, EveryRecordSharesOneCopyOfEachName) {
  CDataItem first, second;
  first["PR_BUSINESS_TELEPHONE_NUMBER"] = "1";
  second["PR_BUSINESS_TELEPHONE_NUMBER"] = "2";
  const std::string& a = (*first.properties.begin()).first;
  const std::string& b = (*second.properties.begin()).first;
  EXPECT_EQ(&a, &b);
  EXPECT_EQ(&a, &InternPropertyName("PR_BUSINESS_TELEPHONE_NUMBER"));
  EXPECT_NE(&InternPropertyName("PR_A"), &InternPropertyName("PR_B"));
}

TEST(ItemProperties, APackedRecordGivesItsTextAndStaysPacked) {
  CDataItem record(ITEM_CONTACT);
  record.itemId = "ada.vcf";
  record.properties = kContact;
  record["PR_GIVEN_NAME"] = "Ada";
  record["PR_SURNAME"] = "Lovelace";
  const std::string expanded = record.ToText();
  record.Pack();
  EXPECT_EQ(record.ToText(), expanded);
  EXPECT_TRUE(record.properties.IsPacked());
  EXPECT_EQ(record.PropertyView("PR_SURNAME"), "Lovelace");
  std::string value;
  EXPECT_TRUE(record.GetProperty("PR_COMMENT", value));
  EXPECT_FALSE(record.GetProperty("PR_NICKNAME", value));
  EXPECT_TRUE(record.properties.IsPacked());
  EXPECT_EQ(record.Property("PR_GIVEN_NAME"), "Ada");
}
