// Placeholder until the vCalendar writer lands: the event or task record as vCalendar text.
#include <stdexcept>

#include "pim/CDataItem.h"

std::string CDataItem::ToVCalendar() const { throw std::logic_error("ToVCalendar is not built yet"); }
