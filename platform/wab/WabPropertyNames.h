// Names of the address book properties people work with, for the larkstore tool: each name stands
// for one tag with its usual type; other tags are written as "0x" and eight hex digits.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/wab/WabApi.h"

// The tag a name stands for ("PR_DISPLAY_NAME" -> 0x3001001F), also for "0x3A4F001F"-style
// tags (any letter case); nullopt for anything else.
std::optional<ULONG> WabTagOfName(std::string_view name);

// The name of `tag` when the table has its identifier with this type, else "0x%08X" of the tag,
// so that what is shown can be given back.
std::string WabNameOfTag(ULONG tag);
