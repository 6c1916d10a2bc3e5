// Recurrence rules and alarm triggers in calendar text.
#include "pim/VCalRecurrence.h"

#include <algorithm>

#include "pim/VCalDateTime.h"

namespace {

constexpr long long kMaxNumber = 10000000;
constexpr int kMaxInterval = 100000;

struct DayName {
  std::string_view name;
  int bit;
};
constexpr DayName kDays[] = {{"SU", DAY_SUNDAY},    {"MO", DAY_MONDAY}, {"TU", DAY_TUESDAY},  {"WE", DAY_WEDNESDAY},
                             {"TH", DAY_THURSDAY}, {"FR", DAY_FRIDAY}, {"SA", DAY_SATURDAY}};

long long LeadingNumber(std::string_view text) {
  long long value = 0;
  for (size_t i = 0; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = std::min(value * 10 + (text[i] - '0'), kMaxNumber);
  }
  return value;
}

int FrequencyType(std::string_view frequency) {
  if (frequency == "DAILY") return RECUR_DAILY;
  if (frequency == "WEEKLY") return RECUR_WEEKLY;
  if (frequency == "MONTHLY") return RECUR_MONTHLY;
  if (frequency == "YEARLY") return RECUR_YEARLY;
  return -1;
}

int DayMaskOf(std::string_view days) {
  int mask = 0;
  for (const DayName& day : kDays) {
    if (days.find(day.name) != std::string_view::npos) mask |= day.bit;
  }
  return mask;
}

bool IsYearly(int type) { return type == RECUR_YEARLY || type == RECUR_YEARLY_NTH; }

}  // namespace

bool ReadRecurrenceRule(std::string_view value, RecurrencePattern& pattern) {
  RecurrencePattern read;
  size_t start = 0;
  while (start < value.size()) {
    size_t end = value.find(';', start);
    if (end == std::string_view::npos) end = value.size();
    const std::string_view part = value.substr(start, end - start);
    start = end + 1;
    const size_t equals = part.find('=');
    if (equals == std::string_view::npos || equals == 0) continue;
    const std::string_view key = part.substr(0, equals);
    const std::string_view argument = part.substr(equals + 1);
    if (key == "FREQ") {
      read.type = FrequencyType(argument);
    } else if (key == "INTERVAL") {
      read.interval = static_cast<int>(std::clamp<long long>(LeadingNumber(argument), 1, kMaxInterval));
    } else if (key == "BYDAY") {
      read.dayMask = DayMaskOf(argument);
    } else if (key == "UNTIL") {
      read.end = ParseVCalDateTime(argument);
      read.noEndDate = !read.end.IsValid();
    } else if (key == "COUNT") {
      read.occurrences = static_cast<int>(LeadingNumber(argument));
    }
  }
  if (read.type < 0) return false;
  if (read.dayMask != 0 && read.type == RECUR_MONTHLY) read.type = RECUR_MONTHLY_NTH;
  if (read.dayMask != 0 && read.type == RECUR_YEARLY) read.type = RECUR_YEARLY_NTH;
  if (IsYearly(read.type) && read.interval != 12) read.interval *= 12;
  pattern = read;
  return true;
}

std::string WriteRecurrenceRule(const RecurrencePattern& pattern) {
  std::string rule;
  switch (pattern.type) {
    case RECUR_DAILY:
      rule = "FREQ=DAILY";
      break;
    case RECUR_WEEKLY:
      rule = "FREQ=WEEKLY";
      break;
    case RECUR_MONTHLY:
    case RECUR_MONTHLY_NTH:
      rule = "FREQ=MONTHLY";
      break;
    case RECUR_YEARLY:
    case RECUR_YEARLY_NTH:
      rule = "FREQ=YEARLY";
      break;
    default:
      return "";
  }
  const int interval = IsYearly(pattern.type) ? pattern.interval / 12 : pattern.interval;
  rule += ";INTERVAL=" + std::to_string(std::max(interval, 1));
  if (pattern.dayMask != 0) {
    rule += ";BYDAY=";
    bool first = true;
    for (const DayName& day : kDays) {
      if ((pattern.dayMask & day.bit) == 0) continue;
      if (!first) rule += ',';
      rule += day.name;
      first = false;
    }
  }
  if (!pattern.noEndDate && pattern.end.IsValid() && pattern.end.Days() != 0 &&
      pattern.end.Year() != OleDate::kNoDateYear) {
    rule += ";UNTIL=" + VCalStampText(pattern.end);
  }
  return rule;
}

int ReadTrigger(std::string_view value) {
  enum class Part { Start, Date, Time };
  Part part = Part::Start;
  long long number = 0;
  long long minutes = 0;
  for (const char c : value) {
    if (c >= '0' && c <= '9') {
      if (part != Part::Start) number = std::min(number * 10 + (c - '0'), kMaxNumber);
      continue;
    }
    long long unit = 0;
    if (part == Part::Start && c == 'P') {
      part = Part::Date;
    } else if (part == Part::Date && c == 'T') {
      part = Part::Time;
    } else if (part == Part::Date && (c == 'W' || c == 'D')) {
      unit = c == 'W' ? 10080 : 1440;
    } else if (part == Part::Time && (c == 'H' || c == 'M')) {
      unit = c == 'H' ? 60 : 1;
    } else if (part == Part::Time && c == 'S') {
      minutes += number / 60;
    }
    minutes = std::min(minutes + number * unit, kMaxNumber * 10080);
    if (c != 'P') number = 0;  // a unit, a separator or an unknown character ends the number
  }
  return static_cast<int>(std::min<long long>(minutes, 1000000000LL));
}

std::string WriteTrigger(int minutes) {
  if (minutes <= 0) return "-PT0M";
  if (minutes % 10080 == 0) return "-P" + std::to_string(minutes / 10080) + "W";
  if (minutes % 1440 == 0) return "-P" + std::to_string(minutes / 1440) + "D";
  if (minutes % 60 == 0) return "-PT" + std::to_string(minutes / 60) + "H";
  return "-PT" + std::to_string(minutes) + "M";
}
