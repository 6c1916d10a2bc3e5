// The stored properties of each item kind: member identifier, name, value type and default, so
// items are read and written by DISPID (automation) or by name (the larkstore tool).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/automation/Dispatch.h"

namespace outlookmodel {

enum class ItemKind { Mail, Appointment, Contact, Task, DistList };

struct PropertyDef {
  DispId id;
  const char* name;
  VariantType type;  // Bool, Int32, Date or String
  int32_t defaultNumber = 0;  // default of Int32 and Bool properties
};

// Every stored property of `kind` (the ones shared by all kinds first).
std::span<const PropertyDef> PropertiesOf(ItemKind kind);
// The definition of member `id` or property `name` (case-insensitive); null when `kind` has none.
const PropertyDef* FindProperty(ItemKind kind, DispId id);
const PropertyDef* FindProperty(ItemKind kind, std::string_view name);
// "" for strings, the default number for Int32 and Bool, the empty date (year 4501) for dates.
Variant DefaultValue(const PropertyDef& property);

// "IPM.Note", "IPM.Appointment", "IPM.Contact", "IPM.Task", "IPM.DistList".
const char* MessageClassOf(ItemKind kind);
// The kind of a message class ("IPM.Contact.Custom" is a contact); false for classes the model
// cannot hold.
bool KindOfMessageClass(std::string_view messageClass, ItemKind& kind);
// The kind of an item type number (olContactItem, ...); false for others.
bool KindOfItemType(int32_t itemType, ItemKind& kind);
// The folder item type (DefaultItemType) that holds `kind`: contacts and lists 2, and so on.
int32_t FolderItemTypeOf(ItemKind kind);
// The Class member of an item of `kind` (olContact, ...).
int32_t ObjectClassOf(ItemKind kind);

}  // namespace outlookmodel
