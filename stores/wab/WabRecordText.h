// The record keys and value texts of an address book entry's properties.
#pragma once

#include <functional>
#include <string>

#include "platform/wab/WabApi.h"
#include "pim/CDataItem.h"

// Seconds since 1970-01-01 UTC of a file time (100 ns units since 1601-01-01 UTC), whole seconds
// toward the past.
long long FileTimeToUnixSeconds(const FILETIME& time);

// Gives the PR_ZEP_ENTRYID of a group member named by its binary entry identifier ("" when the
// member cannot be read).
using MemberIdentifier = std::function<std::string(const SBinary& memberEntryId)>;

// Adds each of `values` to `record` under MapiPropertyName of its tag, its value as text: longs
// and booleans "%d", times "%lld" seconds since 1970, texts as UTF-8, binaries as the narrow text
// of their bytes up to the first zero byte, arrays as tab lists (each element and a tab); the
// member list of a group (a tag named "0x6600") as the members' identifiers, which also become
// the record's members. Values of other types (errors among them) are left out.
void AddPropertiesToRecord(const SPropValue* values, ULONG count, CDataItem& record, const MemberIdentifier& memberIdentifier);

// The text of one value, as AddPropertiesToRecord stores it; false for a type that is not stored.
bool PropertyText(const SPropValue& value, std::string& text);
