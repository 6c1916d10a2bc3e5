// The vCalendar text of a task or event record.
#include <algorithm>
#include <string>

#include "pim/CDataItem.h"
#include "pim/VCalProperty.h"
#include "pim/VCardText_p.h"

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

// "MAILTO:" and the address; an address that already carries the scheme (in any letter case)
// is not given it twice.
std::string MailtoValue(std::string_view address) {
  constexpr std::string_view kScheme = "mailto:";
  if (address.size() >= kScheme.size() && vcardtext::EqualsIgnoreCase(address.substr(0, kScheme.size()), kScheme)) {
    address.remove_prefix(kScheme.size());
  }
  return "MAILTO:" + std::string(address);
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
    writer.Line(line, MailtoValue(email));
  }
}

// The lines of the record's VEVENT or VTODO, from its BEGIN line to its END line.
void WriteComponent(const CDataItem& item, VCalWriter& writer) {
  const std::string component = item.kind == ITEM_TASK ? "VTODO" : "VEVENT";
  writer.Line("BEGIN", component);
  writer.Line("UID", item.Property("PR_ENTRYID"));
  writer.Line("SUMMARY", item.Property("VC_SUMMARY"));
  writer.Line("DESCRIPTION;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8", item.Property("VC_DESCRIPTION"));
  writer.Line("CLASS", item.Property("VC_CLASS"));
  writer.Line("PRIORITY", item.Property("VC_PRIORITY"));
  writer.LineIfSet("STATUS", item.Property("VC_STATUS"));
  writer.Line("PERCENT-COMPLETE", item.Property("PERCENT-COMPLETE"));
  writer.DateLineIfSet("DTSTART", item.Property("VC_DTSTART"));
  writer.DateLineIfSet("DTEND", item.Property("VC_DTEND"));
  writer.DateLineIfSet("DUE", item.Property("VC_DUE"));
  writer.LineIfSet("CATEGORIES", item.Property("VC_CATEGORIES"));
  if (const std::string& trigger = item.Property("VC_TRIGGER"); !trigger.empty()) {
    writer.Line("BEGIN", "VALARM");
    writer.Line("ACTION", "EMAIL");
    writer.Line("TRIGGER", trigger);
    writer.Line("END", "VALARM");
  }
  writer.Line("LOCATION", item.Property("VC_LOCATION"));
  if (const std::string& organizer = item.Property("VC_ORGANIZER"); !organizer.empty()) {
    writer.Line("ORGANIZER", MailtoValue(organizer));
  }
  if (!item.Property("VC_ATTENDEE_COUNT").empty()) WriteAttendees(item, writer);
  writer.LineIfSet("RRULE", item.Property("VC_RRULE"));
  // Excluded dates and an original start are dates of an all-day series, else UTC times.
  writer.DateLineIfSet("EXDATE", item.Property("EXDATE"));
  writer.DateLineIfSet("RECURRENCE-ID", item.Property("VC_RECURRENCE_ID"));
  writer.Line("END", component);
}

}  // namespace

std::string CDataItem::ToVCalendar() const {
  VCalWriter writer;
  writer.Line("BEGIN", "VCALENDAR");
  writer.Line("VERSION", "2.0");
  WriteComponent(*this, writer);
  writer.Line("END", "VCALENDAR");
  return writer.Take();
}

std::string ToVCalendar(const std::vector<CDataItem::Ptr>& records) {
  VCalWriter writer;
  writer.Line("BEGIN", "VCALENDAR");
  writer.Line("VERSION", "2.0");
  for (const CDataItem::Ptr& record : records) {
    if (record) WriteComponent(*record, writer);
  }
  writer.Line("END", "VCALENDAR");
  return writer.Take();
}
