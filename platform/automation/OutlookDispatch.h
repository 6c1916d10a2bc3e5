// Typed wrappers over Dispatch for the Outlook objects the store adapter uses: each member is one
// late-bound call by the DISPID of OutlookDispIds.h, so the adapter reads like early-bound code
// while any object answering those DISPIDs can stand behind it.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/automation/Dispatch.h"
#include "platform/automation/OutlookDispIds.h"

namespace outlook {

// Holds one object (shared). A call through an empty wrapper throws AutomationError kFail.
class DispatchDriver {
 public:
  DispatchDriver() = default;
  explicit DispatchDriver(Dispatch::Ptr object) : mObject(std::move(object)) {}

  const Dispatch::Ptr& Object() const { return mObject; }
  explicit operator bool() const { return mObject != nullptr; }

  Variant Get(DispId id, const std::vector<Variant>& args = {}) const;
  void Put(DispId id, const Variant& value) const;
  Variant Call(DispId id, const std::vector<Variant>& args = {}) const;

  std::string GetText(DispId id) const { return Get(id).ToString(); }
  int32_t GetInt(DispId id) const { return Get(id).ToInt(); }
  bool GetBool(DispId id) const { return Get(id).ToBool(); }
  double GetDate(DispId id) const { return Get(id).ToDate(); }
  Dispatch::Ptr GetObject(DispId id, const std::vector<Variant>& args = {}) const { return Get(id, args).ToDispatch(); }
  void PutText(DispId id, const std::string& value) const { Put(id, Variant(value)); }
  void PutDate(DispId id, double value) const { Put(id, Variant::Date(value)); }

  int32_t GetClass() const { return GetInt(OutlookId::kClass); }
  Dispatch::Ptr GetParent() const { return GetObject(OutlookId::kParent); }

 private:
  const Dispatch::Ptr& Require() const;
  Dispatch::Ptr mObject;
};

class AddressEntry : public DispatchDriver {
 public:
  using DispatchDriver::DispatchDriver;
  std::string GetName() const { return GetText(OutlookId::kName); }
  void SetName(const std::string& value) const { PutText(OutlookId::kName, value); }
  std::string GetAddress() const { return GetText(OutlookId::kAddress); }
};

class Recipient : public DispatchDriver {
 public:
  using DispatchDriver::DispatchDriver;
  std::string GetName() const { return GetText(OutlookId::kName); }
  std::string GetAddress() const { return GetText(OutlookId::kAddress); }
  std::string GetEntryID() const { return GetText(OutlookId::kEntryID); }
  int32_t GetMeetingResponseStatus() const { return GetInt(OutlookId::kMeetingResponseStatus); }
  void SetMeetingResponseStatus(int32_t value) const { Put(OutlookId::kMeetingResponseStatus, value); }
  // An attendee's OlMeetingRecipientType: 1 required, 2 optional, 3 resource.
  int32_t GetType() const { return GetInt(OutlookId::kRecipientType); }
  void SetType(int32_t value) const { Put(OutlookId::kRecipientType, value); }
  AddressEntry GetAddressEntry() const { return AddressEntry(GetObject(OutlookId::kAddressEntry)); }
};

class Recipients : public DispatchDriver {
 public:
  using DispatchDriver::DispatchDriver;
  int32_t GetCount() const { return GetInt(OutlookId::kCount); }
  Recipient Item(int32_t index) const { return Recipient(Call(OutlookId::kItem, {index}).ToDispatch()); }
  Recipient Add(const std::string& name) const { return Recipient(Call(OutlookId::kRecipientsAdd, {name}).ToDispatch()); }
  void Remove(int32_t index) const { Call(OutlookId::kRemove, {index}); }
};

class MAPIFolder;

// Members every item kind has.
class OutlookItem : public DispatchDriver {
 public:
  using DispatchDriver::DispatchDriver;
  std::string GetEntryID() const { return GetText(OutlookId::kEntryID); }
  double GetLastModificationTime() const { return GetDate(OutlookId::kLastModificationTime); }
  std::string GetMessageClass() const { return GetText(OutlookId::kMessageClass); }
  std::string GetSubject() const { return GetText(OutlookId::kSubject); }
  void SetSubject(const std::string& value) const { PutText(OutlookId::kSubject, value); }
  std::string GetBody() const { return GetText(OutlookId::kBody); }
  void SetBody(const std::string& value) const { PutText(OutlookId::kBody, value); }
  std::string GetCategories() const { return GetText(OutlookId::kCategories); }
  void SetCategories(const std::string& value) const { PutText(OutlookId::kCategories, value); }
  int32_t GetImportance() const { return GetInt(OutlookId::kImportance); }
  void SetImportance(int32_t value) const { Put(OutlookId::kImportance, value); }
  int32_t GetSensitivity() const { return GetInt(OutlookId::kSensitivity); }
  void SetSensitivity(int32_t value) const { Put(OutlookId::kSensitivity, value); }
  void Save() const { Call(OutlookId::kSave); }
  void Delete() const { Call(OutlookId::kDelete); }
};

class ContactItem : public OutlookItem {
 public:
  using OutlookItem::OutlookItem;
#define LARK_CONTACT_TEXT(Name) \
  std::string Get##Name() const { return GetText(OutlookId::k##Name); } \
  void Set##Name(const std::string& value) const { PutText(OutlookId::k##Name, value); }
  LARK_CONTACT_TEXT(FileAs)
  LARK_CONTACT_TEXT(NickName)
  LARK_CONTACT_TEXT(LastName)
  LARK_CONTACT_TEXT(FirstName)
  LARK_CONTACT_TEXT(MiddleName)
  LARK_CONTACT_TEXT(Title)
  LARK_CONTACT_TEXT(CompanyName)
  LARK_CONTACT_TEXT(Department)
  LARK_CONTACT_TEXT(JobTitle)
  LARK_CONTACT_TEXT(Email1Address)
  LARK_CONTACT_TEXT(Email2Address)
  LARK_CONTACT_TEXT(Email3Address)
  LARK_CONTACT_TEXT(BusinessHomePage)
  LARK_CONTACT_TEXT(OfficeLocation)
  LARK_CONTACT_TEXT(BusinessAddressStreet)
  LARK_CONTACT_TEXT(BusinessAddressCity)
  LARK_CONTACT_TEXT(BusinessAddressState)
  LARK_CONTACT_TEXT(BusinessAddressPostalCode)
  LARK_CONTACT_TEXT(BusinessAddressCountry)
  LARK_CONTACT_TEXT(PersonalHomePage)
  LARK_CONTACT_TEXT(HomeAddressStreet)
  LARK_CONTACT_TEXT(HomeAddressCity)
  LARK_CONTACT_TEXT(HomeAddressState)
  LARK_CONTACT_TEXT(HomeAddressPostalCode)
  LARK_CONTACT_TEXT(HomeAddressCountry)
  LARK_CONTACT_TEXT(PrimaryTelephoneNumber)
  LARK_CONTACT_TEXT(BusinessTelephoneNumber)
  LARK_CONTACT_TEXT(BusinessFaxNumber)
  LARK_CONTACT_TEXT(HomeFaxNumber)
  LARK_CONTACT_TEXT(MobileTelephoneNumber)
  LARK_CONTACT_TEXT(HomeTelephoneNumber)
  LARK_CONTACT_TEXT(Home2TelephoneNumber)
  LARK_CONTACT_TEXT(Business2TelephoneNumber)
  LARK_CONTACT_TEXT(IMAddress)
#undef LARK_CONTACT_TEXT
};

class DistListItem : public OutlookItem {
 public:
  using OutlookItem::OutlookItem;
  std::string GetDLName() const { return GetText(OutlookId::kDLName); }
  void SetDLName(const std::string& value) const { PutText(OutlookId::kDLName, value); }
  int32_t GetMemberCount() const { return GetInt(OutlookId::kMemberCount); }
  // One-based.
  Recipient GetMember(int32_t index) const { return Recipient(Call(OutlookId::kGetMember, {index}).ToDispatch()); }
  void AddMembers(const Recipients& recipients) const { Call(OutlookId::kAddMembers, {recipients.Object()}); }
  void RemoveMembers(const Recipients& recipients) const { Call(OutlookId::kRemoveMembers, {recipients.Object()}); }
};

class TaskItem : public OutlookItem {
 public:
  using OutlookItem::OutlookItem;
  int32_t GetStatus() const { return GetInt(OutlookId::kStatus); }
  void SetStatus(int32_t value) const { Put(OutlookId::kStatus, value); }
  double GetStartDate() const { return GetDate(OutlookId::kStartDate); }
  void SetStartDate(double value) const { PutDate(OutlookId::kStartDate, value); }
  double GetDueDate() const { return GetDate(OutlookId::kDueDate); }
  void SetDueDate(double value) const { PutDate(OutlookId::kDueDate, value); }
  int32_t GetPercentComplete() const { return GetInt(OutlookId::kPercentComplete); }
  void SetPercentComplete(int32_t value) const { Put(OutlookId::kPercentComplete, value); }
  double GetDateCompleted() const { return GetDate(OutlookId::kDateCompleted); }
  void SetDateCompleted(double value) const { PutDate(OutlookId::kDateCompleted, value); }
};

// A scratch item whose Recipients collect names (the adapter's distribution list members).
class MailItem : public OutlookItem {
 public:
  using OutlookItem::OutlookItem;
  Recipients GetRecipients() const { return Recipients(GetObject(OutlookId::kRecipients)); }
};

class AppointmentItem;

class Exception : public DispatchDriver {
 public:
  using DispatchDriver::DispatchDriver;
  double GetOriginalDate() const { return GetDate(OutlookId::kOriginalDate); }
  bool GetDeleted() const { return GetBool(OutlookId::kDeleted); }
  AppointmentItem GetAppointmentItem() const;
};

class Exceptions : public DispatchDriver {
 public:
  using DispatchDriver::DispatchDriver;
  int32_t GetCount() const { return GetInt(OutlookId::kCount); }
  Exception Item(int32_t index) const { return Exception(Call(OutlookId::kItem, {index}).ToDispatch()); }
};

class RecurrencePattern : public DispatchDriver {
 public:
  using DispatchDriver::DispatchDriver;
  int32_t GetRecurrenceType() const { return GetInt(OutlookId::kRecurrenceType); }
  void SetRecurrenceType(int32_t value) const { Put(OutlookId::kRecurrenceType, value); }
  int32_t GetInterval() const { return GetInt(OutlookId::kInterval); }
  void SetInterval(int32_t value) const { Put(OutlookId::kInterval, value); }
  int32_t GetDayOfWeekMask() const { return GetInt(OutlookId::kDayOfWeekMask); }
  void SetDayOfWeekMask(int32_t value) const { Put(OutlookId::kDayOfWeekMask, value); }
  int32_t GetDayOfMonth() const { return GetInt(OutlookId::kDayOfMonth); }
  void SetDayOfMonth(int32_t value) const { Put(OutlookId::kDayOfMonth, value); }
  int32_t GetMonthOfYear() const { return GetInt(OutlookId::kMonthOfYear); }
  void SetMonthOfYear(int32_t value) const { Put(OutlookId::kMonthOfYear, value); }
  int32_t GetInstance() const { return GetInt(OutlookId::kInstance); }
  void SetInstance(int32_t value) const { Put(OutlookId::kInstance, value); }
  bool GetNoEndDate() const { return GetBool(OutlookId::kNoEndDate); }
  void SetNoEndDate(bool value) const { Put(OutlookId::kNoEndDate, value); }
  double GetPatternStartDate() const { return GetDate(OutlookId::kPatternStartDate); }
  double GetPatternEndDate() const { return GetDate(OutlookId::kPatternEndDate); }
  void SetPatternEndDate(double value) const { PutDate(OutlookId::kPatternEndDate, value); }
  int32_t GetOccurrences() const { return GetInt(OutlookId::kOccurrences); }
  void SetOccurrences(int32_t value) const { Put(OutlookId::kOccurrences, value); }
  bool GetEndsAfterOccurrences() const { return GetBool(OutlookId::kEndsAfterOccurrences); }
  double GetStartTime() const { return GetDate(OutlookId::kStartTime); }
  void SetStartTime(double value) const { PutDate(OutlookId::kStartTime, value); }
  double GetEndTime() const { return GetDate(OutlookId::kEndTime); }
  void SetEndTime(double value) const { PutDate(OutlookId::kEndTime, value); }
  Exceptions GetExceptions() const { return Exceptions(GetObject(OutlookId::kExceptions)); }
  AppointmentItem GetOccurrence(double start) const;
};

class AppointmentItem : public OutlookItem {
 public:
  using OutlookItem::OutlookItem;
  bool GetAllDayEvent() const { return GetBool(OutlookId::kAllDayEvent); }
  void SetAllDayEvent(bool value) const { Put(OutlookId::kAllDayEvent, value); }
  double GetStart() const { return GetDate(OutlookId::kStart); }
  void SetStart(double value) const { PutDate(OutlookId::kStart, value); }
  double GetEnd() const { return GetDate(OutlookId::kEnd); }
  void SetEnd(double value) const { PutDate(OutlookId::kEnd, value); }
  // Start and end as UTC instants (see OutlookId::kStartUTC).
  double GetStartUTC() const { return GetDate(OutlookId::kStartUTC); }
  void SetStartUTC(double value) const { PutDate(OutlookId::kStartUTC, value); }
  double GetEndUTC() const { return GetDate(OutlookId::kEndUTC); }
  void SetEndUTC(double value) const { PutDate(OutlookId::kEndUTC, value); }
  // The zone's identifier in the system's zone database (see OutlookId::kStartTimeZone).
  std::string GetStartTimeZone() const { return GetText(OutlookId::kStartTimeZone); }
  void SetStartTimeZone(const std::string& value) const { PutText(OutlookId::kStartTimeZone, value); }
  bool GetResponseRequested() const { return GetBool(OutlookId::kResponseRequested); }
  // Show As: 0 free, 1 tentative, 2 busy, 3 out of office.
  int32_t GetBusyStatus() const { return GetInt(OutlookId::kBusyStatus); }
  void SetBusyStatus(int32_t value) const { Put(OutlookId::kBusyStatus, value); }
  void SetResponseRequested(bool value) const { Put(OutlookId::kResponseRequested, value); }
  bool GetReminderSet() const { return GetBool(OutlookId::kReminderSet); }
  void SetReminderSet(bool value) const { Put(OutlookId::kReminderSet, value); }
  int32_t GetReminderMinutesBeforeStart() const { return GetInt(OutlookId::kReminderMinutesBeforeStart); }
  void SetReminderMinutesBeforeStart(int32_t value) const { Put(OutlookId::kReminderMinutesBeforeStart, value); }
  std::string GetLocation() const { return GetText(OutlookId::kLocation); }
  void SetLocation(const std::string& value) const { PutText(OutlookId::kLocation, value); }
  int32_t GetMeetingStatus() const { return GetInt(OutlookId::kMeetingStatus); }
  void SetMeetingStatus(int32_t value) const { Put(OutlookId::kMeetingStatus, value); }
  std::string GetOrganizer() const { return GetText(OutlookId::kOrganizer); }
  void SetOrganizer(const std::string& value) const { PutText(OutlookId::kOrganizer, value); }
  Recipients GetRecipients() const { return Recipients(GetObject(OutlookId::kRecipients)); }
  int32_t GetRecurrenceState() const { return GetInt(OutlookId::kRecurrenceState); }
  RecurrencePattern GetRecurrencePattern() const { return RecurrencePattern(Call(OutlookId::kGetRecurrencePattern).ToDispatch()); }
  void ClearRecurrencePattern() const { Call(OutlookId::kClearRecurrencePattern); }
};

class Items : public DispatchDriver {
 public:
  using DispatchDriver::DispatchDriver;
  int32_t GetCount() const { return GetInt(OutlookId::kCount); }
  // One-based.
  Dispatch::Ptr Item(int32_t index) const { return Call(OutlookId::kItem, {index}).ToDispatch(); }
  // A new, unsaved item of the message class ("IPM.Contact", "IPM.DistList", "IPM.Task", "IPM.Appointment").
  Dispatch::Ptr Add(const std::string& messageClass) const { return Call(OutlookId::kAdd, {messageClass}).ToDispatch(); }
};

class Folders : public DispatchDriver {
 public:
  using DispatchDriver::DispatchDriver;
  int32_t GetCount() const { return GetInt(OutlookId::kCount); }
  MAPIFolder Item(int32_t index) const;
  MAPIFolder Add(const std::string& name, int32_t folderKind) const;
};

class MAPIFolder : public DispatchDriver {
 public:
  using DispatchDriver::DispatchDriver;
  Items GetItems() const { return Items(GetObject(OutlookId::kItems)); }
  int32_t GetDefaultItemType() const { return GetInt(OutlookId::kDefaultItemType); }
  std::string GetEntryID() const { return GetText(OutlookId::kEntryID); }
  std::string GetStoreID() const { return GetText(OutlookId::kStoreID); }
  std::string GetName() const { return GetText(OutlookId::kName); }
  Folders GetFolders() const { return Folders(GetObject(OutlookId::kFolders)); }
};

class NameSpace : public DispatchDriver {
 public:
  using DispatchDriver::DispatchDriver;
  // Profile, password, show dialog, new session; the adapter leaves all four missing.
  void Logon() const {
    Call(OutlookId::kLogon, {Variant::Missing(), Variant::Missing(), Variant::Missing(), Variant::Missing()});
  }
  void Logoff() const { Call(OutlookId::kLogoff); }
  Folders GetFolders() const { return Folders(GetObject(OutlookId::kFolders)); }
  MAPIFolder GetFolderFromID(const std::string& entryId, const std::string& storeId) const {
    return MAPIFolder(Call(OutlookId::kGetFolderFromID, {entryId, storeId}).ToDispatch());
  }
  Dispatch::Ptr GetItemFromID(const std::string& entryId, const std::string& storeId) const {
    return Call(OutlookId::kGetItemFromID, {entryId, storeId}).ToDispatch();
  }
  MAPIFolder GetDefaultFolder(int32_t folderKind) const {
    return MAPIFolder(Call(OutlookId::kGetDefaultFolder, {folderKind}).ToDispatch());
  }
  Recipient GetCurrentUser() const { return Recipient(GetObject(OutlookId::kCurrentUser)); }
  // See OutlookId::kFlushSavedItems; throws kMemberNotFound where the application has no such member.
  void FlushSavedItems() const { Call(OutlookId::kFlushSavedItems); }
};

class Application : public DispatchDriver {
 public:
  using DispatchDriver::DispatchDriver;
  NameSpace GetNamespace(const std::string& type) const { return NameSpace(Call(OutlookId::kGetNamespace, {type}).ToDispatch()); }
  Dispatch::Ptr CreateItem(int32_t itemType) const { return Call(OutlookId::kCreateItem, {itemType}).ToDispatch(); }
};

inline AppointmentItem Exception::GetAppointmentItem() const { return AppointmentItem(GetObject(OutlookId::kAppointmentItem)); }
inline AppointmentItem RecurrencePattern::GetOccurrence(double start) const {
  return AppointmentItem(Call(OutlookId::kGetOccurrence, {Variant::Date(start)}).ToDispatch());
}
inline MAPIFolder Folders::Item(int32_t index) const { return MAPIFolder(Call(OutlookId::kItem, {index}).ToDispatch()); }
inline MAPIFolder Folders::Add(const std::string& name, int32_t folderKind) const {
  return MAPIFolder(Call(OutlookId::kAdd, {name, folderKind}).ToDispatch());
}

}  // namespace outlook
