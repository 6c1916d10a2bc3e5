// Event and task records from vCalendar item text.
#pragma once

#include <string>

#include "pim/CDataItem.h"
#include "pim/VCalItemReader.h"

struct VCalProperty;

// Builds the record of the VEVENT or VTODO of a vCalendar (1.0 or 2.0) text, with the values in
// the forms records keep: task dates and all-day values "%Y%m%d" in local time, event times in
// UTC "%Y%m%dT%H%M%SZ", DESCRIPTION quoted-printable, attendees numbered.
class CalendarRecordBuilder {
 public:
  // Null when the text holds neither a VEVENT nor a VTODO, or is too long to read.
  static CDataItem::Ptr Build(const std::string& text);

 private:
  explicit CalendarRecordBuilder(int kind) : mRecord(CDataItem::Create(kind)) {}

  void Take(const VCalProperty& property);
  std::string DateText(const VCalProperty& property) const;
  void AddAttendee(const VCalProperty& property);
  void Finish();
  void Set(const std::string& key, const std::string& value) { (*mRecord)[key] = value; }
  void Append(const std::string& key, const std::string& value);

  CDataItem::Ptr mRecord;
  VCalItemContent mContent;
  int mAttendees = 0;
};
