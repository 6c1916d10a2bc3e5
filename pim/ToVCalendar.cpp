// The calendar text of task and event records: iCalendar 2.0, or vCalendar 1.0.
#include <algorithm>
#include <ctime>
#include <optional>
#include <set>
#include <string>

#include "pim/CDataItem.h"
#include "pim/CalendarZones.h"
#include "pim/EncodedText.h"
#include "pim/VCalDateTime.h"
#include "pim/VCalProperty.h"
#include "pim/VCalRecurrence.h"
#include "pim/VCardText_p.h"
#include "pim/ZoneDates.h"

namespace {

// More attendees than this in one record can only come from a damaged count.
constexpr long kMaxAttendees = 10000;
// Years of vCalendar 1.0 DAYLIGHT lines written after the start of an open series.
constexpr int kOpenSeriesYears = 5;
constexpr const char* kProductId = "-//Tarnwell//QuenorSync//EN";
// The category the client once sent for an event without categories; never written again.
constexpr const char* kFormerDefaultCategory = "Appointment";

bool IsDate(std::string_view value) { return value.size() == 8 && value.find('T') == std::string_view::npos; }

// iCalendar TEXT: backslash, ";" and "," escaped (commas kept where they separate list
// elements), line breaks as \n.
std::string EscapeText20(std::string_view value, bool list = false) { return EscapeVCalValue(value, list ? ";" : ";,"); }

// A parameter value: quoted when it holds a character that would end it; a double quote or a
// line break cannot be held at all.
std::string ParamValue(std::string_view value, bool alwaysQuote = false) {
  std::string out;
  bool quote = alwaysQuote;
  for (const char c : value) {
    if (c == '"') {
      out += '\'';
    } else if (c == '\r' || c == '\n') {
      out += ' ';
    } else {
      quote = quote || c == ';' || c == ':' || c == ',';
      out += c;
    }
  }
  return quote ? '"' + out + '"' : out;
}

long AttendeeCount(std::string_view text) {
  long count = 0;
  for (size_t i = 0; i < text.size() && text[i] >= '0' && text[i] <= '9' && count <= kMaxAttendees; ++i) {
    count = count * 10 + (text[i] - '0');
  }
  return std::min(count, kMaxAttendees);
}

// The address without a "mailto:" it may already carry (in any letter case).
std::string_view BareAddress(std::string_view address) {
  constexpr std::string_view kScheme = "mailto:";
  if (address.size() >= kScheme.size() && vcardtext::EqualsIgnoreCase(address.substr(0, kScheme.size()), kScheme)) {
    address.remove_prefix(kScheme.size());
  }
  return address;
}

std::string PlainDescription(const std::string& encoded) {
  std::string plain;
  if (encoded.empty() || !QuotedPrintableDecode(encoded, plain)) return encoded;
  return plain;
}

bool NeedsEncoding(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80 || c == '\r' || c == '\n'; });
}

// The years a record's dates span, for the zone lines that describe them.
struct YearSpan {
  int from = 0;
  int to = 0;

  void Add(int year) {
    if (year <= 0) return;
    from = from == 0 ? year : std::min(from, year);
    to = std::max(to, year);
  }
};

int YearOf(std::string_view text) {
  const OleDate date = ParseVCalDateTime(text);
  return date.IsValid() ? date.Year() : 0;
}

int CurrentYear() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  return parts.tm_year + 1900;
}

YearSpan SpanOf(const CDataItem& record) {
  YearSpan span;
  for (const char* key : {"VC_DTSTART", "VC_DTEND", "VC_DUE", "VC_RECURRENCE_ID"}) span.Add(YearOf(record.Property(key)));
  const std::string& rule = record.Property("VC_RRULE");
  if (rule.empty() || span.from == 0) return span;
  RecurrencePattern pattern;
  if (!ReadRecurrenceRule(rule, pattern)) return span;
  if (pattern.noEndDate || pattern.occurrences > 0) {
    span.Add(std::max(span.from, CurrentYear()) + kOpenSeriesYears);
  } else {
    span.Add(pattern.end.IsValid() ? pattern.end.Year() : 0);
  }
  return span;
}

class CalendarWriter {
 public:
  explicit CalendarWriter(const ItemTextOptions& options) : mVersion10(options.calendar == CalendarVersion::VCalendar10) {}

  std::string Write(const std::vector<const CDataItem*>& records) {
    Line("BEGIN", "VCALENDAR");
    Line("VERSION", mVersion10 ? "1.0" : "2.0");
    Line("PRODID", kProductId);
    WriteZones(records);
    for (const CDataItem* record : records) WriteComponent(*record);
    Line("END", "VCALENDAR");
    return std::move(mText);
  }

 private:
  void Line(std::string_view nameAndParams, std::string_view value) {
    mText.append(nameAndParams);
    mText += ':';
    mText.append(value);
    mText += "\r\n";
  }

  // A text value: iCalendar escapes; vCalendar 1.0 as quoted-printable UTF-8 when it holds a line
  // break or a byte above 0x7F.
  void TextLine(std::string_view name, std::string_view value, bool list = false) {
    if (value.empty()) return;
    if (!mVersion10) {
      Line(name, EscapeText20(value, list));
    } else if (NeedsEncoding(value)) {
      Line(std::string(name) + ";ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8", EncodeTransfer(value, TRANSFER_QUOTED_PRINTABLE));
    } else {
      Line(name, EscapeVCalValue(value));
    }
  }

  void WriteZones(const std::vector<const CDataItem*>& records) {
    std::set<std::string> written;
    for (const CDataItem* record : records) {
      const std::string& zone = record->Property("VC_TZID");
      if (zone.empty() || !written.insert(zone).second) continue;
      YearSpan span;
      for (const CDataItem* other : records) {
        const YearSpan own = SpanOf(*other);
        span.Add(own.from);
        span.Add(own.to);
      }
      if (span.from == 0) continue;
      if (mVersion10) {
        // vCalendar 1.0 holds one zone: the first record's.
        for (const auto& [name, value] : VCal10ZoneLines(zone, span.from, span.to)) Line(name, value);
        return;
      }
      mText += VTimeZoneText(zone, span.from, span.to);
    }
  }

  // The zone a record's times are written in; none for UTC.
  void SetZone(const CDataItem& record) {
    mZoneId = record.Property("VC_TZID");
    mZone = CalendarZone(mZoneId);
    if (!mZone) mZoneId.clear();
  }

  // A UTC instant "…Z" as the zone's wall clock ("…" without "Z"), or as it is without a zone.
  std::string TimeText(std::string_view value) const {
    if (!mZone || IsDate(value) || !IsVCalUtcText(value)) return std::string(value);
    const std::string wall = VCalStampText(ZoneUtcToWall(*mZone, ParseVCalDateTime(value)));
    return wall.empty() ? std::string(value) : wall.substr(0, wall.size() - 1);
  }

  std::string ZoneParam() const { return ";TZID=" + ParamValue(mZoneId); }

  // A date or date-time line: VALUE=DATE for a date (iCalendar), TZID for a zoned time.
  void DateLine(const std::string& name, std::string_view value) {
    if (value.empty()) return;
    if (IsDate(value)) {
      Line(mVersion10 ? name : name + ";VALUE=DATE", value);
    } else if (mZone && IsVCalUtcText(value)) {
      Line(mVersion10 ? name : name + ZoneParam(), TimeText(value));
    } else {
      Line(name, value);
    }
  }

  // A list of dates or times (EXDATE).
  void DateListLine(const std::string& name, const std::string& list) {
    if (list.empty()) return;
    std::string values;
    bool dates = true;
    for (size_t at = 0; at <= list.size();) {
      const size_t end = std::min(list.find(',', at), list.size());
      const std::string_view element = std::string_view(list).substr(at, end - at);
      at = end + 1;
      if (element.empty()) continue;
      dates = dates && IsDate(element);
      if (!values.empty()) values += mVersion10 ? ";" : ",";
      values += TimeText(element);
    }
    if (values.empty()) return;
    std::string line = name;
    if (!mVersion10 && dates) line += ";VALUE=DATE";
    if (!mVersion10 && !dates && mZone) line += ZoneParam();
    Line(line, values);
  }

  void WriteComponent(const CDataItem& item) {
    SetZone(item);
    const bool task = item.kind == ITEM_TASK;
    const std::string component = task ? "VTODO" : "VEVENT";
    Line("BEGIN", component);
    Line("UID", item.Property("PR_ENTRYID"));
    TextLine("SUMMARY", item.Property("VC_SUMMARY"));
    TextLine("DESCRIPTION", PlainDescription(item.Property("VC_DESCRIPTION")));
    if (const std::string& value = item.Property("VC_CLASS"); !value.empty()) Line("CLASS", value);
    WritePriority(item.Property("VC_PRIORITY"));
    WriteStatus(item.Property("VC_STATUS"));
    if (item.Property("VC_TRANSP") == "TRANSPARENT") Line("TRANSP", mVersion10 ? "1" : "TRANSPARENT");
    if (const std::string& percent = item.Property("PERCENT-COMPLETE"); task && !percent.empty() && percent != "0") {
      Line("PERCENT-COMPLETE", percent);
    }
    DateLine("DTSTART", item.Property("VC_DTSTART"));
    DateLine("DTEND", item.Property("VC_DTEND"));
    DateLine("DUE", item.Property("VC_DUE"));
    if (const std::string& completed = item.Property("VC_COMPLETED"); task && !completed.empty()) {
      Line("COMPLETED", IsDate(completed) ? completed + "T000000Z" : completed);
    }
    if (const std::string& categories = item.Property("VC_CATEGORIES"); categories != kFormerDefaultCategory) {
      std::string list = categories;
      if (mVersion10) std::replace(list.begin(), list.end(), ',', ';');
      TextLine("CATEGORIES", list, true);
    }
    TextLine("LOCATION", item.Property("VC_LOCATION"));
    if (!task) WriteParticipants(item);
    WriteRecurrence(item);
    if (!item.Property("VC_RECURRENCE_ID").empty()) DateLine("RECURRENCE-ID", item.Property("VC_RECURRENCE_ID"));
    WriteAlarm(item);
    Line("END", component);
  }

  // iCalendar 1 (highest) to 9; vCalendar 1.0 as 1 to 3, which its senders write.
  void WritePriority(const std::string& priority) {
    if (priority == "1") Line("PRIORITY", "1");
    if (priority == "3") Line("PRIORITY", mVersion10 ? "3" : "9");
  }

  void WriteStatus(const std::string& status) {
    if (status.empty()) return;
    Line("STATUS", mVersion10 && status == "NEEDS-ACTION" ? "NEEDS ACTION" : status);
  }

  void WriteParticipants(const CDataItem& item) {
    const std::string& organizer = item.Property("VC_ORGANIZER");
    const std::string& organizerName = item.Property("VC_ORGANIZER_NAME");
    if (!organizer.empty() && !mVersion10) {
      Line("ORGANIZER" + (organizerName.empty() ? std::string() : ";CN=" + ParamValue(organizerName)),
           "mailto:" + std::string(BareAddress(organizer)));
    } else if (!organizer.empty()) {
      Line("ATTENDEE;ROLE=ORGANIZER", Participant10(organizerName, organizer));
    }
    const long count = AttendeeCount(item.Property("VC_ATTENDEE_COUNT"));
    for (long i = 1; i <= count; ++i) {
      const std::string number = std::to_string(i);
      const std::string& email = item.Property("VC_ATTENDEE_EMAIL_" + number);
      if (email.empty()) continue;
      const std::string& name = item.Property("VC_ATTENDEE_NAME_" + number);
      const std::string& status = item.Property("VC_ATTENDEE_STATUS_" + number);
      const std::string& role = item.Property("VC_ATTENDEE_ROLE_" + number);
      const bool rsvp = item.Property("VC_ATTENDEE_RSVP_" + number) == "TRUE";
      if (mVersion10) {
        std::string line = "ATTENDEE;ROLE=ATTENDEE";
        if (!status.empty()) line += ";STATUS=" + (status == "NEEDS-ACTION" ? std::string("NEEDS ACTION") : status);
        if (rsvp) line += ";RSVP=YES";
        // A required attendee is what one without EXPECT is.
        if (role == "OPT-PARTICIPANT") line += ";EXPECT=REQUEST";
        if (role == "NON-PARTICIPANT") line += ";EXPECT=FYI";
        Line(line, Participant10(name, email));
        continue;
      }
      std::string line = "ATTENDEE";
      if (!name.empty()) line += ";CN=" + ParamValue(name, true);
      if (!role.empty()) line += ";ROLE=" + role;
      // NEEDS-ACTION is what an attendee without PARTSTAT has.
      if (!status.empty() && status != "NEEDS-ACTION") line += ";PARTSTAT=" + status;
      if (rsvp) line += ";RSVP=TRUE";
      Line(line, "mailto:" + std::string(BareAddress(email)));
    }
  }

  static std::string Participant10(const std::string& name, const std::string& address) {
    const std::string bare(BareAddress(address));
    if (name.empty()) return bare;
    std::string plain = name;
    std::replace(plain.begin(), plain.end(), '\n', ' ');
    std::replace(plain.begin(), plain.end(), '\r', ' ');
    return plain + " <" + bare + ">";
  }

  void WriteRecurrence(const CDataItem& item) {
    const std::string& rule = item.Property("VC_RRULE");
    if (!rule.empty()) {
      if (!mVersion10) {
        Line("RRULE", rule);
      } else {
        RecurrencePattern pattern;
        if (ReadRecurrenceRule(rule, pattern)) {
          std::string end;
          if (!pattern.noEndDate && pattern.occurrences == 0 && pattern.end.IsValid()) {
            OleDate utc = pattern.endUtc;
            if (!utc.IsValid()) {
              utc = pattern.end;
              LocalToUtc(utc);
            }
            end = pattern.endIsDate && IsDate(item.Property("VC_DTSTART")) ? VCalDateText(pattern.end) : TimeText(VCalStampText(utc));
          }
          if (const std::string written = WriteRecurrenceRule10(pattern, end); !written.empty()) Line("RRULE", written);
        }
      }
    }
    DateListLine("EXDATE", item.Property("EXDATE"));
  }

  void WriteAlarm(const CDataItem& item) {
    const std::string& trigger = item.Property("VC_TRIGGER");
    if (trigger.empty()) return;
    // A display alarm needs a text: its own, else the summary it reminds of.
    std::string description = item.Property("VC_ALARM_DESCRIPTION");
    if (description.empty()) description = item.Property("VC_SUMMARY");
    if (mVersion10) {
      // The time the alarm goes off: the start less the lead time.
      OleDate start = ParseVCalDateTime(item.Property("VC_DTSTART"));
      if (!start.IsValid()) return;
      if (IsDate(item.Property("VC_DTSTART"))) LocalToUtc(start);
      const OleDate at = start - OleDateSpan(0, 0, ReadTrigger(trigger), 0);
      std::string value = TimeText(VCalStampText(at)) + ";;;";
      Line(NeedsEncoding(description) ? "DALARM;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8" : "DALARM",
           value + (NeedsEncoding(description) ? EncodeTransfer(description, TRANSFER_QUOTED_PRINTABLE)
                                                : EscapeVCalValue(description)));
      return;
    }
    Line("BEGIN", "VALARM");
    Line("ACTION", "DISPLAY");
    Line("DESCRIPTION", description.empty() ? std::string("Reminder") : EscapeText20(description));
    Line("TRIGGER", trigger);
    Line("END", "VALARM");
  }

  bool mVersion10;
  std::string mText;
  std::string mZoneId;
  std::optional<SystemTimeZone> mZone;
};

}  // namespace

std::string CDataItem::ToVCalendar(const ItemTextOptions& options) const { return CalendarWriter(options).Write({this}); }

std::string ToVCalendar(const std::vector<CDataItem::Ptr>& records, const ItemTextOptions& options) {
  std::vector<const CDataItem*> items;
  for (const CDataItem::Ptr& record : records) {
    if (record) items.push_back(record.get());
  }
  return CalendarWriter(options).Write(items);
}
