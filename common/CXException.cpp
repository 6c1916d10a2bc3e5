// Message formatting of the exception family.
#include "common/CXException.h"

#include <utility>

#include "common/Format.h"
#include "common/StringTable.h"

CXException::CXException(unsigned stringId) : mStringId(stringId), mMessage(LoadString(stringId)) {}

CXException::CXException(unsigned stringId, long long argument)
    : mStringId(stringId), mArgument(argument), mMessage(FormatText(LoadString(stringId), {argument})) {}

CXException::CXException(std::string message) : mMessage(std::move(message)) {}

CAutomationException::CAutomationException(std::string description)
    : CXException(FormatText(LoadString(IDS_OUTLOOK_REFUSES), {description})), mDescription(std::move(description)) {}
