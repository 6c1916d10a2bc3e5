// Internal: the profile connection that every object of one Application shares, the makers of
// those objects, and the errors they raise.
#pragma once

#include <cctype>
#include <map>
#include <memory>
#include <string>

#include "platform/automation/AutomationError.h"
#include "platform/automation/Dispatch.h"
#include "platform/outlookmodel/ItemSchema.h"
#include "platform/outlookmodel/ProfileStore.h"
#include "platform/zoneinfo/SystemTimeZone.h"

namespace outlookmodel {

// Owned jointly by the objects made from it (shared_ptr); the connection closes with the last one.
class ModelSession : public std::enable_shared_from_this<ModelSession> {
 public:
  explicit ModelSession(const std::string& profilePath) : mStore(profilePath) {}
  ModelSession(const ModelSession&) = delete;
  ModelSession& operator=(const ModelSession&) = delete;

  ProfileStore& Store() { return mStore; }

  Dispatch::Ptr MakeApplication();
  Dispatch::Ptr MakeNamespace();
  Dispatch::Ptr MakeFolder(const FolderRecord& folder);
  // The folder object of `id`; throws the not-found error when it does not exist.
  Dispatch::Ptr MakeFolder(int64_t id);
  Dispatch::Ptr MakeFolders(int64_t parent);
  Dispatch::Ptr MakeItems(int64_t folder);
  // The object of a stored item, by the kind of its message class.
  Dispatch::Ptr MakeItem(ItemRecord record);
  // A new, unsaved item; `folder` 0 saves it into the default folder of its kind.
  Dispatch::Ptr NewItem(ItemKind kind, int64_t folder);
  // The folder an unsaved item of `kind` goes to when it has none.
  int64_t DefaultFolderFor(ItemKind kind);
  // The zone an identifier names (read once per session); UTC for one that names none.
  const SystemTimeZone& Zone(const std::string& id);

 private:
  ProfileStore mStore;
  std::map<std::string, SystemTimeZone> mZones;
};

inline constexpr const char* kModelSource = "Outlook";
inline constexpr const char* kNotFoundText = "The operation failed. An object could not be found.";
inline constexpr const char* kInvalidArgumentText =
    "Could not complete the operation. One or more parameter values are not valid.";

[[noreturn]] inline void ThrowModelError(uint32_t code, const std::string& description) {
  throw AutomationError(code, kModelSource, description);
}
[[noreturn]] inline void ThrowNotFound() { ThrowModelError(AutomationCode::kNotFound, kNotFoundText); }
[[noreturn]] inline void ThrowInvalidArgument() { ThrowModelError(AutomationCode::kInvalidArgument, kInvalidArgumentText); }
[[noreturn]] inline void ThrowBadIndex() { ThrowModelError(AutomationCode::kBadIndex, "Array index out of bounds."); }

inline bool IsGetCall(InvokeKind kind) { return kind != InvokeKind::PropertyPut; }

// Entry and store identifiers are hex: letter case does not matter.
inline bool EqualsStoreId(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

}  // namespace outlookmodel
