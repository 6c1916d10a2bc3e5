// Base64 encoding and lenient decoding.
#include "common/Base64.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int SymbolValue(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

}  // namespace

std::string EncodeBase64(std::string_view bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t left = bytes.size() - i;
    unsigned group = static_cast<unsigned char>(bytes[i]) << 16;
    if (left > 1) group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (left > 2) group |= static_cast<unsigned char>(bytes[i + 2]);
    text += kAlphabet[(group >> 18) & 0x3F];
    text += kAlphabet[(group >> 12) & 0x3F];
    text += left > 1 ? kAlphabet[(group >> 6) & 0x3F] : '=';
    text += left > 2 ? kAlphabet[group & 0x3F] : '=';
  }
  return text;
}

std::string DecodeBase64(std::string_view text) {
  std::string bytes;
  unsigned group = 0;
  int symbols = 0;  // symbols of the current group of four
  for (const char c : text) {
    if (IsSpace(c)) continue;
    const int value = SymbolValue(c);
    if (value < 0) break;  // "=" or any other character ends the data
    group = (group << 6) | static_cast<unsigned>(value);
    if (++symbols == 4) {
      bytes += static_cast<char>((group >> 16) & 0xFF);
      bytes += static_cast<char>((group >> 8) & 0xFF);
      bytes += static_cast<char>(group & 0xFF);
      group = 0;
      symbols = 0;
    }
  }
  // A final partial group: two symbols carry one byte, three carry two.
  if (symbols == 2) bytes += static_cast<char>((group >> 4) & 0xFF);
  if (symbols == 3) {
    bytes += static_cast<char>((group >> 10) & 0xFF);
    bytes += static_cast<char>((group >> 2) & 0xFF);
  }
  return bytes;
}
