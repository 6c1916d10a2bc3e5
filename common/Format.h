// printf-style formatting that is safe for texts from string tables and language libraries:
// arguments are typed values, never read from a va_list, so a format that does not match its
// arguments can render wrong text but never read memory it should not.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

class FormatArg {
 public:
  FormatArg(int value) : mValue(static_cast<long long>(value)) {}
  FormatArg(long value) : mValue(static_cast<long long>(value)) {}
  FormatArg(long long value) : mValue(value) {}
  FormatArg(unsigned value) : mValue(static_cast<unsigned long long>(value)) {}
  FormatArg(unsigned long value) : mValue(static_cast<unsigned long long>(value)) {}
  FormatArg(unsigned long long value) : mValue(value) {}
  FormatArg(double value) : mValue(value) {}
  FormatArg(const char* value) : mValue(std::string_view(value != nullptr ? value : "")) {}
  FormatArg(std::string_view value) : mValue(value) {}
  FormatArg(const std::string& value) : mValue(std::string_view(value)) {}

  using Value = std::variant<long long, unsigned long long, double, std::string_view>;
  const Value& value() const { return mValue; }

 private:
  Value mValue;
};

// Formats `format` with the conversions %d %i %u %x %X %o %c %s %f %e %g %% (flags, width,
// precision and length modifiers such as l, ll, h are accepted). Arguments are consumed in order;
// a missing argument renders as nothing, a numeric conversion of a text argument reads the text's
// leading integer, and %s of a number prints it in decimal.
std::string FormatText(std::string_view format, std::initializer_list<FormatArg> args = {});
