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

constexpr int kMaxOccurrences = 100000;

// An ordinal of a weekday (1 to 5 from the start of the month, -1 the last) as the store's
// instance; 0 for one it cannot hold (the second to last, say).
int InstanceOf(long long ordinal) {
  if (ordinal >= 1 && ordinal <= kLastInstance) return static_cast<int>(ordinal);
  return ordinal == -1 ? kLastInstance : 0;
}

// A signed decimal number: an optional sign, then digits; `digits` tells whether any were read.
long long SignedNumber(std::string_view text, bool& digits) {
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) text.remove_prefix(1);
  digits = !text.empty() && text[0] >= '0' && text[0] <= '9';
  const long long value = LeadingNumber(text);
  return negative ? -value : value;
}

std::string_view FirstListElement(std::string_view list) { return list.substr(0, list.find(',')); }

// UNTIL, or a vCalendar 1.0 end date: a date is the whole of that day; a UTC time becomes local.
void ReadEnd(std::string_view text, RecurrencePattern& pattern) {
  OleDate end = ParseVCalDateTime(text);
  if (!end.IsValid()) return;
  pattern.endIsDate = text.find('T') == std::string_view::npos;
  if (!pattern.endIsDate && IsVCalUtcText(text)) {
    pattern.endUtc = end;
    UtcToLocal(end);
  }
  pattern.end = end;
  pattern.noEndDate = false;
}

void ReadByDay(std::string_view list, RecurrencePattern& pattern) {
  pattern.dayMask = DayMaskOf(list);
  const std::string_view first = FirstListElement(list);
  if (first.size() > 2) {
    bool digits = false;
    const long long ordinal = SignedNumber(first.substr(0, first.size() - 2), digits);
    if (digits) pattern.instance = InstanceOf(ordinal);
  }
}

bool ReadRule20(std::string_view value, RecurrencePattern& read) {
  long long setPosition = 0;
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
    bool digits = false;
    if (key == "FREQ") {
      read.type = FrequencyType(argument);
    } else if (key == "INTERVAL") {
      read.interval = static_cast<int>(std::clamp<long long>(LeadingNumber(argument), 1, kMaxInterval));
    } else if (key == "BYDAY") {
      ReadByDay(argument, read);
    } else if (key == "BYSETPOS") {
      setPosition = SignedNumber(FirstListElement(argument), digits);
    } else if (key == "BYMONTHDAY") {
      const long long day = SignedNumber(FirstListElement(argument), digits);
      if (digits && ((day >= 1 && day <= 31) || day == -1)) read.dayOfMonth = static_cast<int>(day);
    } else if (key == "BYMONTH") {
      const long long month = LeadingNumber(FirstListElement(argument));
      if (month >= 1 && month <= 12) read.monthOfYear = static_cast<int>(month);
    } else if (key == "UNTIL") {
      ReadEnd(argument, read);
    } else if (key == "COUNT") {
      read.occurrences = static_cast<int>(std::min<long long>(LeadingNumber(argument), kMaxOccurrences));
    }
  }
  if (read.instance == 0 && setPosition != 0 && read.dayMask != 0) read.instance = InstanceOf(setPosition);
  return read.type >= 0;
}

// The vCalendar 1.0 frequency at the start of a rule, with its pattern type; "" when none.
std::string_view Frequency10(std::string_view word, int& type) {
  struct Entry {
    std::string_view name;
    int type;
  };
  static constexpr Entry kFrequencies[] = {{"MP", RECUR_MONTHLY_NTH}, {"MD", RECUR_MONTHLY}, {"YM", RECUR_YEARLY},
                                           {"YD", RECUR_YEARLY},      {"D", RECUR_DAILY},    {"W", RECUR_WEEKLY}};
  for (const Entry& entry : kFrequencies) {
    if (word.substr(0, entry.name.size()) == entry.name && word.size() > entry.name.size() &&
        word[entry.name.size()] >= '0' && word[entry.name.size()] <= '9') {
      type = entry.type;
      return entry.name;
    }
  }
  return {};
}

bool IsEndDate10(std::string_view word) {
  return word.size() >= 8 && std::all_of(word.begin(), word.begin() + 8, [](char c) { return c >= '0' && c <= '9'; });
}

// One modifier word of a 1.0 rule: an occurrence ("2+", "1-"), a day of the month ("15", "1-",
// "LD"), a month ("6"), or a weekday; the first of each kind counts.
void ReadModifier10(std::string_view frequency, std::string_view word, RecurrencePattern& read, bool& firstValue) {
  const int day = DayMaskOf(word.substr(0, 2));
  if (word.size() >= 2 && day != 0 && (word.size() == 2 || word[2] == '$')) {
    read.dayMask |= day;
    return;
  }
  const bool last = !word.empty() && (word.back() == '-' || word == "LD");
  while (!word.empty() && (word.back() == '+' || word.back() == '-' || word.back() == '$')) word.remove_suffix(1);
  const long long number = LeadingNumber(word);
  if (!firstValue) return;
  firstValue = false;
  if (frequency == "MP") {
    read.instance = InstanceOf(last ? -number : number);
  } else if (frequency == "MD") {
    if (last && (number == 1 || word == "LD")) {
      read.dayOfMonth = -1;
    } else if (!last && number >= 1 && number <= 31) {
      read.dayOfMonth = static_cast<int>(number);
    }
  } else if (frequency == "YM" && number >= 1 && number <= 12) {
    read.monthOfYear = static_cast<int>(number);
  }
}

bool ReadRule10(std::string_view value, RecurrencePattern& read) {
  std::string_view frequency;
  bool firstValue = true;
  size_t start = 0;
  while (start < value.size()) {
    while (start < value.size() && value[start] == ' ') ++start;
    const size_t end = std::min(value.find(' ', start), value.size());
    const std::string_view word = value.substr(start, end - start);
    start = end;
    if (word.empty()) continue;
    if (frequency.empty()) {
      frequency = Frequency10(word, read.type);
      if (frequency.empty()) return false;
      read.interval = static_cast<int>(std::clamp<long long>(LeadingNumber(word.substr(frequency.size())), 1, kMaxInterval));
    } else if (word[0] == '#') {
      read.occurrences = static_cast<int>(std::min<long long>(LeadingNumber(word.substr(1)), kMaxOccurrences));
      break;  // the duration ends the rule; a second rule after it is not read
    } else if (IsEndDate10(word)) {
      ReadEnd(word, read);
      break;
    } else {
      ReadModifier10(frequency, word, read, firstValue);
    }
  }
  return !frequency.empty();
}

std::string DayList(int mask) {
  std::string days;
  for (const DayName& day : kDays) {
    if ((mask & day.bit) == 0) continue;
    if (!days.empty()) days += ',';
    days += day.name;
  }
  return days;
}

int SingleDayBit(int mask) { return mask != 0 && (mask & (mask - 1)) == 0 ? mask : 0; }

std::string UntilText(const RecurrencePattern& pattern, const RecurrenceWriteOptions& options) {
  if (options.allDay) return VCalDateText(pattern.end);
  OleDate end = pattern.end;
  if (pattern.endUtc.IsValid()) {
    OleDate local = pattern.endUtc;
    UtcToLocal(local);
    if (local == end) return VCalStampText(pattern.endUtc);
  }
  // The whole day: its last second, so the day's occurrence still belongs to the series.
  if (pattern.endIsDate) end = OleDate(end.Year(), end.Month(), end.Day(), 23, 59, 59);
  LocalToUtc(end);
  return VCalStampText(end);
}

}  // namespace

bool ReadRecurrenceRule(std::string_view value, RecurrencePattern& pattern) {
  RecurrencePattern read;
  const bool known = value.find('=') != std::string_view::npos ? ReadRule20(value, read) : ReadRule10(value, read);
  if (!known || read.type < 0) return false;
  // The by-weekday types are those with days; a vCalendar 1.0 "MP" rule without one is by day.
  if (read.type == RECUR_MONTHLY || read.type == RECUR_MONTHLY_NTH) read.type = read.dayMask != 0 ? RECUR_MONTHLY_NTH : RECUR_MONTHLY;
  if (read.dayMask != 0 && read.type == RECUR_YEARLY) read.type = RECUR_YEARLY_NTH;
  if (IsYearly(read.type) && read.interval != 12) read.interval *= 12;
  if (read.occurrences > 0) read.noEndDate = false;
  pattern = read;
  return true;
}

std::string WriteRecurrenceRule(const RecurrencePattern& pattern, const RecurrenceWriteOptions& options) {
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
  const bool byWeekday = pattern.type == RECUR_MONTHLY_NTH || pattern.type == RECUR_YEARLY_NTH;
  const std::string ordinal = pattern.instance == kLastInstance ? "-1" : std::to_string(pattern.instance);
  if (pattern.dayMask != 0) {
    const bool oneDay = SingleDayBit(pattern.dayMask) != 0;
    const bool withInstance = byWeekday && pattern.instance >= 1 && pattern.instance <= kLastInstance;
    rule += ";BYDAY=" + (withInstance && oneDay ? ordinal : std::string()) + DayList(pattern.dayMask);
    if (withInstance && !oneDay) rule += ";BYSETPOS=" + ordinal;
  }
  const bool byDay = pattern.type == RECUR_MONTHLY || pattern.type == RECUR_YEARLY;
  if (byDay && pattern.dayOfMonth != 0) rule += ";BYMONTHDAY=" + std::to_string(pattern.dayOfMonth);
  if (IsYearly(pattern.type) && pattern.monthOfYear != 0) rule += ";BYMONTH=" + std::to_string(pattern.monthOfYear);
  if (pattern.occurrences > 0) {
    rule += ";COUNT=" + std::to_string(pattern.occurrences);
  } else if (!pattern.noEndDate && pattern.end.IsValid() && pattern.end.Days() != 0 &&
             pattern.end.Year() != OleDate::kNoDateYear) {
    rule += ";UNTIL=" + UntilText(pattern, options);
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

int ReadSignedTrigger(std::string_view value) {
  const size_t first = value.find_first_not_of(" \t");
  const bool before = first != std::string_view::npos && value[first] == '-';
  const int minutes = ReadTrigger(value);
  return before ? -minutes : minutes;
}

bool ReadDuration(std::string_view value, long long& seconds) {
  size_t i = 0;
  bool negative = false;
  if (i < value.size() && (value[i] == '-' || value[i] == '+')) negative = value[i++] == '-';
  if (i >= value.size() || value[i] != 'P') return false;
  ++i;
  bool timePart = false;
  bool anyUnit = false;
  long long total = 0;
  long long number = 0;
  bool digits = false;
  for (; i < value.size(); ++i) {
    const char c = value[i];
    if (c >= '0' && c <= '9') {
      number = std::min(number * 10 + (c - '0'), kMaxNumber);
      digits = true;
      continue;
    }
    long long unit = 0;
    if (c == 'T' && !timePart && !digits) {
      timePart = true;
      continue;
    }
    if (!timePart && c == 'W') unit = 7 * 86400;
    if (!timePart && c == 'D') unit = 86400;
    if (timePart && c == 'H') unit = 3600;
    if (timePart && c == 'M') unit = 60;
    if (timePart && c == 'S') unit = 1;
    if (unit == 0 || !digits) return false;
    total += number * unit;
    anyUnit = true;
    number = 0;
    digits = false;
  }
  if (!anyUnit || digits) return false;
  seconds = negative ? -total : total;
  return true;
}

std::string WriteTrigger(int minutes) {
  if (minutes <= 0) return "-PT0M";
  if (minutes % 10080 == 0) return "-P" + std::to_string(minutes / 10080) + "W";
  if (minutes % 1440 == 0) return "-P" + std::to_string(minutes / 1440) + "D";
  if (minutes % 60 == 0) return "-PT" + std::to_string(minutes / 60) + "H";
  return "-PT" + std::to_string(minutes) + "M";
}

std::string WriteRecurrenceRule10(const RecurrencePattern& pattern, std::string_view endText) {
  const std::string interval = std::to_string(std::max(pattern.interval, 1));
  const std::string ordinal =
      pattern.instance == kLastInstance ? "1-" : std::to_string(std::max(pattern.instance, 1)) + "+";
  std::string days;
  for (const DayName& day : kDays) {
    if ((pattern.dayMask & day.bit) != 0) days += " " + std::string(day.name);
  }
  std::string rule;
  switch (pattern.type) {
    case RECUR_DAILY: rule = "D" + interval; break;
    case RECUR_WEEKLY: rule = "W" + interval + days; break;
    case RECUR_MONTHLY:
      rule = "MD" + interval;
      if (pattern.dayOfMonth > 0) rule += " " + std::to_string(pattern.dayOfMonth);
      if (pattern.dayOfMonth < 0) rule += " 1-";
      break;
    case RECUR_MONTHLY_NTH: rule = "MP" + interval + " " + ordinal + days; break;
    case RECUR_YEARLY:
      rule = "YM" + std::to_string(std::max(pattern.interval / 12, 1));
      if (pattern.monthOfYear > 0) rule += " " + std::to_string(pattern.monthOfYear);
      break;
    // vCalendar 1.0 has no yearly rule by weekday: by position every twelve months.
    case RECUR_YEARLY_NTH: rule = "MP" + std::to_string(std::max(pattern.interval, 12)) + " " + ordinal + days; break;
    default: return "";
  }
  if (pattern.occurrences > 0) return rule + " #" + std::to_string(pattern.occurrences);
  if (!endText.empty()) return rule + " " + std::string(endText);
  return rule + " #0";
}
