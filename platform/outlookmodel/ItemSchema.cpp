// Property tables of the item kinds.
#include "platform/outlookmodel/ItemSchema.h"

#include <array>
#include <cctype>
#include <vector>

#include "platform/automation/AutomationDate.h"
#include "platform/automation/OutlookDispIds.h"

namespace outlookmodel {

namespace {

using T = VariantType;
namespace Id = OutlookId;

// Properties every item kind stores. Importance defaults to normal (1).
constexpr PropertyDef kCommon[] = {
    {Id::kSubject, "Subject", T::String},       {Id::kBody, "Body", T::String},
    {Id::kCategories, "Categories", T::String}, {Id::kImportance, "Importance", T::Int32, 1},
    {Id::kSensitivity, "Sensitivity", T::Int32},
};

constexpr PropertyDef kContact[] = {
    {Id::kFileAs, "FileAs", T::String},
    {Id::kNickName, "NickName", T::String},
    {Id::kLastName, "LastName", T::String},
    {Id::kFirstName, "FirstName", T::String},
    {Id::kMiddleName, "MiddleName", T::String},
    {Id::kTitle, "Title", T::String},
    {Id::kCompanyName, "CompanyName", T::String},
    {Id::kDepartment, "Department", T::String},
    {Id::kJobTitle, "JobTitle", T::String},
    {Id::kEmail1Address, "Email1Address", T::String},
    {Id::kEmail2Address, "Email2Address", T::String},
    {Id::kEmail3Address, "Email3Address", T::String},
    {Id::kBusinessHomePage, "BusinessHomePage", T::String},
    {Id::kOfficeLocation, "OfficeLocation", T::String},
    {Id::kBusinessAddressStreet, "BusinessAddressStreet", T::String},
    {Id::kBusinessAddressCity, "BusinessAddressCity", T::String},
    {Id::kBusinessAddressState, "BusinessAddressState", T::String},
    {Id::kBusinessAddressPostalCode, "BusinessAddressPostalCode", T::String},
    {Id::kBusinessAddressCountry, "BusinessAddressCountry", T::String},
    {Id::kPersonalHomePage, "PersonalHomePage", T::String},
    {Id::kHomeAddressStreet, "HomeAddressStreet", T::String},
    {Id::kHomeAddressCity, "HomeAddressCity", T::String},
    {Id::kHomeAddressState, "HomeAddressState", T::String},
    {Id::kHomeAddressPostalCode, "HomeAddressPostalCode", T::String},
    {Id::kHomeAddressCountry, "HomeAddressCountry", T::String},
    {Id::kPrimaryTelephoneNumber, "PrimaryTelephoneNumber", T::String},
    {Id::kBusinessTelephoneNumber, "BusinessTelephoneNumber", T::String},
    {Id::kBusinessFaxNumber, "BusinessFaxNumber", T::String},
    {Id::kHomeFaxNumber, "HomeFaxNumber", T::String},
    {Id::kMobileTelephoneNumber, "MobileTelephoneNumber", T::String},
    {Id::kHomeTelephoneNumber, "HomeTelephoneNumber", T::String},
    {Id::kHome2TelephoneNumber, "Home2TelephoneNumber", T::String},
    {Id::kBusiness2TelephoneNumber, "Business2TelephoneNumber", T::String},
    {Id::kIMAddress, "IMAddress", T::String},
};

constexpr PropertyDef kDistList[] = {
    {Id::kDLName, "DLName", T::String},
};

constexpr PropertyDef kTask[] = {
    {Id::kStatus, "Status", T::Int32},
    {Id::kStartDate, "StartDate", T::Date},
    {Id::kDueDate, "DueDate", T::Date},
    {Id::kPercentComplete, "PercentComplete", T::Int32},
    {Id::kDateCompleted, "DateCompleted", T::Date},
};

// Reminders default to off: an event that arrives without an alarm gets none.
constexpr PropertyDef kAppointment[] = {
    {Id::kStart, "Start", T::Date},
    {Id::kEnd, "End", T::Date},
    {Id::kAllDayEvent, "AllDayEvent", T::Bool},
    {Id::kLocation, "Location", T::String},
    {Id::kReminderSet, "ReminderSet", T::Bool},
    {Id::kReminderMinutesBeforeStart, "ReminderMinutesBeforeStart", T::Int32, 15},
    {Id::kMeetingStatus, "MeetingStatus", T::Int32},
    {Id::kOrganizer, "Organizer", T::String},
    {Id::kResponseRequested, "ResponseRequested", T::Bool},
    {Id::kBusyStatus, "BusyStatus", T::Int32, 2},
    {Id::kStartTimeZone, "StartTimeZone", T::String},
};

std::vector<PropertyDef> Join(std::span<const PropertyDef> own) {
  std::vector<PropertyDef> all(std::begin(kCommon), std::end(kCommon));
  all.insert(all.end(), own.begin(), own.end());
  return all;
}

const std::vector<PropertyDef>& Table(ItemKind kind) {
  static const std::vector<PropertyDef> mail = Join({});
  static const std::vector<PropertyDef> appointment = Join(kAppointment);
  static const std::vector<PropertyDef> contact = Join(kContact);
  static const std::vector<PropertyDef> task = Join(kTask);
  static const std::vector<PropertyDef> distList = Join(kDistList);
  switch (kind) {
    case ItemKind::Mail: return mail;
    case ItemKind::Appointment: return appointment;
    case ItemKind::Contact: return contact;
    case ItemKind::Task: return task;
    case ItemKind::DistList: return distList;
  }
  return mail;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

// `messageClass` is `base` or `base` followed by "." and a custom suffix.
bool IsClassOf(std::string_view messageClass, std::string_view base) {
  if (messageClass.size() < base.size() || !EqualsNoCase(messageClass.substr(0, base.size()), base)) return false;
  return messageClass.size() == base.size() || messageClass[base.size()] == '.';
}

}  // namespace

std::span<const PropertyDef> PropertiesOf(ItemKind kind) { return Table(kind); }

const PropertyDef* FindProperty(ItemKind kind, DispId id) {
  for (const PropertyDef& property : Table(kind)) {
    if (property.id == id) return &property;
  }
  return nullptr;
}

const PropertyDef* FindProperty(ItemKind kind, std::string_view name) {
  for (const PropertyDef& property : Table(kind)) {
    if (EqualsNoCase(property.name, name)) return &property;
  }
  return nullptr;
}

Variant DefaultValue(const PropertyDef& property) {
  switch (property.type) {
    case VariantType::Bool: return Variant(property.defaultNumber != 0);
    case VariantType::Int32: return Variant(property.defaultNumber);
    case VariantType::Date: return Variant::Date(kNoDate);
    case VariantType::String: return Variant(std::string());
    case VariantType::Empty:
    case VariantType::Missing:
    case VariantType::Double:
    case VariantType::Dispatch:
    case VariantType::Error: break;
  }
  return Variant();
}

const char* MessageClassOf(ItemKind kind) {
  switch (kind) {
    case ItemKind::Mail: return "IPM.Note";
    case ItemKind::Appointment: return "IPM.Appointment";
    case ItemKind::Contact: return "IPM.Contact";
    case ItemKind::Task: return "IPM.Task";
    case ItemKind::DistList: return "IPM.DistList";
  }
  return "IPM.Note";
}

bool KindOfMessageClass(std::string_view messageClass, ItemKind& kind) {
  static constexpr std::array<std::pair<const char*, ItemKind>, 5> kClasses = {{
      {"IPM.Appointment", ItemKind::Appointment},
      {"IPM.Contact", ItemKind::Contact},
      {"IPM.DistList", ItemKind::DistList},
      {"IPM.Task", ItemKind::Task},
      {"IPM.Note", ItemKind::Mail},
  }};
  for (const auto& [base, candidate] : kClasses) {
    if (IsClassOf(messageClass, base)) {
      kind = candidate;
      return true;
    }
  }
  if (!EqualsNoCase(messageClass, "IPM")) return false;
  kind = ItemKind::Mail;
  return true;
}

bool KindOfItemType(int32_t itemType, ItemKind& kind) {
  switch (itemType) {
    case olMailItem: kind = ItemKind::Mail; return true;
    case olAppointmentItem: kind = ItemKind::Appointment; return true;
    case olContactItem: kind = ItemKind::Contact; return true;
    case olTaskItem: kind = ItemKind::Task; return true;
    case olDistributionListItem: kind = ItemKind::DistList; return true;
    default: return false;
  }
}

int32_t FolderItemTypeOf(ItemKind kind) {
  switch (kind) {
    case ItemKind::Mail: return olMailItem;
    case ItemKind::Appointment: return olAppointmentItem;
    case ItemKind::Contact:
    case ItemKind::DistList: return olContactItem;
    case ItemKind::Task: return olTaskItem;
  }
  return olMailItem;
}

int32_t ObjectClassOf(ItemKind kind) {
  switch (kind) {
    case ItemKind::Mail: return olMail;
    case ItemKind::Appointment: return olAppointment;
    case ItemKind::Contact: return olContact;
    case ItemKind::Task: return olTask;
    case ItemKind::DistList: return olDistributionList;
  }
  return olMail;
}

}  // namespace outlookmodel
