// Item record: property access and the choice of text form by kind.
#include "pim/CDataItem.h"

bool CDataItem::GetProperty(const std::string& key, std::string& value) const {
  const auto it = properties.find(key);
  if (it == properties.end()) {
    value.clear();
    return false;
  }
  value = it->second;
  return true;
}

const std::string& CDataItem::Property(const std::string& key) const {
  static const std::string kEmpty;
  const auto it = properties.find(key);
  return it == properties.end() ? kEmpty : it->second;
}

std::string CDataItem::ContentTypeOf() const {
  switch (kind) {
    case ITEM_GROUP:
      return "text/zep-group";
    case ITEM_TASK:
    case ITEM_EVENT:
      return "text/x-vcalendar";
    default:
      return "text/x-vcard";
  }
}

std::string CDataItem::ToText() const { return kind == ITEM_TASK || kind == ITEM_EVENT ? ToVCalendar() : ToVCard(); }
