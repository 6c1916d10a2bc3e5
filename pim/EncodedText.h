// One text value of vCard or vCalendar text with its character set and transfer encoding, the
// transfer codecs (quoted-printable, base64, seven-bit, RFC 2047 "Q") and the value encoder.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

class VCardContext;

// Whether the bytes of an EncodedText are transfer-encoded or plain.
enum EncodedTextState : int {
  ENCODED_STATE_UNSET = 0,  // neither decoded nor encoded yet (or a conversion failed to decode)
  ENCODED_STATE_ENCODED = 1,
  ENCODED_STATE_PLAIN = 2,
};

// Transfer encodings; the numbers are stored in values and compared, never renumbered.
enum TransferEncoding : int {
  TRANSFER_UNSET = 0,
  TRANSFER_QUOTED_PRINTABLE = 1,
  TRANSFER_BASE64 = 2,
  TRANSFER_7BIT = 3,
  TRANSFER_NONE = 4,
  TRANSFER_Q = 5,  // RFC 2047 "Q": quoted-printable with "_" for a space
};

// Result codes of EncodedText and of character set conversion. New codes are added at the end.
enum EncodedTextResult : int {
  ENCODED_OK = 0,
  ENCODED_OUT_OF_MEMORY = 1004,
  ENCODED_NO_OUTPUT = 20001,         // a required argument (such as the target set) is missing
  ENCODED_NO_TEXT = 20002,           // kept for callers; an empty text converts to an empty text
  ENCODED_DECODE_FAILED = 20003,
  ENCODED_ENCODE_FAILED = 20004,
  ENCODED_OTHER_ENCODING = 20005,    // already encoded with another encoding
  ENCODED_UNKNOWN_ENCODING = 20006,
  ENCODED_NO_CONVERTER = 20009,      // no converter for the pair of character sets
  ENCODED_CONVERSION_FAILED = 20010, // the bytes are not valid in the source set ("Charset unknown")
  ENCODED_TOO_LARGE = 20011,         // the result would exceed kMaxEncodedTextBytes
};

// Ceiling for any text an EncodedText produces (encoding, decoding, conversion).
inline constexpr std::size_t kMaxEncodedTextBytes = 64u * 1024u * 1024u;

// The character set name a failed conversion leaves on the value.
inline constexpr std::string_view kCharsetUnknown = "Charset unknown";

// A value type: copying copies the name and the bytes; the context is shared, not owned, and must
// outlive the value when given (it records the last non-zero result code). The bytes may hold any
// byte, zero included.
class EncodedText {
 public:
  EncodedText() = default;
  // Copies `charset` and `text`. `state` is an EncodedTextState, `encoding` a TransferEncoding.
  EncodedText(VCardContext* context, int state, std::string_view charset, int encoding, std::string_view text);

  VCardContext* Context() const { return mContext; }
  int State() const { return mState; }
  const std::string& Charset() const { return mCharset; }
  int Encoding() const { return mEncoding; }
  // The current bytes: transfer-encoded while State() is ENCODED_STATE_ENCODED.
  const std::string& Text() const { return mBytes; }

  // Undoes the transfer encoding (nothing when already plain): state becomes plain. Codes:
  // ENCODED_UNKNOWN_ENCODING when no encoding was recorded, ENCODED_DECODE_FAILED (text unchanged).
  int Decode();
  // Applies `encoding` (TRANSFER_UNSET: the recorded one) and sets the state to encoded. Codes:
  // 0 when already encoded the same way, ENCODED_OTHER_ENCODING when encoded another way,
  // ENCODED_UNKNOWN_ENCODING, ENCODED_ENCODE_FAILED, ENCODED_TOO_LARGE.
  int Encode(int encoding = TRANSFER_UNSET);
  // Converts the bytes to the character set `target`, decoding first and encoding again when
  // the value is transfer-encoded. A name equal to the current one (any letter case) changes
  // nothing. Bytes the source set does not allow leave the name kCharsetUnknown and give
  // ENCODED_CONVERSION_FAILED; an unknown set gives ENCODED_NO_CONVERTER with the value unchanged.
  int ConvertCharset(std::string_view target);

 private:
  int Record(int code) const;

  VCardContext* mContext = nullptr;
  int mState = ENCODED_STATE_UNSET;
  std::string mCharset;
  int mEncoding = TRANSFER_UNSET;
  std::string mBytes;
};

// The transfer codecs on their own. Encoders never fail except on the size ceiling; decoders
// return false on input they cannot read.
std::string QuotedPrintableEncode(std::string_view bytes);
bool QuotedPrintableDecode(std::string_view text, std::string& out);
std::string QEncode(std::string_view bytes);
bool QDecode(std::string_view text, std::string& out);
std::string Base64Encode(std::string_view bytes);
// Skips TAB, LF, CR and space; "=" ends the data; any other non-alphabet character ends the
// decoding. An empty text fails.
bool Base64Decode(std::string_view text, std::string& out);
std::string SevenBitEncode(std::string_view bytes);

// The value encoder for program text (UTF-8): the text transfer-encoded with `encoding` as a
// "utf-8" value. Returns `text` unchanged when encoding yields nothing.
std::string EncodeTransfer(std::string_view text, int encoding);
