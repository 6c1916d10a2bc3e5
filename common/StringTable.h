// String look-up: every user-visible text is a string-table identifier, looked up first in the
// loaded language library and then in the program's own (English) table.
#pragma once

#include <string>

#include "common/StringIds.h"

// The text of `id`: from the loaded language library if it has a non-empty text, else from the
// program's own table; empty when neither knows the identifier. Safe to call from any thread.
std::string LoadString(unsigned id);

// The program's own English text of `id`, or empty.
std::string EnglishString(unsigned id);

// Selects the process-wide language library (there is one per process, like the log). Any
// library loaded before is freed first. Returns false when `path` cannot be loaded or does not
// export the string table; the program then continues in English.
bool LoadLanguageLibrary(const std::string& path);

// Frees the language library, if any: look-ups answer in English again.
void FreeLanguageLibrary();

// Symbol a language library exports: returns the UTF-8 text of an identifier, or null when the
// library has no text for it.
extern "C" {
using LanguageStringFunction = const char* (*)(unsigned id);
}
inline constexpr const char* kLanguageStringSymbol = "LarkspanLanguageString";
