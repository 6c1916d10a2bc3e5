// The calls behind the typed wrappers.
#include "platform/automation/OutlookDispatch.h"

#include "platform/automation/AutomationError.h"

namespace outlook {

const Dispatch::Ptr& DispatchDriver::Require() const {
  if (!mObject) throw AutomationError(AutomationCode::kFail, "Dispatch", "The wrapper holds no object.");
  return mObject;
}

Variant DispatchDriver::Get(DispId id, const std::vector<Variant>& args) const {
  return Require()->Invoke(id, InvokeKind::PropertyGet, args);
}

void DispatchDriver::Put(DispId id, const Variant& value) const { Require()->Invoke(id, InvokeKind::PropertyPut, {value}); }

Variant DispatchDriver::Call(DispId id, const std::vector<Variant>& args) const {
  return Require()->Invoke(id, InvokeKind::Method, args);
}

}  // namespace outlook
