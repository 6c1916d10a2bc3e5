// Typed printf-style formatting.
#include "common/Format.h"

#include <cctype>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

namespace {

struct Conversion {
  std::string flags;      // "-+ #0"
  std::string width;      // digits (a '*' is not supported and is dropped)
  std::string precision;  // digits after '.', or "" when absent
  bool hasPrecision = false;
  char type = 0;
};

bool IsLengthModifier(char c) { return c == 'h' || c == 'l' || c == 'L' || c == 'q' || c == 'j' || c == 'z' || c == 't' || c == 'I'; }

long long AsSigned(const FormatArg::Value& value) {
  if (const auto* v = std::get_if<long long>(&value)) return *v;
  if (const auto* v = std::get_if<unsigned long long>(&value)) return static_cast<long long>(*v);
  if (const auto* v = std::get_if<double>(&value)) {
    // Out-of-range and NaN conversions are undefined: clamp them.
    if (std::isnan(*v)) return 0;
    if (*v >= 9.2e18) return std::numeric_limits<long long>::max();
    if (*v <= -9.2e18) return std::numeric_limits<long long>::min();
    return static_cast<long long>(*v);
  }
  const std::string text(std::get<std::string_view>(value));
  return std::strtoll(text.c_str(), nullptr, 10);
}

unsigned long long AsUnsigned(const FormatArg::Value& value) {
  if (const auto* v = std::get_if<unsigned long long>(&value)) return *v;
  return static_cast<unsigned long long>(AsSigned(value));
}

double AsDouble(const FormatArg::Value& value) {
  if (const auto* v = std::get_if<double>(&value)) return *v;
  if (const auto* v = std::get_if<unsigned long long>(&value)) return static_cast<double>(*v);
  if (const auto* v = std::get_if<std::string_view>(&value)) return std::strtod(std::string(*v).c_str(), nullptr);
  return static_cast<double>(std::get<long long>(value));
}

std::string AsText(const FormatArg::Value& value) {
  if (const auto* v = std::get_if<std::string_view>(&value)) return std::string(*v);
  if (const auto* v = std::get_if<long long>(&value)) return std::to_string(*v);
  if (const auto* v = std::get_if<unsigned long long>(&value)) return std::to_string(*v);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%g", std::get<double>(value));
  return buffer;
}

// Renders one number with a printf conversion rebuilt from parsed, validated parts.
template <typename T>
std::string Render(const Conversion& conversion, const char* length, T number) {
  std::string spec(1, '%');
  spec.append(conversion.flags).append(conversion.width);
  if (conversion.hasPrecision) spec.append(1, '.').append(conversion.precision);
  spec.append(length);
  spec += conversion.type;
  const int size = std::snprintf(nullptr, 0, spec.c_str(), number);
  if (size <= 0) return {};
  std::string out(static_cast<size_t>(size) + 1, '\0');
  std::snprintf(out.data(), out.size(), spec.c_str(), number);
  out.resize(static_cast<size_t>(size));
  return out;
}

std::string Pad(const Conversion& conversion, std::string text) {
  const size_t width = conversion.width.empty() ? 0 : std::strtoul(conversion.width.c_str(), nullptr, 10);
  if (text.size() >= width) return text;
  const std::string padding(width - text.size(), ' ');
  return conversion.flags.find('-') != std::string::npos ? text + padding : padding + text;
}

std::string RenderConversion(const Conversion& conversion, const FormatArg::Value* value) {
  if (value == nullptr) return {};
  switch (conversion.type) {
    case 'd':
    case 'i':
      return Render(conversion, "ll", AsSigned(*value));
    case 'u':
    case 'x':
    case 'X':
    case 'o':
      return Render(conversion, "ll", AsUnsigned(*value));
    case 'f':
    case 'F':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
      return Render(conversion, "", AsDouble(*value));
    case 'c':
      return Pad(conversion, std::string(1, static_cast<char>(AsSigned(*value))));
    case 's': {
      std::string text = AsText(*value);
      if (conversion.hasPrecision) {
        const size_t limit = std::strtoul(conversion.precision.c_str(), nullptr, 10);
        if (text.size() > limit) text.resize(limit);
      }
      return Pad(conversion, std::move(text));
    }
    default:
      return {};
  }
}

}  // namespace

std::string FormatText(std::string_view format, std::initializer_list<FormatArg> args) {
  std::string out;
  out.reserve(format.size() + 16);
  const FormatArg* next = args.begin();
  size_t i = 0;
  while (i < format.size()) {
    const char c = format[i++];
    if (c != '%') {
      out += c;
      continue;
    }
    if (i < format.size() && format[i] == '%') {
      out += '%';
      ++i;
      continue;
    }
    Conversion conversion;
    while (i < format.size() && std::string_view("-+ #0").find(format[i]) != std::string_view::npos) conversion.flags += format[i++];
    while (i < format.size() && (std::isdigit(static_cast<unsigned char>(format[i])) || format[i] == '*')) {
      if (format[i] != '*') conversion.width += format[i];
      ++i;
    }
    if (i < format.size() && format[i] == '.') {
      conversion.hasPrecision = true;
      ++i;
      while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i]))) conversion.precision += format[i++];
      if (conversion.precision.empty()) conversion.precision.push_back('0');
    }
    while (i < format.size() && (IsLengthModifier(format[i]) || std::isdigit(static_cast<unsigned char>(format[i])))) ++i;
    if (i >= format.size()) break;
    conversion.type = format[i++];
    if (std::string_view("diuxXocsfFeEgG").find(conversion.type) == std::string_view::npos) continue;
    const FormatArg::Value* value = next != args.end() ? &next->value() : nullptr;
    if (next != args.end()) ++next;
    // Limit widths and precisions so a hostile format cannot ask for gigabytes.
    if (conversion.width.size() > 4) conversion.width = "9999";
    if (conversion.precision.size() > 4) conversion.precision = "9999";
    out += RenderConversion(conversion, value);
  }
  return out;
}
