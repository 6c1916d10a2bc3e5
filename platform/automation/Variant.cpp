// Variant conversions.
#include "platform/automation/Variant.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "platform/automation/AutomationDate.h"
#include "platform/automation/AutomationError.h"

namespace {

[[noreturn]] void Mismatch(VariantType from, VariantType to) {
  throw AutomationError(AutomationCode::kTypeMismatch, "Variant",
                        std::string("Type mismatch: cannot convert ") + VariantTypeName(from) + " to " + VariantTypeName(to));
}

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

bool ParseNumber(const std::string& text, double& value) {
  const std::string trimmed = Trimmed(text);
  if (trimmed.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtod(trimmed.c_str(), &end);
  return end != nullptr && *end == '\0' && errno == 0 && std::isfinite(value);
}

// "YYYY-MM-DD", optionally followed by " HH:MM" or " HH:MM:SS" (or a T instead of the space).
bool ParseDateText(const std::string& text, double& date) {
  DateParts parts;
  char separator = ' ';
  int consumed = 0;
  const std::string trimmed = Trimmed(text);
  const int fields = std::sscanf(trimmed.c_str(), "%4d-%2d-%2d%n%c%2d:%2d%n:%2d%n", &parts.year, &parts.month, &parts.day,
                                 &consumed, &separator, &parts.hour, &parts.minute, &consumed, &parts.second, &consumed);
  if (fields < 3 || static_cast<size_t>(consumed) != trimmed.size()) return false;
  if (fields > 3 && separator != ' ' && separator != 'T') return false;
  if (fields == 4) return false;
  if (parts.month < 1 || parts.month > 12 || parts.day < 1 || parts.day > 31 || parts.hour > 23 || parts.minute > 59 ||
      parts.second > 59 || parts.hour < 0 || parts.minute < 0 || parts.second < 0) {
    return false;
  }
  date = DateFromParts(parts);
  return true;
}

std::string FormatDate(double date) {
  DateParts parts;
  if (!PartsFromDate(date, parts)) return "Invalid DateTime";
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", parts.year, parts.month, parts.day, parts.hour,
                parts.minute, parts.second);
  return text;
}

std::string FormatDouble(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

}  // namespace

Variant::Variant(std::shared_ptr<Dispatch> object) {
  if (object) {
    mType = VariantType::Dispatch;
    mObject = std::move(object);
  }
}

Variant Variant::Missing() {
  Variant missing = Error(AutomationCode::kParamNotFound);
  missing.mType = VariantType::Missing;
  return missing;
}

Variant Variant::Date(double date) {
  Variant value(date);
  value.mType = VariantType::Date;
  return value;
}

Variant Variant::Error(uint32_t code) {
  Variant value;
  value.mType = VariantType::Error;
  value.mInt = code;
  return value;
}

bool Variant::operator==(const Variant& other) const {
  if (mType != other.mType) return false;
  switch (mType) {
    case VariantType::Empty: return true;
    case VariantType::Missing:
    case VariantType::Bool:
    case VariantType::Int32:
    case VariantType::Error: return mInt == other.mInt;
    case VariantType::Double:
    case VariantType::Date: return mNumber == other.mNumber;
    case VariantType::String: return mText == other.mText;
    case VariantType::Dispatch: return mObject == other.mObject;
  }
  return false;
}

bool Variant::ToBool() const {
  switch (mType) {
    case VariantType::Empty: return false;
    case VariantType::Bool: return (mInt != 0);
    case VariantType::Int32: return static_cast<int32_t>(mInt) != 0;
    case VariantType::Double:
    case VariantType::Date: return mNumber != 0.0;
    case VariantType::String: {
      const std::string text = Trimmed(mText);
      if (text == "true" || text == "True" || text == "TRUE") return true;
      if (text == "false" || text == "False" || text == "FALSE") return false;
      double number = 0;
      if (ParseNumber(text, number)) return number != 0.0;
      break;
    }
    case VariantType::Missing:
    case VariantType::Dispatch:
    case VariantType::Error: break;
  }
  Mismatch(mType, VariantType::Bool);
}

int32_t Variant::ToInt() const {
  double number = 0;
  switch (mType) {
    case VariantType::Empty: return 0;
    case VariantType::Bool: return (mInt != 0) ? -1 : 0;
    case VariantType::Int32: return static_cast<int32_t>(mInt);
    case VariantType::Double:
    case VariantType::Date: number = mNumber; break;
    case VariantType::String:
      if (!ParseNumber(mText, number)) Mismatch(mType, VariantType::Int32);
      break;
    case VariantType::Missing:
    case VariantType::Dispatch:
    case VariantType::Error: Mismatch(mType, VariantType::Int32);
  }
  // Round half to even, as automation conversions do.
  const double rounded = std::nearbyint(number);
  if (!(rounded >= std::numeric_limits<int32_t>::min() && rounded <= std::numeric_limits<int32_t>::max())) {
    throw AutomationError(AutomationCode::kOverflow, "Variant", "Overflow converting to a 32-bit integer");
  }
  return static_cast<int32_t>(rounded);
}

double Variant::ToDouble() const {
  switch (mType) {
    case VariantType::Empty: return 0.0;
    case VariantType::Bool: return (mInt != 0) ? -1.0 : 0.0;
    case VariantType::Int32: return static_cast<int32_t>(mInt);
    case VariantType::Double:
    case VariantType::Date: return mNumber;
    case VariantType::String: {
      double number = 0;
      if (ParseNumber(mText, number)) return number;
      break;
    }
    case VariantType::Missing:
    case VariantType::Dispatch:
    case VariantType::Error: break;
  }
  Mismatch(mType, VariantType::Double);
}

double Variant::ToDate() const {
  if (mType == VariantType::String) {
    double date = 0;
    if (ParseDateText(mText, date)) return date;
  }
  const double date = ToDouble();
  if (std::fabs(date) > kMaxDateMagnitude) Mismatch(mType, VariantType::Date);
  return date;
}

std::string Variant::ToString() const {
  switch (mType) {
    case VariantType::Empty: return {};
    case VariantType::Bool: return (mInt != 0) ? "True" : "False";
    case VariantType::Int32: return std::to_string(static_cast<int32_t>(mInt));
    case VariantType::Double: return FormatDouble(mNumber);
    case VariantType::Date: return FormatDate(mNumber);
    case VariantType::String: return mText;
    case VariantType::Missing:
    case VariantType::Dispatch:
    case VariantType::Error: break;
  }
  Mismatch(mType, VariantType::String);
}

std::shared_ptr<Dispatch> Variant::ToDispatch() const {
  if (mType != VariantType::Dispatch) Mismatch(mType, VariantType::Dispatch);
  return mObject;
}

uint32_t Variant::ErrorCode() const {
  if (mType != VariantType::Error && mType != VariantType::Missing) Mismatch(mType, VariantType::Error);
  return static_cast<uint32_t>(mInt);
}

Variant Variant::ConvertTo(VariantType type) const {
  if (type == mType) return *this;
  switch (type) {
    case VariantType::Empty: return Variant();
    case VariantType::Bool: return Variant(ToBool());
    case VariantType::Int32: return Variant(ToInt());
    case VariantType::Double: return Variant(ToDouble());
    case VariantType::Date: return Variant::Date(ToDate());
    case VariantType::String: return Variant(ToString());
    case VariantType::Dispatch: return Variant(ToDispatch());
    case VariantType::Missing:
    case VariantType::Error: break;
  }
  Mismatch(mType, type);
}

const char* VariantTypeName(VariantType type) {
  switch (type) {
    case VariantType::Empty: return "Empty";
    case VariantType::Missing: return "Missing";
    case VariantType::Bool: return "Boolean";
    case VariantType::Int32: return "Long";
    case VariantType::Double: return "Double";
    case VariantType::Date: return "Date";
    case VariantType::String: return "String";
    case VariantType::Dispatch: return "Object";
    case VariantType::Error: return "Error";
  }
  return "Unknown";
}
