// Helpers of the configuration tests: UTF-16LE file images, and a child process whose writes fail.
#pragma once

#include <string>

#include "common/TextCodec.h"
#include "tests/support/FileSizeLimit.h"

// The UTF-16LE bytes of UTF-8 `text`, as the settings file stores it.
inline std::string Utf16Le(const std::string& text) {
  std::string bytes;
  for (const char16_t unit : Utf8ToUtf16(text)) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}
