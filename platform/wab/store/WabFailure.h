// Failures inside the address book library: thrown as WabFailure with the MAPI result code and
// turned back into that code at the interface boundary, where no exception may pass.
#pragma once

#include <exception>
#include <new>

#include "platform/wab/WabApi.h"

class WabFailure : public std::exception {
 public:
  explicit WabFailure(HRESULT code) : mCode(code) {}
  HRESULT Code() const { return mCode; }
  const char* what() const noexcept override { return "address book failure"; }

 private:
  HRESULT mCode;
};

// Runs the body of an interface method and returns its result, or the code of what it threw.
template <class Body>
HRESULT GuardCall(Body&& body) noexcept {
  try {
    return body();
  } catch (const WabFailure& failure) {
    return failure.Code();
  } catch (const std::bad_alloc&) {
    return MAPI_E_NOT_ENOUGH_MEMORY;
  } catch (...) {
    return MAPI_E_CALL_FAILED;
  }
}

// Throws MAPI_E_INVALID_PARAMETER unless `condition` holds.
inline void Require(bool condition) {
  if (!condition) throw WabFailure(MAPI_E_INVALID_PARAMETER);
}
