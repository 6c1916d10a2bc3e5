// Text made safe for a terminal: no control character of the text reaches it.
#pragma once

#include <string>
#include <string_view>

// `text` with every C0 control (U+0000 to U+001F), DEL and C1 control (U+0080 to U+009F, which a
// terminal reads as escape sequences: U+009B opens one like ESC "[") written as "?", and so is
// every byte that is not part of valid UTF-8 (a lone 0x9B is a C1 control to an 8-bit
// terminal). Line breaks and tabs stay when `keepLineBreaks` is set. Every writer of text that
// may come from a server, a file or a store to standard output or error uses it.
std::string TerminalSafe(std::string_view text, bool keepLineBreaks = false);
