// Item record: property access and the choice of text form by kind.
#include "pim/CDataItem.h"

bool CDataItem::GetProperty(const std::string& key, std::string& value) const {
  std::string_view found;
  const bool present = properties.Lookup(key, found);
  value.assign(found);
  return present;
}

const std::string& CDataItem::Property(const std::string& key) const {
  static const std::string kEmpty;
  const auto it = properties.find(key);
  return it == properties.end() ? kEmpty : it->second;
}

std::string_view CDataItem::PropertyView(std::string_view key) const {
  std::string_view value;
  properties.Lookup(key, value);
  return value;
}

std::string CDataItem::ContentTypeOf(const ItemTextOptions& options) const {
  switch (kind) {
    case ITEM_GROUP:
      return "text/zep-group";
    case ITEM_TASK:
    case ITEM_EVENT:
      return options.registeredTypes && options.calendar == CalendarVersion::ICalendar20 ? "text/calendar" : "text/x-vcalendar";
    default:
      return options.registeredTypes ? "text/vcard" : "text/x-vcard";
  }
}

std::string CDataItem::ToText(const ItemTextOptions& options) const {
  // The writers read many keys; an expanded copy leaves a packed record as small as it was.
  if (properties.IsPacked()) {
    CDataItem expanded(*this);
    expanded.properties.Expand();
    return expanded.ToText(options);
  }
  return kind == ITEM_TASK || kind == ITEM_EVENT ? ToVCalendar(options) : ToVCard();
}
