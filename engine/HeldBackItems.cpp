#include "engine/HeldBackItems.h"

#include <string_view>

#include "pim/CDataItem.h"
#include "pim/CalendarRecordBuilder.h"
#include "pim/ContactRecordBuilder.h"
#include "pim/VCardContext.h"
#include "pim/VCardParser.h"

namespace {

// What a store keeps of its own in a record, which the server's copy cannot have, and the keys
// without a value (a server writes every property it knows, empty ones too): an empty value, or
// a list of empty elements and the codes that go with them.
void DropLocalAndEmptyKeys(CDataItem& record) {
  record.itemId.clear();
  record.properties.erase("PR_ENTRYID");
  record.properties.erase("PR_LAST_MODIFICATION_TIME");
  std::vector<std::string> empty;
  for (const auto& [key, value] : record.properties) {
    if (value.find_first_not_of('\t') != std::string::npos) continue;
    empty.push_back(key);
    constexpr std::string_view kList = "_LIST";
    if (key.size() > kList.size() && key.compare(key.size() - kList.size(), kList.size(), kList) == 0) {
      empty.push_back(key.substr(0, key.size() - kList.size()) + "_ATTR");
    }
  }
  for (const std::string& key : empty) record.properties.erase(key);
}

std::string ReadBackText(const std::string& text, int kind) {
  if (kind == ITEM_CONTACT) {
    VCardContext context;
    const PVCardPtr card = Zep3_PVCard_FromStream(&context, text);
    if (!card) return text;
    CDataItem read(ITEM_CONTACT);
    ContactRecordBuilder(read).Build(*card);
    DropLocalAndEmptyKeys(read);
    return read.ToText();
  }
  // A series is compared by itself, whether its changed occurrences come along or not.
  const CDataItem::Ptr read = CalendarRecordBuilder::Build(text);
  if (!read) return text;
  DropLocalAndEmptyKeys(*read);
  return read->ToText();
}

}  // namespace

std::string ComparableText(const CDataItem& record) {
  CDataItem copy = record;
  DropLocalAndEmptyKeys(copy);
  return ReadBackText(copy.ToText(), copy.kind);
}

void HeldBackItems::Hold(const CDataItem& record) {
  if (record.kind == ITEM_GROUP) return;
  mTexts[record.itemId] = ComparableText(record);
}

std::vector<std::string> HeldBackItems::Ids() const {
  std::vector<std::string> ids;
  for (const auto& [id, text] : mTexts) ids.push_back(id);
  return ids;
}

std::string HeldBackItems::TakeCopyOf(const CDataItem& record) {
  if (mTexts.empty()) return {};
  const std::string text = ComparableText(record);
  for (auto held = mTexts.begin(); held != mTexts.end(); ++held) {
    if (held->second != text) continue;
    std::string id = held->first;
    mTexts.erase(held);
    return id;
  }
  return {};
}
