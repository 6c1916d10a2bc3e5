// Formatted tool output, terminal-safe on a terminal.
#include "tools/ToolOutput.h"

#include <unistd.h>

#include <cstdarg>
#include <string>

#include "common/TerminalText.h"

void PrintTo(std::FILE* stream, const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  std::va_list copy;
  va_copy(copy, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, arguments);
  va_end(arguments);
  const std::string written = isatty(fileno(stream)) ? TerminalSafe(text, true) : text;
  std::fwrite(written.data(), 1, written.size(), stream);
}
