// UTF-8/UTF-16 conversion by hand; locale codeset conversion through iconv.
#include "common/TextCodec.h"

#include <cerrno>
#include <iconv.h>
#include <langinfo.h>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence at `i`; advances `i`; returns kReplacement for a bad sequence.
char32_t DecodeUtf8(std::string_view text, size_t& i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i++);
  if (lead < 0x80) return lead;
  int extra;
  char32_t code;
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2;
    code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3;
    code = lead & 0x07;
  } else {
    return kReplacement;
  }
  for (int k = 0; k < extra; ++k) {
    if (i >= text.size() || (byte(i) & 0xC0) != 0x80) return kReplacement;
    code = (code << 6) | (byte(i++) & 0x3F);
  }
  const bool overlong = (extra == 2 && code < 0x800) || (extra == 3 && code < 0x10000);
  if (overlong || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return kReplacement;
  return code;
}

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

class Iconv {
 public:
  Iconv(const char* to, const char* from) : mHandle(iconv_open(to, from)) {}
  ~Iconv() {
    if (Valid()) iconv_close(mHandle);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool Valid() const { return mHandle != reinterpret_cast<iconv_t>(-1); }

  bool Convert(std::string_view text, std::string& out) {
    out.clear();
    if (!Valid()) return false;
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char buffer[4096];
    while (inLeft > 0) {
      char* outPtr = buffer;
      size_t outLeft = sizeof buffer;
      const size_t result = iconv(mHandle, &in, &inLeft, &outPtr, &outLeft);
      out.append(buffer, sizeof buffer - outLeft);
      if (result == static_cast<size_t>(-1) && errno != E2BIG) return false;
    }
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    iconv(mHandle, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer, sizeof buffer - outLeft);
    return true;
  }

 private:
  iconv_t mHandle;
};

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const char32_t code = DecodeUtf8(text, i);
    if (code < 0x10000) {
      out += static_cast<char16_t>(code);
    } else {
      out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t code = text[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = kReplacement;
    }
    AppendUtf8(out, code);
  }
  return out;
}

std::string Latin1ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) AppendUtf8(out, static_cast<unsigned char>(c));
  return out;
}

bool IsValidUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const size_t start = i;
    if (DecodeUtf8(text, i) == kReplacement) {
      // A literal U+FFFD in the text is valid; a bad sequence is not.
      if (text.substr(start, 3) != "\xEF\xBF\xBD") return false;
    }
  }
  return true;
}

std::string LocaleCodeset() {
  const char* codeset = nl_langinfo(CODESET);
  return codeset != nullptr && *codeset != '\0' ? codeset : "ANSI_X3.4-1968";
}

bool LocaleToUtf8(std::string_view text, std::string& out) {
  Iconv converter("UTF-8", LocaleCodeset().c_str());
  return converter.Convert(text, out);
}

bool Utf8ToLocale(std::string_view text, std::string& out) {
  Iconv converter(LocaleCodeset().c_str(), "UTF-8");
  return converter.Convert(text, out);
}
