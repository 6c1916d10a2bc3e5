// The fields in which two versions of one item differ, as the conflict question shows them.
#pragma once

#include <string_view>
#include <vector>

#include "common/Prompt.h"
#include "pim/CDataItem.h"

// Compares the fields a person edits (names, company, e-mail addresses, phones, addresses, web
// pages and notes of a contact; subject, place, times, recurrence, description, categories,
// class, priority, state, reminder and attendees of an event or task), in that order. Both
// versions are first written as the item's text and read back by the same rules, so that keys only
// one store keeps, and the way each side writes a value, make no difference. Values are
// given as the user reads them: list elements joined with ", ", dates as "YYYY-MM-DD", times in
// the machine's local time as "YYYY-MM-DD HH:MM", descriptions decoded.
std::vector<ConflictField> DifferingFields(const CDataItem& local, const CDataItem& server);

// The record of an item text (a vCard, or a vCalendar with one event or task) by the rules the
// stores write server items with; null when the text cannot be read.
CDataItem::Ptr RecordOfItemText(std::string_view text);
