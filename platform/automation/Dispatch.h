// The late-bound object interface: members are reached by number (DISPID) with positional
// arguments, as an automation client calls an object it knows only at run time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation/Variant.h"

using DispId = int32_t;

enum class InvokeKind { Method, PropertyGet, PropertyPut };

// An automation object. Objects are shared: every holder of a Dispatch::Ptr keeps the object
// (and whatever connection it needs) alive. Calls are not thread-safe; one thread uses an object.
class Dispatch {
 public:
  using Ptr = std::shared_ptr<Dispatch>;
  virtual ~Dispatch() = default;

  // Calls member `id`. Arguments are positional, first argument first; an optional argument may
  // be left out at the end or passed as Variant::Missing(). For PropertyPut the last argument is
  // the new value. Failures throw AutomationError: kMemberNotFound for an unknown member or a put
  // on a read-only property, kBadParamCount, kTypeMismatch, or the object's own error.
  virtual Variant Invoke(DispId id, InvokeKind kind, const std::vector<Variant>& args) = 0;

  Variant GetProperty(DispId id, const std::vector<Variant>& args = {}) { return Invoke(id, InvokeKind::PropertyGet, args); }
  void PutProperty(DispId id, const Variant& value) { Invoke(id, InvokeKind::PropertyPut, {value}); }
  Variant CallMethod(DispId id, const std::vector<Variant>& args = {}) { return Invoke(id, InvokeKind::Method, args); }
};

// Argument checks for implementations of Dispatch::Invoke.
namespace DispatchArgs {
// Throws kBadParamCount unless min <= args.size() <= max.
void RequireCount(const std::vector<Variant>& args, size_t min, size_t max);
// Argument `index`, or Missing when it was left out.
Variant At(const std::vector<Variant>& args, size_t index);
// Whether argument `index` was given (present and not Missing).
bool Given(const std::vector<Variant>& args, size_t index);
// The value of a PropertyPut (its last argument); throws kBadParamCount when there is none.
const Variant& PutValue(const std::vector<Variant>& args);
}  // namespace DispatchArgs

// The error for a member the object does not have (or cannot be called that way).
[[noreturn]] void ThrowMemberNotFound(const std::string& objectName, DispId id);
