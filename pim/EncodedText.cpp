// EncodedText: transfer codecs, decode and encode by the recorded encoding, charset conversion.
#include "pim/EncodedText.h"

#include "pim/Charset.h"
#include "pim/VCardContext.h"

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr std::string_view kBase64Alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

void AppendEscaped(std::string& out, unsigned char byte) {
  out += '=';
  out += kHexDigits[byte >> 4];
  out += kHexDigits[byte & 0x0F];
}

bool NeedsQuotedPrintableEscape(unsigned char byte) { return byte < 33 || byte == '=' || byte >= 127; }

std::string EncodeQuoted(std::string_view bytes, bool qEncoding) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (qEncoding && byte == ' ') {
      out += '_';
    } else if (NeedsQuotedPrintableEscape(byte) || (qEncoding && byte == '_')) {
      AppendEscaped(out, byte);
    } else {
      out += c;
    }
  }
  return out;
}

// Reads the escape starting at the "=" at `text[i]`; returns how many characters it used and
// appends the byte it stands for, if any.
size_t DecodeEscape(std::string_view text, size_t i, std::string& out) {
  const size_t left = text.size() - i - 1;
  const int high = left >= 1 ? HexValue(text[i + 1]) : -1;
  const int low = left >= 2 ? HexValue(text[i + 2]) : -1;
  if (high >= 0 && low >= 0) {
    out += static_cast<char>(high * 16 + low);
    return 3;
  }
  // A soft line break, with a CR LF or a bare LF line end.
  if (left >= 1 && text[i + 1] == '\r') return left >= 2 && text[i + 2] == '\n' ? 3 : 2;
  if (left >= 1 && text[i + 1] == '\n') return 2;
  // A broken escape: the "=" goes, and with it a lone hexadecimal digit.
  return high >= 0 ? 2 : 1;
}

std::string DecodeQuoted(std::string_view text, bool qEncoding) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '=') {
      i += DecodeEscape(text, i, out);
    } else {
      out += qEncoding && text[i] == '_' ? ' ' : text[i];
      ++i;
    }
  }
  return out;
}

// Worst-case growth of each encoding, to refuse an input before producing too large a result.
size_t EncodedSizeBound(int encoding, size_t size) {
  switch (encoding) {
    case TRANSFER_QUOTED_PRINTABLE:
    case TRANSFER_Q:
      return size * 3;
    case TRANSFER_BASE64:
      return (size + 2) / 3 * 4;
    default:
      return size;
  }
}

bool IsKnownEncoding(int encoding) { return encoding >= TRANSFER_QUOTED_PRINTABLE && encoding <= TRANSFER_Q; }

}  // namespace

std::string QuotedPrintableEncode(std::string_view bytes) { return EncodeQuoted(bytes, false); }

bool QuotedPrintableDecode(std::string_view text, std::string& out) {
  out = DecodeQuoted(text, false);
  return true;
}

std::string QEncode(std::string_view bytes) { return EncodeQuoted(bytes, true); }

bool QDecode(std::string_view text, std::string& out) {
  out = DecodeQuoted(text, true);
  return true;
}

std::string Base64Encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const unsigned group = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8 |
                           static_cast<unsigned char>(bytes[i + 2]);
    for (int shift = 18; shift >= 0; shift -= 6) out += kBase64Alphabet[(group >> shift) & 0x3F];
  }
  const size_t rest = bytes.size() - i;
  if (rest > 0) {
    unsigned group = static_cast<unsigned char>(bytes[i]) << 16;
    if (rest == 2) group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += kBase64Alphabet[(group >> 18) & 0x3F];
    out += kBase64Alphabet[(group >> 12) & 0x3F];
    out += rest == 2 ? kBase64Alphabet[(group >> 6) & 0x3F] : '=';
    out += '=';
  }
  return out;
}

bool Base64Decode(std::string_view text, std::string& out) {
  out.clear();
  if (text.empty()) return false;
  out.reserve(text.size() / 4 * 3);
  unsigned bits = 0;
  int bitCount = 0;
  for (const char c : text) {
    if (c == '\t' || c == '\n' || c == '\r' || c == ' ') continue;
    const size_t value = kBase64Alphabet.find(c);
    if (value == std::string_view::npos) break;  // "=" padding, or the end of the data
    bits = (bits << 6) | static_cast<unsigned>(value);
    bitCount += 6;
    if (bitCount >= 8) {
      bitCount -= 8;
      out += static_cast<char>((bits >> bitCount) & 0xFF);
      bits &= (1u << bitCount) - 1;
    }
  }
  return true;
}

std::string SevenBitEncode(std::string_view bytes) {
  std::string out(bytes);
  for (char& c : out) c = static_cast<char>(static_cast<unsigned char>(c) & 0x7F);
  return out;
}

std::string EncodeTransfer(std::string_view text, int encoding) {
  EncodedText value(nullptr, ENCODED_STATE_UNSET, "utf-8", TRANSFER_UNSET, ProgramTextToUtf8(text));
  if (value.Encode(encoding) != ENCODED_OK || value.Text().empty()) return std::string(text);
  return value.Text();
}

EncodedText::EncodedText(VCardContext* context, int state, std::string_view charset, int encoding,
                         std::string_view text)
    : mContext(context), mState(state), mCharset(charset), mEncoding(encoding), mBytes(text) {}

int EncodedText::Record(int code) const { return mContext != nullptr ? mContext->Record(code) : code; }

int EncodedText::Decode() {
  if (mState == ENCODED_STATE_PLAIN) return ENCODED_OK;
  std::string decoded;
  bool ok = true;
  switch (mEncoding) {
    case TRANSFER_QUOTED_PRINTABLE:
      ok = QuotedPrintableDecode(mBytes, decoded);
      break;
    case TRANSFER_BASE64:
      ok = Base64Decode(mBytes, decoded);
      break;
    case TRANSFER_Q:
      ok = QDecode(mBytes, decoded);
      break;
    case TRANSFER_7BIT:
    case TRANSFER_NONE:
      decoded = mBytes;
      break;
    case TRANSFER_UNSET:
    default:
      return Record(ENCODED_UNKNOWN_ENCODING);
  }
  if (!ok) return Record(ENCODED_DECODE_FAILED);
  mBytes = std::move(decoded);
  mState = ENCODED_STATE_PLAIN;
  return ENCODED_OK;
}

int EncodedText::Encode(int encoding) {
  if (encoding == TRANSFER_UNSET) encoding = mEncoding;
  if (mState == ENCODED_STATE_ENCODED) return encoding == mEncoding ? ENCODED_OK : Record(ENCODED_OTHER_ENCODING);
  if (!IsKnownEncoding(encoding)) return Record(ENCODED_UNKNOWN_ENCODING);
  if (EncodedSizeBound(encoding, mBytes.size()) > kMaxEncodedTextBytes) return Record(ENCODED_TOO_LARGE);
  switch (encoding) {
    case TRANSFER_QUOTED_PRINTABLE:
      mBytes = QuotedPrintableEncode(mBytes);
      break;
    case TRANSFER_BASE64:
      mBytes = Base64Encode(mBytes);
      break;
    case TRANSFER_7BIT:
      mBytes = SevenBitEncode(mBytes);
      break;
    case TRANSFER_Q:
      mBytes = QEncode(mBytes);
      break;
    case TRANSFER_NONE:
      break;
  }
  mEncoding = encoding;
  mState = ENCODED_STATE_ENCODED;
  return ENCODED_OK;
}

int EncodedText::ConvertCharset(std::string_view target) {
  if (target.empty()) return Record(ENCODED_NO_OUTPUT);
  if (SameCharsetName(mCharset, target)) return ENCODED_OK;
  // Work on a copy so that a missing converter leaves the value exactly as it was.
  EncodedText plain = *this;
  const bool wasEncoded = mState == ENCODED_STATE_ENCODED;
  if (wasEncoded) {
    const int code = plain.Decode();
    if (code != ENCODED_OK) {
      mState = ENCODED_STATE_UNSET;
      return Record(code);
    }
  }
  std::string converted;
  const int code = ::ConvertCharset(plain.mCharset, target, plain.mBytes, converted);
  if (code == ENCODED_NO_CONVERTER) return Record(code);
  *this = std::move(plain);
  if (code != ENCODED_OK) {
    mCharset = kCharsetUnknown;
    return Record(code);
  }
  mBytes = std::move(converted);
  mCharset = target;
  return wasEncoded ? Encode(mEncoding) : ENCODED_OK;
}
