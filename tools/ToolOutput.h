// The tool's output lines: store values written as they are to a pipe or file, and with their
// control characters neutralised on a terminal.
#pragma once

#include <cstdio>

// printf to `stream`; when `stream` is a terminal, the formatted text goes through TerminalSafe
// (line breaks and tabs kept), so a value of the store cannot send escape sequences to it.
[[gnu::format(printf, 2, 3)]] void PrintTo(std::FILE* stream, const char* format, ...);
