// Fuzz target: the vCalendar property reader and the component walk on arbitrary item text, the
// value readers (dates, zones, rules of both grammars, triggers) on everything the walk delivers,
// and the record builder, whose written records must read back as the same records.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/TextCodec.h"
#include "pim/CalendarRecordBuilder.h"
#include "pim/VCalDateTime.h"
#include "pim/VCalItemReader.h"
#include "pim/VCalProperty.h"
#include "pim/VCalRecurrence.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// Every call moves forward, and the lines together cover the text.
void ReadAllLines(std::string_view text) {
  size_t position = 0;
  VCalProperty property;
  while (position < text.size()) {
    const size_t before = position;
    Check(ReadVCalProperty(text, position, property));
    Check(position > before && position <= text.size());
    Check(property.value.size() <= 4 * text.size() + 16);
    Check(IsValidUtf8(property.value));  // program text, whatever the bytes were
    // A decoded value written again reads back unchanged.
    if (property.value.find('\r') == std::string::npos && IsValidUtf8(property.value)) {
      Check(DecodeVCalValue(EscapeVCalValue(property.value), {}) == property.value);
    }
  }
  Check(!ReadVCalProperty(text, position, property));
}

void CheckValue(const VCalItemContent& content, const VCalProperty& property) {
  if (property.name == "DTSTART" || property.name == "DTEND" || property.name == "DUE") {
    const OleDate local = content.LocalTime(property);
    if (local.IsValid()) Check(!local.Format("%Y%m%dT%H%M%S").empty());
    const OleDate utc = content.UtcTime(property);
    if (utc.IsValid() && utc.Year() >= 1 && utc.Year() <= 9999) Check(!VCalStampText(utc).empty());
  } else if (property.name == "RRULE") {
    RecurrencePattern pattern;
    if (ReadRecurrenceRule(property.value, pattern)) {
      Check(pattern.interval >= 1);
      RecurrencePattern again;
      Check(ReadRecurrenceRule(WriteRecurrenceRule(pattern), again));
      Check(again.type == pattern.type && again.dayMask == pattern.dayMask && again.occurrences == pattern.occurrences);
    }
  } else if (property.name == "EXDATE") {
    (void)ParseVCalDateTime(property.value);
  } else if (property.name == "DURATION") {
    long long seconds = 0;
    (void)ReadDuration(property.value, seconds);
  }
}

std::string Keyed(const std::vector<CDataItem::Ptr>& records) {
  std::string dump;
  for (const CDataItem::Ptr& record : records) {
    dump += ChangedOccurrenceKey("item", *record) + "\n";
    for (const auto& [key, value] : record->properties) dump += key + "=" + value + "\n";
  }
  return dump;
}

// The records of a written text are the records written (the folder store's fixpoint).
void CheckRecordsReadBack(std::string_view text) {
  std::vector<CDataItem::Ptr> records = CalendarRecordBuilder::BuildAll(text);
  if (records.empty()) return;
  for (const CDataItem::Ptr& record : records) (*record)["PR_ENTRYID"] = "item";
  const std::string written = ToVCalendar(records);
  std::vector<CDataItem::Ptr> again = CalendarRecordBuilder::BuildAll(written);
  for (const CDataItem::Ptr& record : again) (*record)["PR_ENTRYID"] = "item";
  // Once written, the text is in the store's own forms: writing it again changes nothing.
  const std::string rewritten = ToVCalendar(again);
  std::vector<CDataItem::Ptr> third = CalendarRecordBuilder::BuildAll(rewritten);
  for (const CDataItem::Ptr& record : third) (*record)["PR_ENTRYID"] = "item";
  Check(Keyed(third) == Keyed(again));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ReadAllLines(text);
  for (const int kind : {ITEM_EVENT, ITEM_TASK}) {
    for (const bool changedOccurrence : {false, true}) {
      VCalItemContent content;
      Check(ReadVCalItem(text, {kind, changedOccurrence}, content));
      for (const VCalComponent& component : content.components) {
        for (const VCalProperty& property : component.properties) CheckValue(content, property);
        for (const VCalProperty& alarm : component.alarms) Check(ReadTrigger(alarm.value) >= 0);
      }
    }
  }
  CheckRecordsReadBack(text);
  const VCalRecurrenceId id = FindRecurrenceId(text);
  Check(id.date.size() <= 8);
  return 0;
}
