// Automation errors and the texts of their codes.
#include "platform/automation/AutomationError.h"

#include <cstdio>
#include <utility>

AutomationError::AutomationError(uint32_t code, std::string source, std::string description)
    : mCode(code), mSource(std::move(source)), mDescription(std::move(description)) {
  mWhat = mDescription.empty() ? CodeText() : mDescription;
}

std::string AutomationError::CodeText() const { return AutomationCodeText(mCode); }

std::string AutomationCodeText(uint32_t code) {
  switch (code) {
    case AutomationCode::kNotImplemented: return "Not implemented";
    case AutomationCode::kFail: return "Unspecified error";
    case AutomationCode::kInvalidArgument: return "The parameter is incorrect.";
    case AutomationCode::kMemberNotFound: return "Member not found.";
    case AutomationCode::kParamNotFound: return "Parameter not found.";
    case AutomationCode::kTypeMismatch: return "Type mismatch.";
    case AutomationCode::kException: return "Exception occurred.";
    case AutomationCode::kOverflow: return "Out of present range.";
    case AutomationCode::kBadParamCount: return "Invalid number of parameters.";
    case AutomationCode::kBadIndex: return "Invalid index.";
    case AutomationCode::kInvalidClassString: return "Invalid class string";
    case AutomationCode::kServerExecFailure: return "Server execution failed";
    case AutomationCode::kObjectChanged: return "The object has been changed.";
    case AutomationCode::kObjectDeleted: return "The object has been deleted.";
    case AutomationCode::kNotFound: return "The object could not be found.";
    default: break;
  }
  char text[32];
  std::snprintf(text, sizeof text, "Error 0x%08X", code);
  return text;
}
