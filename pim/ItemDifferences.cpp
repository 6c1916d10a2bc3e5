// Field-by-field comparison of two versions of an item, in the words of the conflict question.
#include "pim/ItemDifferences.h"

#include <ctime>
#include <functional>
#include <string>

#include "pim/CalendarRecordBuilder.h"
#include "pim/ContactRecordBuilder.h"
#include "pim/EncodedText.h"
#include "pim/VCardContext.h"
#include "pim/VCardParser.h"

namespace {

// One field: its key in ConflictField, and how its value is read from a record.
struct FieldRule {
  const char* key;
  std::function<std::string(const CDataItem&)> read;
};

std::string Joined(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& part : parts) {
    if (part.empty()) continue;
    if (!text.empty()) text += ", ";
    text += part;
  }
  return text;
}

// A tab list's elements joined; `dropType` removes the "W:"/"H:" of a typed address list.
std::string TabList(const std::string& value, bool dropType = false) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start < value.size()) {
    std::size_t end = value.find('\t', start);
    if (end == std::string::npos) end = value.size();
    std::string element = value.substr(start, end - start);
    if (dropType) element = element.size() > 2 ? element.substr(2) : std::string();
    parts.push_back(std::move(element));
    start = end + 1;
  }
  return Joined(parts);
}

// "%Y%m%d" as "YYYY-MM-DD"; "%Y%m%dT%H%M%SZ" as the machine's local "YYYY-MM-DD HH:MM"; anything
// else as it stands.
std::string DateOrTime(const std::string& value) {
  const auto digits = [&](std::size_t from, std::size_t count) {
    if (from + count > value.size()) return false;
    for (std::size_t i = from; i < from + count; ++i) {
      if (value[i] < '0' || value[i] > '9') return false;
    }
    return true;
  };
  if (value.size() == 8 && digits(0, 8)) return value.substr(0, 4) + "-" + value.substr(4, 2) + "-" + value.substr(6, 2);
  if (value.size() != 16 || !digits(0, 8) || value[8] != 'T' || !digits(9, 6) || value[15] != 'Z') return value;
  std::tm utc{};
  utc.tm_year = std::stoi(value.substr(0, 4)) - 1900;
  utc.tm_mon = std::stoi(value.substr(4, 2)) - 1;
  utc.tm_mday = std::stoi(value.substr(6, 2));
  utc.tm_hour = std::stoi(value.substr(9, 2));
  utc.tm_min = std::stoi(value.substr(11, 2));
  utc.tm_sec = std::stoi(value.substr(13, 2));
  const std::time_t instant = timegm(&utc);
  std::tm local{};
  if (instant == static_cast<std::time_t>(-1) || localtime_r(&instant, &local) == nullptr) return value;
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
  return text;
}

std::string Times(const std::string& value) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start < value.size()) {
    std::size_t end = value.find(',', start);
    if (end == std::string::npos) end = value.size();
    parts.push_back(DateOrTime(value.substr(start, end - start)));
    start = end + 1;
  }
  return Joined(parts);
}

std::string Plain(const CDataItem& record, const char* key) { return record.Property(key); }

std::string Keys(const CDataItem& record, std::initializer_list<const char*> keys) {
  std::vector<std::string> parts;
  for (const char* key : keys) parts.push_back(record.Property(key));
  return Joined(parts);
}

std::string Description(const CDataItem& record) {
  const std::string& value = record.Property("VC_DESCRIPTION");
  std::string decoded;
  if (!QuotedPrintableDecode(value, decoded)) return value;
  // Records keep line breaks as CRLF; the user reads them as breaks.
  std::string lines;
  for (std::size_t i = 0; i < decoded.size(); ++i) {
    if (decoded[i] == '\r' && i + 1 < decoded.size() && decoded[i + 1] == '\n') continue;
    lines += decoded[i];
  }
  return lines;
}

// The local store writes "Appointment" for an event without categories.
std::string Categories(const CDataItem& record) {
  const std::string& value = record.Property("VC_CATEGORIES");
  return value == "Appointment" ? std::string() : value;
}

std::string Attendees(const CDataItem& record) {
  std::vector<std::string> parts;
  const int count = std::atoi(record.Property("VC_ATTENDEE_COUNT").c_str());
  for (int i = 1; i <= count && i <= 1000; ++i) {
    const std::string number = std::to_string(i);
    const std::string& name = record.Property("VC_ATTENDEE_NAME_" + number);
    const std::string& email = record.Property("VC_ATTENDEE_EMAIL_" + number);
    const std::string& status = record.Property("VC_ATTENDEE_STATUS_" + number);
    std::string attendee = name.empty() ? email : email.empty() ? name : name + " <" + email + ">";
    if (!status.empty()) attendee += " (" + status + ")";
    parts.push_back(attendee);
  }
  return Joined(parts);
}

const std::vector<FieldRule>& ContactFieldRules() {
  const auto plain = [](const char* key) { return FieldRule{key, [key](const CDataItem& record) { return Plain(record, key); }}; };
  static const std::vector<FieldRule> kFields = {
      plain("PR_DISPLAY_NAME"),
      plain("PR_DISPLAY_NAME_PREFIX"),
      plain("PR_GIVEN_NAME"),
      plain("PR_MIDDLE_NAME"),
      plain("PR_SURNAME"),
      plain("PR_NICKNAME"),
      plain("PR_COMPANY_NAME"),
      plain("PR_DEPARTMENT_NAME"),
      plain("PR_TITLE"),
      plain("PR_OFFICE_LOCATION"),
      {"EMAIL", [](const CDataItem& record) { return TabList(record.Property("PR_ZEP_EMAIL_ADDRESSES_TYPES"), true); }},
      plain("PR_BUSINESS_TELEPHONE_NUMBER"),
      plain("PR_BUSINESS2_TELEPHONE_NUMBER"),
      plain("PR_HOME_TELEPHONE_NUMBER"),
      plain("PR_HOME2_TELEPHONE_NUMBER"),
      plain("PR_MOBILE_TELEPHONE_NUMBER"),
      plain("PR_BUSINESS_FAX_NUMBER"),
      plain("PR_HOME_FAX_NUMBER"),
      {"PR_ZEP_ADDITIONAL_PHONES_LIST", [](const CDataItem& record) { return TabList(record.Property("PR_ZEP_ADDITIONAL_PHONES_LIST")); }},
      {"BUSINESS_ADDRESS",
       [](const CDataItem& record) {
         return Keys(record, {"PR_STREET_ADDRESS", "PR_LOCALITY", "PR_STATE_OR_PROVINCE", "PR_POSTAL_CODE", "PR_COUNTRY"});
       }},
      {"HOME_ADDRESS",
       [](const CDataItem& record) {
         return Keys(record, {"PR_HOME_ADDRESS_STREET", "PR_HOME_ADDRESS_CITY", "PR_HOME_ADDRESS_STATE_OR_PROVINCE",
                              "PR_HOME_ADDRESS_POSTAL_CODE", "PR_HOME_ADDRESS_COUNTRY"});
       }},
      plain("PR_BUSINESS_HOME_PAGE"),
      plain("PR_PERSONAL_HOME_PAGE"),
      {"PR_ZEP_ADDITIONAL_URLS_LIST", [](const CDataItem& record) { return TabList(record.Property("PR_ZEP_ADDITIONAL_URLS_LIST")); }},
      plain("PR_COMMENT"),
  };
  return kFields;
}

const std::vector<FieldRule>& CalendarFields() {
  const auto plain = [](const char* key) { return FieldRule{key, [key](const CDataItem& record) { return Plain(record, key); }}; };
  const auto time = [](const char* key) { return FieldRule{key, [key](const CDataItem& record) { return Times(record.Property(key)); }}; };
  static const std::vector<FieldRule> kFields = {
      plain("VC_SUMMARY"),
      plain("VC_LOCATION"),
      time("VC_DTSTART"),
      time("VC_DTEND"),
      time("VC_DUE"),
      plain("VC_RRULE"),
      time("EXDATE"),
      {"VC_DESCRIPTION", Description},
      {"VC_CATEGORIES", Categories},
      plain("VC_CLASS"),
      plain("VC_PRIORITY"),
      plain("VC_STATUS"),
      plain("PERCENT-COMPLETE"),
      plain("VC_TRIGGER"),
      {"ATTENDEES", Attendees},
      plain("VC_ORGANIZER"),
  };
  return kFields;
}

bool IsCalendarKind(int kind) { return kind == ITEM_EVENT || kind == ITEM_TASK; }

}  // namespace

CDataItem::Ptr RecordOfItemText(std::string_view text) {
  if (text.find("BEGIN:VCALENDAR") != std::string_view::npos) return CalendarRecordBuilder::Build(text);
  VCardContext context;
  const PVCardPtr card = Zep3_PVCard_FromStream(&context, text);
  if (!card) return nullptr;
  CDataItem::Ptr record = CDataItem::Create(ITEM_CONTACT);
  ContactRecordBuilder(*record).Build(*card);
  return record;
}

std::vector<ConflictField> DifferingFields(const CDataItem& local, const CDataItem& server) {
  // Both records written out and read back the same way: only what both sides can say counts, and
  // what the writer adds (a nickname from the display name) is added to both.
  const CDataItem::Ptr localRead = RecordOfItemText(local.ToText());
  const CDataItem::Ptr serverRead = RecordOfItemText(server.ToText());
  const CDataItem& mine = localRead ? *localRead : local;
  const CDataItem& theirs = serverRead ? *serverRead : server;
  std::vector<ConflictField> fields;
  for (const FieldRule& rule : IsCalendarKind(local.kind) ? CalendarFields() : ContactFieldRules()) {
    std::string localValue = rule.read(mine);
    std::string serverValue = rule.read(theirs);
    if (localValue != serverValue) fields.push_back({rule.key, std::move(localValue), std::move(serverValue)});
  }
  return fields;
}
