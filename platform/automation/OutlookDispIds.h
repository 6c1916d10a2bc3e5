// Member identifiers (DISPIDs) and constants of the Outlook object model, as its type library
// publishes them; shared by the typed wrappers and by the object model that answers them.
#pragma once

#include "platform/automation/Dispatch.h"

namespace OutlookId {
// Members every object has.
inline constexpr DispId kApplication = 0xF000;
inline constexpr DispId kParent = 0xF001;
inline constexpr DispId kClass = 0xF00A;
inline constexpr DispId kSession = 0xF00B;

// Application.
inline constexpr DispId kCreateItem = 0x10A;
inline constexpr DispId kGetNamespace = 0x110;

// NameSpace. AddStore takes a display name here (a new, empty store with that top folder name).
inline constexpr DispId kCurrentUser = 0x2101;
inline constexpr DispId kFolders = 0x2103;
inline constexpr DispId kNamespaceType = 0x2104;
inline constexpr DispId kLogon = 0x2105;
inline constexpr DispId kLogoff = 0x2106;
inline constexpr DispId kGetFolderFromID = 0x2108;
inline constexpr DispId kGetItemFromID = 0x2109;
inline constexpr DispId kGetDefaultFolder = 0x210B;
inline constexpr DispId kAddStore = 0x2113;
// This object model's own member: waits until every item saved through the session is on the
// disk. An application that saves each item durably does not have it (kMemberNotFound).
inline constexpr DispId kFlushSavedItems = 0x2F00;

// Collections (Folders, Items, Recipients, Exceptions).
inline constexpr DispId kCount = 0x50;
inline constexpr DispId kItem = 0x51;
inline constexpr DispId kRemove = 0x54;
inline constexpr DispId kAdd = 0x5F;
inline constexpr DispId kRecipientsAdd = 0x6F;

// MAPIFolder.
inline constexpr DispId kName = 0x3001;
inline constexpr DispId kItems = 0x3100;
inline constexpr DispId kDefaultItemType = 0x3106;
inline constexpr DispId kStoreID = 0x3108;
inline constexpr DispId kFolderDelete = 0xF045;

// Items of every kind.
inline constexpr DispId kEntryID = 0xF01E;
inline constexpr DispId kCreationTime = 0x3007;
inline constexpr DispId kLastModificationTime = 0x3008;
inline constexpr DispId kMessageClass = 0x1A;
inline constexpr DispId kImportance = 0x17;
inline constexpr DispId kSensitivity = 0x36;
inline constexpr DispId kSubject = 0x37;
inline constexpr DispId kBody = 0x9100;
inline constexpr DispId kCategories = 0x9001;
inline constexpr DispId kRecipients = 0xF814;
inline constexpr DispId kSave = 0xF048;
inline constexpr DispId kDelete = 0xF04A;

// ContactItem.
inline constexpr DispId kFileAs = 0x8005;
inline constexpr DispId kNickName = 0x3A4F;
inline constexpr DispId kLastName = 0x3A11;
inline constexpr DispId kFirstName = 0x3A06;
inline constexpr DispId kMiddleName = 0x3A44;
inline constexpr DispId kTitle = 0x3A45;
inline constexpr DispId kCompanyName = 0x3A16;
inline constexpr DispId kDepartment = 0x3A18;
inline constexpr DispId kJobTitle = 0x3A17;
inline constexpr DispId kEmail1Address = 0x8083;
inline constexpr DispId kEmail2Address = 0x8093;
inline constexpr DispId kEmail3Address = 0x80A3;
inline constexpr DispId kBusinessHomePage = 0x3A51;
inline constexpr DispId kOfficeLocation = 0x3A19;
inline constexpr DispId kBusinessAddressStreet = 0x8045;
inline constexpr DispId kBusinessAddressCity = 0x8046;
inline constexpr DispId kBusinessAddressState = 0x8047;
inline constexpr DispId kBusinessAddressPostalCode = 0x8048;
inline constexpr DispId kBusinessAddressCountry = 0x8049;
inline constexpr DispId kPersonalHomePage = 0x3A50;
inline constexpr DispId kHomeAddressStreet = 0x3A5D;
inline constexpr DispId kHomeAddressCity = 0x3A59;
inline constexpr DispId kHomeAddressState = 0x3A5C;
inline constexpr DispId kHomeAddressPostalCode = 0x3A5B;
inline constexpr DispId kHomeAddressCountry = 0x3A5A;
inline constexpr DispId kPrimaryTelephoneNumber = 0x3A1A;
inline constexpr DispId kBusinessTelephoneNumber = 0x3A08;
inline constexpr DispId kBusinessFaxNumber = 0x3A24;
inline constexpr DispId kHomeFaxNumber = 0x3A25;
inline constexpr DispId kMobileTelephoneNumber = 0x3A1C;
inline constexpr DispId kHomeTelephoneNumber = 0x3A09;
inline constexpr DispId kHome2TelephoneNumber = 0x3A2F;
inline constexpr DispId kBusiness2TelephoneNumber = 0x3A1B;
inline constexpr DispId kIMAddress = 0x8062;

// DistListItem.
inline constexpr DispId kDLName = 0x8053;
inline constexpr DispId kMemberCount = 0x804B;
inline constexpr DispId kAddMembers = 0xF900;
inline constexpr DispId kRemoveMembers = 0xF901;
inline constexpr DispId kGetMember = 0xF905;

// TaskItem.
inline constexpr DispId kStatus = 0x8101;
inline constexpr DispId kStartDate = 0x8104;
inline constexpr DispId kDueDate = 0x8105;
inline constexpr DispId kPercentComplete = 0xF61F;
inline constexpr DispId kDateCompleted = 0x810F;

// AppointmentItem.
inline constexpr DispId kOrganizer = 0x42;
inline constexpr DispId kStart = 0x820D;
inline constexpr DispId kEnd = 0x820E;
inline constexpr DispId kLocation = 0x8208;
inline constexpr DispId kDuration = 0x8213;
inline constexpr DispId kAllDayEvent = 0x8215;
inline constexpr DispId kMeetingStatus = 0x8217;
inline constexpr DispId kIsRecurring = 0x8223;
inline constexpr DispId kReminderMinutesBeforeStart = 0x8501;
inline constexpr DispId kReminderSet = 0x8503;
inline constexpr DispId kRecurrenceState = 0xF545;
inline constexpr DispId kGetRecurrencePattern = 0xF0A4;
inline constexpr DispId kClearRecurrencePattern = 0xF0A5;
inline constexpr DispId kResponseRequested = 0x63;
inline constexpr DispId kBusyStatus = 0x8205;
// The application's start and end as UTC instants, and the time zone its times and recurrence are
// kept in (the application itself has StartUTC, EndUTC and a StartTimeZone object); numbered by
// this object model, which gives the zone as its identifier in the system's zone database.
inline constexpr DispId kStartUTC = 0x2F10;
inline constexpr DispId kEndUTC = 0x2F11;
inline constexpr DispId kStartTimeZone = 0x2F12;

// Recipient and AddressEntry (Name is kName).
inline constexpr DispId kAddress = 0x3003;
inline constexpr DispId kMeetingResponseStatus = 0x66;
inline constexpr DispId kAddressEntry = 0x79;
inline constexpr DispId kRecipientType = 0xC15;

// RecurrencePattern.
inline constexpr DispId kDayOfMonth = 0x1000;
inline constexpr DispId kDayOfWeekMask = 0x1001;
inline constexpr DispId kPatternEndDate = 0x1002;
inline constexpr DispId kInstance = 0x1003;
inline constexpr DispId kInterval = 0x1004;
inline constexpr DispId kOccurrences = 0x1005;
inline constexpr DispId kMonthOfYear = 0x1006;
inline constexpr DispId kRecurrenceType = 0x1007;
inline constexpr DispId kPatternStartDate = 0x1008;
inline constexpr DispId kStartTime = 0x1009;
inline constexpr DispId kNoEndDate = 0x100B;
inline constexpr DispId kEndTime = 0x100C;
inline constexpr DispId kPatternDuration = 0x100D;
inline constexpr DispId kExceptions = 0x100E;
inline constexpr DispId kGetOccurrence = 0x100F;
// Whether the series ends after a number of occurrences (rather than on a date, or never), as
// the application keeps it with the pattern; numbered by this object model.
inline constexpr DispId kEndsAfterOccurrences = 0x2F13;

// Exception.
inline constexpr DispId kOriginalDate = 0x2000;
inline constexpr DispId kAppointmentItem = 0x2001;
inline constexpr DispId kDeleted = 0x2002;
}  // namespace OutlookId

// Default folder kinds (GetDefaultFolder, Folders.Add).
enum OlDefaultFolder : int32_t {
  olFolderInbox = 6,
  olFolderCalendar = 9,
  olFolderContacts = 10,
  olFolderTasks = 13,
};

// Item kinds (CreateItem, DefaultItemType).
enum OlItemType : int32_t {
  olMailItem = 0,
  olAppointmentItem = 1,
  olContactItem = 2,
  olTaskItem = 3,
  olDistributionListItem = 7,
};

// Object classes (the Class member).
enum OlObjectClass : int32_t {
  olApplication = 0,
  olNamespace = 1,
  olFolder = 2,
  olRecipient = 4,
  olAddressEntry = 8,
  olFolders = 15,
  olItems = 16,
  olRecipients = 17,
  olAppointment = 26,
  olRecurrencePattern = 28,
  olExceptions = 29,
  olException = 30,
  olContact = 40,
  olMail = 43,
  olTask = 48,
  olDistributionList = 69,
};

// RecurrenceState of an appointment.
enum OlRecurrenceState : int32_t {
  olApptNotRecurring = 0,
  olApptMaster = 1,
  olApptOccurrence = 2,
  olApptException = 3,
};

// RecurrenceType of a pattern.
enum OlRecurrenceType : int32_t {
  olRecursDaily = 0,
  olRecursWeekly = 1,
  olRecursMonthly = 2,
  olRecursMonthNth = 3,
  olRecursYearly = 5,
  olRecursYearNth = 6,
};

// DayOfWeekMask bits.
enum OlDaysOfWeek : int32_t {
  olSunday = 1,
  olMonday = 2,
  olTuesday = 4,
  olWednesday = 8,
  olThursday = 16,
  olFriday = 32,
  olSaturday = 64,
};

// The prefix of a distribution list member's entry identifier that refers to a contact; the
// contact's own EntryID follows it.
inline constexpr const char* kContactReferencePrefix = "00000000C091ADD3519DCF11A4A900AA0047FAA4C3";
