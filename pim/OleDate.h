// Date and time value: days since 1899-12-30 00:00 as a double with a validity status, and its conversions.
#pragma once

#include <compare>
#include <ctime>
#include <string>

// A signed length of time in days (the fraction is the part of a day).
class OleDateSpan {
 public:
  constexpr OleDateSpan() = default;
  constexpr explicit OleDateSpan(double days) : mDays(days) {}
  // days + hours/24 + minutes/1440 + seconds/86400; each part may be negative.
  constexpr OleDateSpan(long days, int hours, int minutes, int seconds)
      : mDays(static_cast<double>(days) + hours / 24.0 + minutes / 1440.0 + seconds / 86400.0) {}

  constexpr double Days() const { return mDays; }
  // Whole seconds in the span, rounded to the nearest second.
  long long TotalSeconds() const;

  constexpr OleDateSpan operator-() const { return OleDateSpan(-mDays); }
  constexpr auto operator<=>(const OleDateSpan&) const = default;

 private:
  double mDays = 0;
};

// Days since 1899-12-30 00:00 in the time frame of whoever made it (the machine's local time unless
// said otherwise). The fraction is the time of day; for dates before 1899-12-30 the integer part
// counts days backwards while the fraction still counts the time of day forwards (-1.25 is
// 1899-12-29 06:00), as the automation date format has it. Parts are rounded to the nearest second.
//
// Status: Null (no value; the default), Valid, or Invalid (made from impossible parts or from a
// value outside +-kMaxDays). Operations on a date that is not Valid give a date that is not Valid.
class OleDate {
 public:
  enum Status { Valid = 0, Invalid = 1, Null = 2 };

  // The validity range in days either side of 1899-12-30.
  static constexpr double kMaxDays = 3615897.0;
  // The store's mark for a missing date: a date in this year counts as absent.
  static constexpr int kNoDateYear = 4501;

  OleDate() = default;
  // Valid when `days` is finite and within +-kMaxDays, else Invalid.
  explicit OleDate(double days);
  // Valid when the parts name a real calendar time (month 1-12, day within the month, hour 0-23,
  // minute and second 0-59) within the range, else Invalid.
  OleDate(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

  // Seconds since 1970-01-01 00:00 UTC read as UTC parts / as the machine's local time.
  static OleDate FromUnixTimeUtc(std::time_t seconds);
  static OleDate FromUnixTimeLocal(std::time_t seconds);
  // The machine's local time now.
  static OleDate Now();

  // Sets the value from parts with the same rules as the constructor; false when Invalid.
  bool SetDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
  void SetStatus(Status status) { mStatus = status; }

  Status GetStatus() const { return mStatus; }
  bool IsValid() const { return mStatus == Valid; }
  bool IsNull() const { return mStatus == Null; }
  // True when the date is not Valid, is 0 (the zero date the stores use for "none") or falls in
  // the year 4501.
  bool IsAbsent() const;

  // The raw value; 0 when Null.
  double Days() const { return mDays; }

  // Parts of a Valid date; 0 for a date that is not Valid.
  int Year() const;
  int Month() const;   // 1-12
  int Day() const;     // 1-31
  int Hour() const;    // 0-23
  int Minute() const;  // 0-59
  int Second() const;  // 0-59
  int DayOfWeek() const;  // 1 = Sunday ... 7 = Saturday
  int DayOfYear() const;  // 1-366

  // The parts as a broken-down time (tm_isdst -1); false when the date is not Valid.
  bool ToTm(std::tm& parts) const;
  // The parts read as UTC / as the machine's local time, in seconds since 1970-01-01 00:00 UTC;
  // false when the date is not Valid or the C library cannot represent it.
  bool ToUnixTimeUtc(std::time_t& seconds) const;
  bool ToUnixTimeLocal(std::time_t& seconds) const;

  // strftime with `pattern`; "" for a Null date, "Invalid DateTime" for an Invalid one.
  std::string Format(const char* pattern) const;

  OleDate operator+(OleDateSpan span) const;
  OleDate operator-(OleDateSpan span) const { return *this + -span; }
  OleDate& operator+=(OleDateSpan span) { return *this = *this + span; }
  OleDate& operator-=(OleDateSpan span) { return *this = *this - span; }
  // The time from `other` to this date; 0 when either is not Valid.
  OleDateSpan operator-(const OleDate& other) const;

  // Dates compare by time (not by raw value, which runs backwards in its fraction before 1899-12-30);
  // equal status is required for equality, and dates that are not Valid order before Valid ones.
  bool operator==(const OleDate& other) const;
  std::partial_ordering operator<=>(const OleDate& other) const;

 private:
  // Seconds from 1899-12-30 00:00 on a continuous time line.
  long long LinearSeconds() const;
  static OleDate FromLinearSeconds(long long seconds);
  static OleDate FromTm(const std::tm& parts);

  double mDays = 0;
  Status mStatus = Null;
};

// Converts a UTC date to the machine's local time with the zone rules in force on that date
// (TZ environment honoured). A date that is not Valid is left as it is.
void UtcToLocal(OleDate& date);
// Converts a date in the machine's local time to UTC (daylight time decided by the C library for
// that date). A date that is not Valid is left as it is.
void LocalToUtc(OleDate& date);
// The machine's offset from UTC now, in seconds west of UTC, daylight saving included when in force.
long CurrentBiasSeconds();
