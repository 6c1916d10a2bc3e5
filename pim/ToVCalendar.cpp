// The vCalendar text of a task or event record.
#include <algorithm>
#include <string>

#include "pim/CDataItem.h"
#include "pim/VCalProperty.h"

namespace {

// More attendees than this in one record can only come from a damaged count.
constexpr long kMaxAttendees = 10000;

class VCalWriter {
 public:
  void Line(std::string_view nameAndParams, std::string_view value) {
    mText.append(nameAndParams);
    mText += ':';
    mText += EscapeVCalValue(value);
    mText += "\r\n";
  }
  void LineIfSet(std::string_view nameAndParams, std::string_view value) {
    if (!value.empty()) Line(nameAndParams, value);
  }
  // A date line: VALUE=DATE when the value has no time part.
  void DateLineIfSet(const std::string& name, const std::string& value) {
    if (!value.empty()) Line(value.find('T') == std::string::npos ? name + ";VALUE=DATE" : name, value);
  }
  std::string Take() { return std::move(mText); }

 private:
  std::string mText;
};

// A parameter value between double quotes cannot hold a double quote or a line break.
std::string QuotedParamValue(std::string_view value) {
  std::string out = "\"";
  for (const char c : value) {
    if (c == '"') {
      out += '\'';
    } else if (c == '\r' || c == '\n') {
      out += ' ';
    } else {
      out += c;
    }
  }
  return out + '"';
}

long AttendeeCount(const std::string& text) {
  long count = 0;
  for (size_t i = 0; i < text.size() && text[i] >= '0' && text[i] <= '9' && count <= kMaxAttendees; ++i) {
    count = count * 10 + (text[i] - '0');
  }
  return std::min(count, kMaxAttendees);
}

void WriteAttendees(const CDataItem& item, VCalWriter& writer) {
  const long count = AttendeeCount(item.Property("VC_ATTENDEE_COUNT"));
  for (long i = 1; i <= count; ++i) {
    const std::string number = std::to_string(i);
    const std::string& email = item.Property("VC_ATTENDEE_EMAIL_" + number);
    if (email.empty()) continue;
    const std::string& name = item.Property("VC_ATTENDEE_NAME_" + number);
    const std::string& status = item.Property("VC_ATTENDEE_STATUS_" + number);
    std::string line = "ATTENDEE";
    if (!name.empty()) line += ";CN=" + QuotedParamValue(name);
    if (!status.empty()) line += ";PARTSTAT=" + status;
    writer.Line(line, "MAILTO:" + email);
  }
}

}  // namespace

std::string CDataItem::ToVCalendar() const {
  const std::string component = kind == ITEM_TASK ? "VTODO" : "VEVENT";
  VCalWriter writer;
  writer.Line("BEGIN", "VCALENDAR");
  writer.Line("VERSION", "2.0");
  writer.Line("BEGIN", component);
  writer.Line("UID", Property("PR_ENTRYID"));
  writer.Line("SUMMARY", Property("VC_SUMMARY"));
  writer.Line("DESCRIPTION;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8", Property("VC_DESCRIPTION"));
  writer.Line("CLASS", Property("VC_CLASS"));
  writer.Line("PRIORITY", Property("VC_PRIORITY"));
  writer.LineIfSet("STATUS", Property("VC_STATUS"));
  writer.Line("PERCENT-COMPLETE", Property("PERCENT-COMPLETE"));
  writer.DateLineIfSet("DTSTART", Property("VC_DTSTART"));
  writer.DateLineIfSet("DTEND", Property("VC_DTEND"));
  writer.DateLineIfSet("DUE", Property("VC_DUE"));
  writer.LineIfSet("CATEGORIES", Property("VC_CATEGORIES"));
  if (const std::string& trigger = Property("VC_TRIGGER"); !trigger.empty()) {
    writer.Line("BEGIN", "VALARM");
    writer.Line("ACTION", "EMAIL");
    writer.Line("TRIGGER", trigger);
    writer.Line("END", "VALARM");
  }
  writer.Line("LOCATION", Property("VC_LOCATION"));
  if (const std::string& organizer = Property("VC_ORGANIZER"); !organizer.empty()) writer.Line("ORGANIZER", "MAILTO:" + organizer);
  if (!Property("VC_ATTENDEE_COUNT").empty()) WriteAttendees(*this, writer);
  writer.LineIfSet("RRULE", Property("VC_RRULE"));
  writer.LineIfSet("EXDATE", Property("EXDATE"));
  writer.LineIfSet("RECURRENCE-ID", Property("VC_RECURRENCE_ID"));
  writer.Line("END", component);
  writer.Line("END", "VCALENDAR");
  return writer.Take();
}
