// The error raised by an automation call: an HRESULT-style code, the source that raised it and
// a description, as an automation client receives them from the object it called.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

// Codes an automation object or the dispatch layer reports (the values of the platform's HRESULTs).
namespace AutomationCode {
inline constexpr uint32_t kNotImplemented = 0x80004001;
inline constexpr uint32_t kFail = 0x80004005;
inline constexpr uint32_t kInvalidArgument = 0x80070057;
inline constexpr uint32_t kMemberNotFound = 0x80020003;
inline constexpr uint32_t kParamNotFound = 0x80020004;
inline constexpr uint32_t kTypeMismatch = 0x80020005;
inline constexpr uint32_t kException = 0x80020009;
inline constexpr uint32_t kOverflow = 0x8002000A;
inline constexpr uint32_t kBadParamCount = 0x8002000E;
inline constexpr uint32_t kBadIndex = 0x8002000B;
inline constexpr uint32_t kInvalidClassString = 0x800401F3;
inline constexpr uint32_t kServerExecFailure = 0x80080005;
// Store-level failures an object model reports through its descriptions.
inline constexpr uint32_t kObjectChanged = 0x80040109;
inline constexpr uint32_t kObjectDeleted = 0x8004010A;
inline constexpr uint32_t kNotFound = 0x8004010F;
}  // namespace AutomationCode

class AutomationError : public std::exception {
 public:
  AutomationError(uint32_t code, std::string source, std::string description);

  uint32_t Code() const { return mCode; }
  // Who raised the error (the object's program, or the dispatch layer).
  const std::string& Source() const { return mSource; }
  // The object's own text, e.g. "The operation failed. An object could not be found.".
  const std::string& Description() const { return mDescription; }
  // The system's text for the code ("Invalid class string"), or "Error 0x%08X" for unknown codes.
  std::string CodeText() const;
  // The description, or the code's text when the description is empty.
  const char* what() const noexcept override { return mWhat.c_str(); }

 private:
  uint32_t mCode;
  std::string mSource;
  std::string mDescription;
  std::string mWhat;
};

// The system's text for an automation code; "Error 0x%08X" for codes it does not know.
std::string AutomationCodeText(uint32_t code);
