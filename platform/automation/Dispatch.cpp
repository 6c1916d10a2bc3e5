// Argument checks shared by dispatch implementations.
#include "platform/automation/Dispatch.h"

#include <cstdio>

#include "platform/automation/AutomationError.h"

namespace DispatchArgs {

void RequireCount(const std::vector<Variant>& args, size_t min, size_t max) {
  if (args.size() < min || args.size() > max) {
    throw AutomationError(AutomationCode::kBadParamCount, "Dispatch", "Invalid number of parameters.");
  }
}

Variant At(const std::vector<Variant>& args, size_t index) {
  return index < args.size() ? args[index] : Variant::Missing();
}

bool Given(const std::vector<Variant>& args, size_t index) { return index < args.size() && !args[index].IsMissing(); }

const Variant& PutValue(const std::vector<Variant>& args) {
  if (args.empty()) throw AutomationError(AutomationCode::kBadParamCount, "Dispatch", "Invalid number of parameters.");
  return args.back();
}

}  // namespace DispatchArgs

void ThrowMemberNotFound(const std::string& objectName, DispId id) {
  char text[96];
  std::snprintf(text, sizeof text, "%s has no member 0x%X callable this way.", objectName.c_str(), static_cast<unsigned>(id));
  throw AutomationError(AutomationCode::kMemberNotFound, "Dispatch", text);
}
