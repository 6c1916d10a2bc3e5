// Character set conversion: iconv for every set it knows, the modified UTF-7 of IMAP around it.
#include "pim/Charset.h"

#include <cerrno>
#include <iconv.h>
#include <memory>
#include <type_traits>

#include "common/TextCodec.h"
#include "pim/EncodedText.h"
#include "pim/Utf7Imap.h"
#include "pim/VCardText_p.h"

namespace {

// Character set names arrive in CHARSET parameters from the network: anything longer or holding
// characters no set name uses (iconv reads "/" as the start of its own suffixes) is refused.
constexpr size_t kMaxCharsetNameLength = 64;

bool IsPlausibleCharsetName(std::string_view name) {
  if (name.empty() || name.size() > kMaxCharsetNameLength) return false;
  for (const char c : name) {
    const bool alnum = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (!alnum && std::string_view("-_.:+()").find(c) == std::string_view::npos) return false;
  }
  return true;
}

struct IconvCloser {
  void operator()(std::remove_pointer_t<iconv_t>* handle) const { iconv_close(handle); }
};
using IconvHandle = std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvCloser>;

IconvHandle OpenIconv(const std::string& to, const std::string& from) {
  const iconv_t handle = iconv_open(to.c_str(), from.c_str());
  if (handle == reinterpret_cast<iconv_t>(-1)) return nullptr;
  return IconvHandle(handle);
}

// Runs `handle` over the whole input, growing the output in steps; the shift state is flushed at
// the end so stateful targets close their last run.
int RunIconv(iconv_t handle, std::string_view input, std::string& out) {
  out.clear();
  iconv(handle, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(input.data());
  size_t inLeft = input.size();
  char buffer[4096];
  bool flushed = false;
  while (!flushed) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    const bool flushing = inLeft == 0;
    const size_t result = flushing ? iconv(handle, nullptr, nullptr, &outPtr, &outLeft)
                                   : iconv(handle, &in, &inLeft, &outPtr, &outLeft);
    const int error = errno;
    out.append(buffer, sizeof buffer - outLeft);
    if (out.size() > kMaxEncodedTextBytes) return ENCODED_TOO_LARGE;
    if (result == static_cast<size_t>(-1) && error != E2BIG) return ENCODED_CONVERSION_FAILED;
    flushed = flushing && result != static_cast<size_t>(-1);
  }
  return ENCODED_OK;
}

// One conversion from a source set to a target set: an optional modified UTF-7 decoder, iconv,
// and an optional modified UTF-7 encoder, with UTF-8 between the stages.
class CharsetConverter {
 public:
  CharsetConverter(std::string_view from, std::string_view to)
      : mFromImap(IsImapUtf7Name(from)), mToImap(IsImapUtf7Name(to)) {
    if (!IsPlausibleCharsetName(from) || !IsPlausibleCharsetName(to)) return;
    mIconv = OpenIconv(mToImap ? "UTF-8" : std::string(to), mFromImap ? "UTF-8" : std::string(from));
  }

  bool Valid() const { return mIconv != nullptr; }

  int Convert(std::string_view input, std::string& out) const {
    std::string decoded;
    if (mFromImap) {
      if (!ImapUtf7ToUtf8(input, decoded)) return ENCODED_CONVERSION_FAILED;
      input = decoded;
    }
    const int code = RunIconv(mIconv.get(), input, out);
    if (code != ENCODED_OK || !mToImap) return code;
    std::string encoded;
    if (!Utf8ToImapUtf7(out, encoded)) return ENCODED_CONVERSION_FAILED;
    if (encoded.size() > kMaxEncodedTextBytes) return ENCODED_TOO_LARGE;
    out = std::move(encoded);
    return ENCODED_OK;
  }

 private:
  bool mFromImap;
  bool mToImap;
  IconvHandle mIconv;
};

}  // namespace

bool SameCharsetName(std::string_view a, std::string_view b) { return vcardtext::EqualsIgnoreCase(a, b); }

int ConvertCharset(std::string_view from, std::string_view to, std::string_view input, std::string& output) {
  const CharsetConverter converter(from, to);
  if (!converter.Valid()) return ENCODED_NO_CONVERTER;
  std::string converted;
  int code = converter.Convert(input, converted);
  if (code == ENCODED_CONVERSION_FAILED && vcardtext::FindIgnoreCase(from, "ASCII") != std::string_view::npos) {
    // Text labelled ASCII often carries Latin-1 bytes; reading them so loses nothing.
    const CharsetConverter latin1("iso-8859-1", to);
    if (latin1.Valid()) code = latin1.Convert(input, converted);
  }
  if (code == ENCODED_OK) output = std::move(converted);
  return code;
}

std::string ReplaceInvalidUtf8(std::string_view bytes) {
  if (IsValidUtf8(bytes)) return std::string(bytes);
  return Utf16ToUtf8(Utf8ToUtf16(bytes));
}

bool IsUtf8CharsetName(std::string_view name) { return SameCharsetName(name, "utf-8") || SameCharsetName(name, "utf8"); }

std::string ProgramTextToUtf8(std::string_view text) {
  if (IsValidUtf8(text)) return std::string(text);
  std::string converted;
  if (LocaleToUtf8(text, converted) && IsValidUtf8(converted)) return converted;
  return Latin1ToUtf8(text);
}

std::string LocaleTextToProgramText(std::string_view narrow) {
  std::string converted;
  return LocaleToUtf8(narrow, converted) ? converted : std::string();
}

std::string ProgramTextToLocaleText(std::string_view text) {
  std::string converted;
  return Utf8ToLocale(text, converted) ? converted : std::string();
}
