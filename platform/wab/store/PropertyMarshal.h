// Property values across the interface: caller values (SPropValue) read into the stored form, and
// stored values written into buffers of the allocator for the caller.
#pragma once

#include <memory>
#include <vector>

#include "platform/wab/WabApi.h"
#include "platform/wab/store/PropertyValue.h"
#include "platform/wab/store/WabAllocator.h"

// The stored form of a caller's value. Throws WabFailure: MAPI_E_INVALID_TYPE for a type that is
// not stored, MAPI_E_INVALID_PARAMETER for missing data, MAPI_E_TOO_BIG over the limits,
// MAPI_E_BAD_CHARWIDTH for 8-bit text that is not valid in the locale's codeset.
PropertyValue ReadCallerValue(const SPropValue& value);

// The tags of a caller's tag array (validated: not null, at most kMaxProperties).
std::vector<ULONG> ReadTagArray(const SPropTagArray* tags);

// Tags for "every property" of `view`: each identifier with PT_UNSPECIFIED.
std::vector<ULONG> AllTagsOf(const PropertyMap& view);

// Writes the values of `tags` from `view` into the SPropValue array that `buffer` holds (room for
// tags.size() values), their data allocated onto `buffer`. A tag of PT_UNSPECIFIED takes the
// stored type, strings as PT_UNICODE when `unicode` else PT_STRING8; a string tag of either width
// converts. A tag the view lacks, or has with another type, becomes PT_ERROR / MAPI_E_NOT_FOUND.
// Returns true when every tag had a value.
bool WriteValues(const PropertyMap& view, const std::vector<ULONG>& tags, bool unicode, OwnedBuffer& buffer);

// GetProps over `view`: one buffer for the caller, MAPI_W_ERRORS_RETURNED when a value is missing.
HRESULT AnswerGetProps(const PropertyMap& view, const SPropTagArray* tags, ULONG flags,
                       const std::shared_ptr<WabAllocator>& allocator, ULONG* count, SPropValue** values);

// A problem array for the caller, or null when there are no problems.
SPropProblemArray* NewProblemArray(const std::shared_ptr<WabAllocator>& allocator, const std::vector<SPropProblem>& problems);
