// The value passed to and returned by a late-bound call: empty, a "missing" optional argument,
// bool, 32-bit integer, double, automation date, UTF-8 string, dispatch object or error code.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class Dispatch;

enum class VariantType { Empty, Missing, Bool, Int32, Double, Date, String, Dispatch, Error };

// A copyable, comparable value. Conversions follow the automation rules: numbers, dates, booleans
// and numeric text convert into each other; an impossible conversion throws AutomationError with
// AutomationCode::kTypeMismatch, an out-of-range one with kOverflow.
class Variant {
 public:
  Variant() = default;
  Variant(bool value) : mType(VariantType::Bool), mInt(value ? 1 : 0) {}
  Variant(int32_t value) : mType(VariantType::Int32), mInt(value) {}
  Variant(double value) : mType(VariantType::Double), mNumber(value) {}
  Variant(const char* value) : mType(VariantType::String), mText(value != nullptr ? value : "") {}
  Variant(std::string value) : mType(VariantType::String), mText(std::move(value)) {}
  // A null object gives an empty variant.
  Variant(std::shared_ptr<Dispatch> object);

  // The "missing" optional argument (an error value the callee treats as "not given").
  static Variant Missing();
  // An automation date (days since 1899-12-30 local time).
  static Variant Date(double date);
  static Variant Error(uint32_t code);

  VariantType Type() const { return mType; }
  bool IsEmpty() const { return mType == VariantType::Empty; }
  bool IsMissing() const { return mType == VariantType::Missing; }

  bool ToBool() const;
  int32_t ToInt() const;
  double ToDouble() const;
  double ToDate() const;
  std::string ToString() const;
  // Throws kTypeMismatch unless the variant holds an object.
  std::shared_ptr<Dispatch> ToDispatch() const;
  uint32_t ErrorCode() const;

  // The same value converted to `type` (Missing and Error only from themselves).
  Variant ConvertTo(VariantType type) const;

  // Same type and value; objects compare by identity.
  bool operator==(const Variant& other) const;

 private:
  // One field per kind of value: Bool, Int32 and Error use mInt, Double and Date mNumber.
  VariantType mType = VariantType::Empty;
  int64_t mInt = 0;
  double mNumber = 0.0;
  std::string mText;
  std::shared_ptr<Dispatch> mObject;
};

// Name of a variant type for texts ("String", "Date", ...).
const char* VariantTypeName(VariantType type);
