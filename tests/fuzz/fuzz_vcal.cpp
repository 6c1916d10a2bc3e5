// Fuzz target: the vCalendar property reader and the component walk on arbitrary item text, with
// the value readers (dates, zones, rules, triggers) on everything the walk delivers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/TextCodec.h"
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
  } else if (property.name == "RRULE") {
    RecurrencePattern pattern;
    if (ReadRecurrenceRule(property.value, pattern)) {
      Check(pattern.interval >= 1);
      RecurrencePattern again;
      Check(ReadRecurrenceRule(WriteRecurrenceRule(pattern), again));
      Check(again.type == pattern.type && again.dayMask == pattern.dayMask);
    }
  } else if (property.name == "EXDATE") {
    (void)ParseVCalDateTime(property.value);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ReadAllLines(text);
  for (const int kind : {ITEM_EVENT, ITEM_TASK}) {
    for (const bool changedOccurrence : {false, true}) {
      VCalItemContent content;
      Check(ReadVCalItem(text, {kind, changedOccurrence}, content));
      for (const VCalProperty& property : content.properties) CheckValue(content, property);
      for (const VCalProperty& alarm : content.alarms) Check(ReadTrigger(alarm.value) >= 0);
    }
  }
  const VCalRecurrenceId id = FindRecurrenceId(text);
  Check(id.date.size() <= 8);
  return 0;
}
