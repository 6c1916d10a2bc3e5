// Event and task records from vCalendar text.
#include "stores/folder/CalendarRecordBuilder.h"

#include "pim/EncodedText.h"
#include "pim/VCalDateTime.h"
#include "pim/VCalProperty.h"

namespace {

std::string AfterMailto(const std::string& value) {
  const size_t colon = value.find(':');
  const bool mailto = colon != std::string::npos && value.compare(0, colon, "MAILTO") == 0;
  return mailto ? value.substr(colon + 1) : value;
}

}  // namespace

CDataItem::Ptr CalendarRecordBuilder::Build(const std::string& text) {
  const bool task = text.find("BEGIN:VTODO") != std::string::npos;
  if (!task && text.find("BEGIN:VEVENT") == std::string::npos) return nullptr;
  CalendarRecordBuilder builder(task ? ITEM_TASK : ITEM_EVENT);
  if (!ReadVCalItem(text, VCalWalkOptions{task ? ITEM_TASK : ITEM_EVENT, false}, builder.mContent)) return nullptr;
  for (const VCalProperty& property : builder.mContent.properties) builder.Take(property);
  for (const VCalProperty& trigger : builder.mContent.alarms) builder.Set("VC_TRIGGER", trigger.value);
  builder.Finish();
  return builder.mRecord;
}

void CalendarRecordBuilder::Take(const VCalProperty& property) {
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
std::string CalendarRecordBuilder::DateText(const VCalProperty& property) const {
  const OleDate local = mContent.LocalTime(property);
  if (!local.IsValid()) return "";
  const bool dateOnly = property.Param("VALUE") == "DATE" || property.value.find('T') == std::string::npos;
  if (mRecord->kind == ITEM_TASK || dateOnly) return VCalDateText(local);
  return DateToVCalText(local.Days(), false);
}

void CalendarRecordBuilder::AddAttendee(const VCalProperty& property) {
  const std::string number = std::to_string(++mAttendees);
  const std::string& status = property.Param("PARTSTAT");
  const bool known = status == "ACCEPTED" || status == "DECLINED" || status == "TENTATIVE";
  Set("VC_ATTENDEE_NAME_" + number, property.Param("CN"));
  Set("VC_ATTENDEE_EMAIL_" + number, AfterMailto(property.value));
  Set("VC_ATTENDEE_STATUS_" + number, known ? status : "NEEDS-ACTION");
  Set("VC_ATTENDEE_COUNT", number);
}

void CalendarRecordBuilder::Finish() {
  if (mRecord->kind == ITEM_EVENT && mRecord->Property("VC_CATEGORIES").empty()) Set("VC_CATEGORIES", "Appointment");
  if (mRecord->kind == ITEM_TASK && mRecord->Property("PERCENT-COMPLETE").empty()) Set("PERCENT-COMPLETE", "0");
}

void CalendarRecordBuilder::Append(const std::string& key, const std::string& value) {
  std::string& list = (*mRecord)[key];
  list += (list.empty() ? "" : ",") + value;
}
