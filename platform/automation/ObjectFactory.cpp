// The registry of programmatic identifiers.
#include "platform/automation/ObjectFactory.h"

#include <cctype>

#include "platform/automation/AutomationError.h"

namespace {

std::string Key(std::string_view progId) {
  std::string key(progId);
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return key;
}

}  // namespace

void ObjectFactory::Register(std::string_view progId, Creator creator) { mCreators[Key(progId)] = std::move(creator); }

bool ObjectFactory::IsRegistered(std::string_view progId) const { return mCreators.count(Key(progId)) != 0; }

Dispatch::Ptr ObjectFactory::CreateObject(std::string_view progId) const {
  const auto found = mCreators.find(Key(progId));
  if (found == mCreators.end() || !found->second) {
    throw AutomationError(AutomationCode::kInvalidClassString, "CreateDispatch",
                          AutomationCodeText(AutomationCode::kInvalidClassString));
  }
  Dispatch::Ptr object = found->second();
  if (!object) throw AutomationError(AutomationCode::kFail, "CreateDispatch", "The provider made no object.");
  return object;
}
