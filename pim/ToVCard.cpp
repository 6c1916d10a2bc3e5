// Placeholder until the vCard writer lands: the contact record as vCard text.
#include <stdexcept>

#include "pim/CDataItem.h"

std::string CDataItem::ToVCard() const { throw std::logic_error("ToVCard is not built yet"); }
