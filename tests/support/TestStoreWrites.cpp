// Test store: the server's contacts, groups, events and tasks written as held items, with the
// field rules a real contact store follows (first free telephone field, preferred address first).
#include <string_view>

#include "config/CLog.h"
#include "pim/EncodedText.h"
#include "pim/PVCard.h"
#include "pim/VCalDateTime.h"
#include "pim/VCalItemReader.h"
#include "pim/VCalProperty.h"
#include "stores/AutomationException.h"
#include "tests/support/TestStore.h"

namespace {

// Builds the data keys of one contact from the card's properties.
class ContactRecordBuilder {
 public:
  explicit ContactRecordBuilder(CDataItem& record) : mRecord(record) {}

  // Returns the write status: WRITE_NAME_COMPLETED when the display name came from the nickname.
  int Build(const PVCard& card) {
    for (const PVCardProperty& property : card.Properties()) Add(property);
    int status = WRITE_DONE;
    if (!mHasName && !Value("PR_NICKNAME").empty()) {
      mRecord["PR_DISPLAY_NAME"] = Value("PR_NICKNAME");
      status = WRITE_NAME_COMPLETED;
    }
    std::string addresses, types;
    for (size_t i = 0; i < mEmails.size(); ++i) {
      if (i < 3) addresses += mEmails[i].second + "\t";
      types += mEmails[i].first + mEmails[i].second + "\t";
    }
    if (!mEmails.empty()) {
      mRecord["PR_CONTACT_EMAIL_ADDRESSES"] = addresses;
      mRecord["PR_ZEP_EMAIL_ADDRESSES_TYPES"] = types;
    }
    return status;
  }

 private:
  void Add(const PVCardProperty& property) {
    const auto text = [&](size_t index) { return property.ValueText(index); };
    const size_t count = property.Values().size();
    switch (property.Type()) {
      case PROPERTY_N: {
        static const char* const kKeys[] = {"PR_SURNAME", "PR_GIVEN_NAME", "PR_MIDDLE_NAME", "PR_DISPLAY_NAME_PREFIX"};
        for (size_t i = 0; i < 4 && i < count; ++i) Set(kKeys[i], text(i));
        break;
      }
      case PROPERTY_FN:
        if (!text(0).empty()) {
          Set("PR_DISPLAY_NAME", text(0));
          mHasName = true;
        }
        break;
      case PROPERTY_NICKNAME:
        Set("PR_NICKNAME", text(0));
        break;
      case PROPERTY_ADR:
        if (count == 7) AddAddress(property);
        break;
      case PROPERTY_EMAIL:
        AddEmail(property);
        break;
      case PROPERTY_TEL:
        AddPhone(property);
        break;
      case PROPERTY_URL:
        AddUrl(property);
        break;
      case PROPERTY_NOTE:
        Set("PR_COMMENT", text(0));
        break;
      case PROPERTY_TITLE:
        Set("PR_TITLE", text(0));
        break;
      case PROPERTY_ORG:
        Set("PR_COMPANY_NAME", text(0));
        if (count > 1) Set("PR_DEPARTMENT_NAME", text(1));
        break;
      default:
        break;
    }
  }

  void AddAddress(const PVCardProperty& property) {
    static const char* const kWork[] = {"PR_OFFICE_LOCATION", "PR_STREET_ADDRESS", "PR_LOCALITY", "PR_STATE_OR_PROVINCE",
                                        "PR_POSTAL_CODE", "PR_COUNTRY"};
    static const char* const kHome[] = {nullptr, "PR_HOME_ADDRESS_STREET", "PR_HOME_ADDRESS_CITY",
                                        "PR_HOME_ADDRESS_STATE_OR_PROVINCE", "PR_HOME_ADDRESS_POSTAL_CODE",
                                        "PR_HOME_ADDRESS_COUNTRY"};
    const auto& keys = property.HasFlag(PROPERTY_WORK) ? kWork : kHome;
    for (size_t i = 0; i < 6; ++i) {
      if (keys[i] != nullptr) Set(keys[i], property.ValueText(i + 1));
    }
  }

  void AddEmail(const PVCardProperty& property) {
    std::pair<std::string, std::string> entry{property.HasFlag(PROPERTY_WORK) ? "W:" : "H:", property.ValueText(0)};
    if (property.HasFlag(PROPERTY_PREFERRED)) {
      mEmails.insert(mEmails.begin(), std::move(entry));
    } else {
      mEmails.push_back(std::move(entry));
    }
  }

  void AddPhone(const PVCardProperty& property) {
    const std::string number = property.ValueText(0);
    const bool work = property.HasFlag(PROPERTY_WORK), home = property.HasFlag(PROPERTY_HOME);
    const bool voice = property.HasFlag(PROPERTY_VOICE) || property.HasFlag(PROPERTY_PREFERRED);
    if (property.HasFlag(PROPERTY_CELL)) return Set("PR_MOBILE_TELEPHONE_NUMBER", number);
    if (property.HasFlag(PROPERTY_FAX) && home && SetIfFree("PR_HOME_FAX_NUMBER", number)) return;
    if (property.HasFlag(PROPERTY_FAX) && work && SetIfFree("PR_BUSINESS_FAX_NUMBER", number)) return;
    if (voice && work && (SetIfFree("PR_BUSINESS_TELEPHONE_NUMBER", number) || SetIfFree("PR_BUSINESS2_TELEPHONE_NUMBER", number))) return;
    if (voice && home && (SetIfFree("PR_HOME_TELEPHONE_NUMBER", number) || SetIfFree("PR_HOME2_TELEPHONE_NUMBER", number))) return;
    std::string attributes = work ? "W" : "H";
    attributes += property.HasFlag(PROPERTY_PAGER) ? "P" : property.HasFlag(PROPERTY_FAX) ? "F" : property.HasFlag(PROPERTY_CELL) ? "C" : "T";
    attributes += property.HasFlag(PROPERTY_PREFERRED) ? "P" : "N";
    mRecord["PR_ZEP_ADDITIONAL_PHONES_LIST"] += number + "\t";
    mRecord["PR_ZEP_ADDITIONAL_PHONES_ATTR"] += attributes + "\t";
  }

  void AddUrl(const PVCardProperty& property) {
    const std::string url = property.ValueText(0);
    const bool work = property.HasFlag(PROPERTY_WORK);
    if (work && SetIfFree("PR_BUSINESS_HOME_PAGE", url)) return;
    if (property.HasFlag(PROPERTY_HOME) && SetIfFree("PR_PERSONAL_HOME_PAGE", url)) return;
    mRecord["PR_ZEP_ADDITIONAL_URLS_LIST"] += url + "\t";
    mRecord["PR_ZEP_ADDITIONAL_URLS_ATTR"] += std::string(work ? "W" : "H") + "\t";
  }

  void Set(const char* key, const std::string& value) { mRecord[key] = value; }
  bool SetIfFree(const char* key, const std::string& value) {
    if (!Value(key).empty()) return false;
    Set(key, value);
    return true;
  }
  const std::string& Value(const char* key) const { return mRecord.Property(key); }

  CDataItem& mRecord;
  bool mHasName = false;
  // Type prefix ("W:" or "H:") and address, preferred ones first.
  std::vector<std::pair<std::string, std::string>> mEmails;
};

constexpr std::string_view kServerReference = "TMP:";

std::string AfterMailto(const std::string& value) {
  const size_t colon = value.find(':');
  const bool mailto = colon != std::string::npos && value.compare(0, colon, "MAILTO") == 0;
  return mailto ? value.substr(colon + 1) : value;
}

// Builds the record of the VEVENT or VTODO of a vCalendar text, with the values in the forms
// records keep (dates "%Y%m%d", event times in UTC "%Y%m%dT%H%M%SZ").
class CalendarRecordBuilder {
 public:
  // Null when the text holds neither a VEVENT nor a VTODO.
  static CDataItem::Ptr Build(const std::string& text) {
    const bool task = text.find("BEGIN:VTODO") != std::string::npos;
    if (!task && text.find("BEGIN:VEVENT") == std::string::npos) return nullptr;
    CalendarRecordBuilder builder(task ? ITEM_TASK : ITEM_EVENT);
    if (!ReadVCalItem(text, VCalWalkOptions{task ? ITEM_TASK : ITEM_EVENT, false}, builder.mContent)) return nullptr;
    for (const VCalProperty& property : builder.mContent.properties) builder.Take(property);
    for (const VCalProperty& trigger : builder.mContent.alarms) builder.Set("VC_TRIGGER", trigger.value);
    builder.Finish();
    return builder.mRecord;
  }

 private:
  explicit CalendarRecordBuilder(int kind) : mRecord(CDataItem::Create(kind)) {}

  void Take(const VCalProperty& property) {
    const std::string& name = property.name;
    const std::string& value = property.value;
    if (name == "SUMMARY") Set("VC_SUMMARY", value);
    if (name == "DESCRIPTION") Set("VC_DESCRIPTION", EncodeTransfer(value, TRANSFER_QUOTED_PRINTABLE));
    if (name == "LOCATION") Set("VC_LOCATION", value);
    if (name == "CATEGORIES") Set("VC_CATEGORIES", value);
    if (name == "CLASS") Set("VC_CLASS", value == "PRIVATE" ? "PRIVATE" : "PUBLIC");
    if (name == "PRIORITY" && (value == "1" || value == "2" || value == "3")) Set("VC_PRIORITY", value);
    if (name == "STATUS") Set("VC_STATUS", value);
    if (name == "PERCENT-COMPLETE") Set("PERCENT-COMPLETE", value);
    if (name == "RRULE") Set("VC_RRULE", value);
    if (name == "EXDATE") Append("EXDATE", value);
    if (name == "DTSTART") Set("VC_DTSTART", DateText(property));
    if (name == "DTEND") Set("VC_DTEND", DateText(property));
    if (name == "DUE") Set("VC_DUE", DateText(property));
    if (name == "ORGANIZER") Set("VC_ORGANIZER", AfterMailto(value));
    if (name == "ATTENDEE") AddAttendee(property);
  }

  // Task dates and all-day values as the local date; event times as UTC.
  std::string DateText(const VCalProperty& property) const {
    const OleDate local = mContent.LocalTime(property);
    if (!local.IsValid()) return "";
    const bool dateOnly = property.Param("VALUE") == "DATE" || property.value.find('T') == std::string::npos;
    if (mRecord->kind == ITEM_TASK || dateOnly) return VCalDateText(local);
    return DateToVCalText(local.Days(), false);
  }

  void AddAttendee(const VCalProperty& property) {
    const std::string number = std::to_string(++mAttendees);
    const std::string& status = property.Param("PARTSTAT");
    const bool known = status == "ACCEPTED" || status == "DECLINED" || status == "TENTATIVE";
    Set("VC_ATTENDEE_NAME_" + number, property.Param("CN"));
    Set("VC_ATTENDEE_EMAIL_" + number, AfterMailto(property.value));
    Set("VC_ATTENDEE_STATUS_" + number, known ? status : "NEEDS-ACTION");
    Set("VC_ATTENDEE_COUNT", number);
  }

  void Finish() {
    if (mRecord->kind == ITEM_EVENT && mRecord->Property("VC_CATEGORIES").empty()) Set("VC_CATEGORIES", "Appointment");
    if (mRecord->kind == ITEM_TASK && mRecord->Property("PERCENT-COMPLETE").empty()) Set("PERCENT-COMPLETE", "0");
  }

  void Set(const std::string& key, const std::string& value) { (*mRecord)[key] = value; }
  void Append(const std::string& key, const std::string& value) {
    std::string& list = (*mRecord)[key];
    list += (list.empty() ? "" : ",") + value;
  }

  CDataItem::Ptr mRecord;
  VCalItemContent mContent;
  int mAttendees = 0;
};

}  // namespace

void TestStore::ThrowIfAutomationRefuses() {
  if (mAutomationError.empty()) return;
  if (mWritesBeforeAutomationError > 0) {
    --mWritesBeforeAutomationError;
    return;
  }
  throw CAutomationException(mAutomationError);
}

int32_t TestStore::AddAddressBookItem(PVCard& card, std::string& newEntryId, const std::string& serverId,
                                      const std::string& contentType) {
  ThrowIfAutomationRefuses();
  const bool group = contentType == kGroupContentType;
  newEntryId.clear();
  int writeStatus = WRITE_NOTHING;
  const bool written = group ? WriteGroup(card, newEntryId) : WriteContact(card, newEntryId, writeStatus);
  if (!written) {
    LogError("AddAddressBookItem", group ? "ListPVCard2OAB error" : "Pvcard2AddressBook error");
    return kStoreFail;
  }
  NoteItemAdded(serverId, newEntryId);
  RefreshCurrentRecord(newEntryId);
  LogDebug("AddAddressBookItem", "Item added");
  return kStoreOk;
}

int32_t TestStore::UpdateAddressBookItem(PVCard& card, std::string& entryId, const std::string& serverId,
                                         const std::string& contentType, int& writeStatus) {
  ThrowIfAutomationRefuses();
  const bool group = contentType == kGroupContentType;
  writeStatus = WRITE_NOTHING;
  const bool written = group ? WriteGroup(card, entryId) : WriteContact(card, entryId, writeStatus);
  if (group && written) writeStatus = WRITE_DONE;
  if (!written) {
    LogError("UpdateAddressBookItem", group ? "ListPVCard2OAB error" : "Pvcard2AddressBook error");
    return kStoreFail;
  }
  NoteItemWritten(serverId, entryId);
  RefreshCurrentRecord(entryId);
  LogDebug("UpdateAddressBookItem", "Item updated");
  return kStoreOk;
}

// Writes over the contact `id` of the current folder, or creates one (and sets `id`) when the
// folder holds none by that identifier. Fields the card does not give are left empty.
bool TestStore::WriteContact(PVCard& card, std::string& id, int& writeStatus) {
  if (!mOpen || mFailWrites || mCurrent == nullptr || IsCalendar(*mCurrent)) return false;
  auto record = CDataItem::Create(ITEM_CONTACT);
  if (mCurrent->items.count(id) != 0) record->itemId = id;
  writeStatus = ContactRecordBuilder(*record).Build(card);
  id = Store(*mCurrent, std::move(record));
  return true;
}

// A group's members are named by UID: "TMP:" and a server identifier for an item the server
// sent earlier in the run (resolved through mIdMap), else a local identifier. Members the
// store does not hold are left out.
bool TestStore::WriteGroup(PVCard& card, std::string& id) {
  if (!mOpen || mFailWrites || mCurrent == nullptr || IsCalendar(*mCurrent)) return false;
  auto record = CDataItem::Create(ITEM_GROUP);
  if (mCurrent->items.count(id) != 0) record->itemId = id;
  for (const PVCardProperty& property : card.Properties()) {
    const std::string value = property.ValueText(0);
    if (property.Type() == PROPERTY_FN && !value.empty()) (*record)["PR_DISPLAY_NAME"] = value;
    if (property.Type() == PROPERTY_NOTE) (*record)["PR_COMMENT"] = value;
    if (property.Type() != PROPERTY_UID) continue;
    std::string member = value;
    if (std::string_view(value).substr(0, kServerReference.size()) == kServerReference) {
      auto mapped = mIdMap.find(value);
      if (mapped == mIdMap.end()) mapped = mIdMap.find(value.substr(kServerReference.size()));
      member = mapped == mIdMap.end() ? "" : mapped->second;
    }
    if (!member.empty() && Find(member) != nullptr) record->members.push_back(member);
  }
  id = Store(*mCurrent, std::move(record));
  return true;
}

int32_t TestStore::AddCalendarItem(const std::string& vcalendarText, std::string& entryId) {
  ThrowIfAutomationRefuses();
  if (!WriteCalendarItem(vcalendarText, entryId)) {
    LogError("AddCalendarItem", "CalendarItem2CAL error");
    return kStoreFail;
  }
  NoteItemAdded("", entryId);
  RefreshCurrentRecord(entryId);
  LogDebug("AddCalendarItem", "Item added");
  return kStoreOk;
}

// Writes over the item `id` of the current folder or creates a new one (and sets `id`). A VTODO
// goes only into a task folder and a VEVENT only into an event folder.
bool TestStore::WriteCalendarItem(const std::string& text, std::string& id) {
  if (!mOpen || mFailWrites || mCurrent == nullptr || !IsCalendar(*mCurrent)) return false;
  CDataItem::Ptr record = CalendarRecordBuilder::Build(text);
  if (!record) return false;
  const int wantedType = record->kind == ITEM_TASK ? DATA_TASKS : DATA_EVENTS;
  if (mCurrent->dataType != wantedType) return false;
  if (mCurrent->items.count(id) != 0) record->itemId = id;
  id = Store(*mCurrent, std::move(record));
  return true;
}
