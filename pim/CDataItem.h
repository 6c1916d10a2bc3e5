// The item record: one contact, contact group, task or event as a kind, an identifier and a map
// from property key (PR_ and VC_ names) to text value. Records are shared: a list or map that
// keeps a record holds a CDataItem::Ptr, and the record lives while any holder does.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pim/ItemProperties.h"

enum ItemKind : int {
  ITEM_CONTACT = 0,
  ITEM_GROUP = 1,
  ITEM_TASK = 2,
  ITEM_EVENT = 3,
};

// How a task or event is written: iCalendar 2.0, or vCalendar 1.0 for a server that takes only that.
enum class CalendarVersion { ICalendar20, VCalendar10 };
struct ItemTextOptions {
  CalendarVersion calendar = CalendarVersion::ICalendar20;
  // Items go under the registered types of the forms they are written in: "text/vcard" (vCard
  // 3.0) and, unless `calendar` is vCalendar 1.0, "text/calendar". Otherwise under the
  // program's own "text/x-vcard" and "text/x-vcalendar", whatever the form.
  bool registeredTypes = false;
};

class CDataItem {
 public:
  using Ptr = std::shared_ptr<CDataItem>;

  // `owner` is a context pointer the loaders leave null; nothing depends on it.
  explicit CDataItem(int kind = ITEM_CONTACT, void* owner = nullptr) : owner(owner), kind(kind) {}
  static Ptr Create(int kind = ITEM_CONTACT) { return std::make_shared<CDataItem>(kind); }

  // True and the value when `key` is present; false and "" when it is absent.
  bool GetProperty(const std::string& key, std::string& value) const;
  // The value of `key`, "" when absent. Expands packed properties (see ItemProperties).
  const std::string& Property(const std::string& key) const;
  // The value of `key`, "" when absent, as a view valid until the record's properties change or
  // are expanded; reads packed properties as they are.
  std::string_view PropertyView(std::string_view key) const;
  // Map access that creates an empty value when `key` is absent.
  std::string& operator[](const std::string& key) { return properties[key]; }

  // Holds the values in one block until they are next changed or iterated (ItemProperties::Pack):
  // for records that are kept and mostly left alone, such as the lists a store loads.
  void Pack() { properties.Pack(); }

  // "text/zep-group" for groups, "text/x-vcalendar" for tasks and events, else "text/x-vcard";
  // with `options.registeredTypes` "text/calendar" and "text/vcard" (as ItemTextOptions says).
  std::string ContentTypeOf(const ItemTextOptions& options = {}) const;
  // The vCalendar text for tasks and events, the vCard text for every other kind. A packed record
  // stays packed.
  std::string ToText(const ItemTextOptions& options = {}) const;
  std::string ToVCard() const;
  // The card in vCard 2.1 (`version` 2) or 3.0 (any other value).
  std::string ToVCard(unsigned version) const;
  std::string ToVCalendar(const ItemTextOptions& options = {}) const;

  void* owner = nullptr;
  int kind = ITEM_CONTACT;
  // Keys are unique and compared case-sensitively; iteration order is the key order.
  ItemProperties properties;
  // Groups only: the identifiers of the member contacts, in store order.
  std::vector<std::string> members;
  // The local entry identifier; equal to the value under PR_ENTRYID (for a changed occurrence of
  // a series, the series' identifier, "/" and the occurrence's date).
  std::string itemId;
};

// The vCalendar text of several task or event records in one VCALENDAR (a series and its changed
// occurrences), each component as ToVCalendar writes it.
std::string ToVCalendar(const std::vector<CDataItem::Ptr>& records, const ItemTextOptions& options = {});
