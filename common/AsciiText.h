// Letter case and blanks of protocol text (header names, media types, setting values), by ASCII
// rules only, whatever the locale.
#pragma once

#include <string>
#include <string_view>

// `text` with A to Z turned into a to z; every other byte unchanged.
std::string AsciiLowercase(std::string_view text);
// `text` without the spaces and tabs at its start and end.
std::string_view TrimBlanks(std::string_view text);
