// The store's automation error and its message.
#include "stores/AutomationException.h"

#include <utility>

#include "common/Format.h"
#include "common/StringTable.h"

CAutomationException::CAutomationException(std::string description)
    : CXException(FormatText(LoadString(IDS_OUTLOOK_REFUSES), {description})), mDescription(std::move(description)) {}
