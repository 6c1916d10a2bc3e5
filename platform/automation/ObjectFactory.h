// Creation of automation objects by programmatic identifier ("Outlook.Application"), from the
// providers registered with the factory.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "platform/automation/Dispatch.h"

// A registry of providers. Owned by whoever creates objects (the application or a test) and
// filled by explicit registration calls of the libraries that provide objects, so nothing
// depends on static initialisers surviving the linker.
class ObjectFactory {
 public:
  // Makes a new object; may throw AutomationError (e.g. when the provider cannot start).
  using Creator = std::function<Dispatch::Ptr()>;

  // Registers (or replaces) the provider of `progId`; identifiers are compared case-insensitively.
  void Register(std::string_view progId, Creator creator);
  bool IsRegistered(std::string_view progId) const;

  // A new object of `progId`. Throws AutomationError kInvalidClassString ("Invalid class string")
  // for an unknown identifier, or whatever the provider throws.
  Dispatch::Ptr CreateObject(std::string_view progId) const;

 private:
  std::map<std::string, Creator> mCreators;
};
