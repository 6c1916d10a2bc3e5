// Item values: transfer decoding, character sets and text escapes.
#include "stores/vdir/ItemValues.h"

#include "pim/Charset.h"
#include "pim/EncodedText.h"

namespace {

bool HasEncodingWord(const ItemLine& line, std::initializer_list<std::string_view> words) {
  for (const ItemParam& param : line.params) {
    if (param.name != "ENCODING" && !param.name.empty()) continue;
    for (const std::string& value : param.values) {
      const std::string upper = UpperAscii(value);
      for (const std::string_view word : words) {
        if (upper == word) return true;
      }
    }
  }
  return false;
}

bool IsValidUtf8(std::string_view bytes) { return ReplaceInvalidUtf8(bytes) == bytes; }

std::string Latin1ToUtf8(std::string_view bytes) {
  std::string out;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0 | (byte >> 6));
      out += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return out;
}

std::string ToUtf8(std::string_view bytes, const std::string& charset) {
  if (charset.empty()) return IsValidUtf8(bytes) ? std::string(bytes) : Latin1ToUtf8(bytes);
  if (IsUtf8CharsetName(charset)) return ReplaceInvalidUtf8(bytes);
  std::string converted;
  if (ConvertCharset(charset, "UTF-8", bytes, converted) == ENCODED_OK && IsValidUtf8(converted)) return converted;
  return IsValidUtf8(bytes) ? std::string(bytes) : Latin1ToUtf8(bytes);
}

// Drops the transfer words (and ENCODING) other than base64 from the parameters.
void DropTextTransfer(ItemLine& line) {
  for (ItemParam& param : line.params) {
    if (param.name != "ENCODING" && !param.name.empty()) continue;
    std::erase_if(param.values, [](const std::string& value) {
      const std::string upper = UpperAscii(value);
      return upper == "QUOTED-PRINTABLE" || upper == "8BIT" || upper == "7BIT";
    });
  }
  std::erase_if(line.params, [](const ItemParam& param) {
    return (param.name == "ENCODING" || param.name.empty()) && param.values.empty();
  });
}

}  // namespace

bool IsQuotedPrintable(const ItemLine& line) { return HasEncodingWord(line, {"QUOTED-PRINTABLE"}); }

bool IsBase64Value(const ItemLine& line) { return HasEncodingWord(line, {"BASE64", "B"}); }

void DecodeLineValue(ItemLine& line) {
  if (IsBase64Value(line)) {
    line.RemoveParam("CHARSET");
    return;
  }
  std::string bytes = line.value;
  if (IsQuotedPrintable(line)) {
    std::string decoded;
    if (QuotedPrintableDecode(line.value, decoded)) bytes = std::move(decoded);
  }
  line.value = ToUtf8(bytes, line.ParamValue("CHARSET"));
  line.RemoveParam("CHARSET");
  DropTextTransfer(line);
}

std::vector<std::string> SplitEscaped(std::string_view value, std::string_view separators) {
  std::vector<std::string> parts(1);
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == '\\' && i + 1 < value.size()) {
      const char next = value[i + 1];
      if (next == 'n' || next == 'N') {
        parts.back() += '\n';
        ++i;
        continue;
      }
      if (next == '\\' || next == ';' || next == ',' || next == ':') {
        parts.back() += next;
        ++i;
        continue;
      }
    }
    if (separators.find(c) != std::string_view::npos) {
      parts.emplace_back();
    } else if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n') {
      continue;
    } else {
      parts.back() += c == '\r' ? '\n' : c;
    }
  }
  return parts;
}

std::string UnescapeText(std::string_view value) { return SplitEscaped(value, "").front(); }

std::string EscapeText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (c == '\\' || c == ';' || c == ',') {
      out += '\\';
      out += c;
    } else if (c == '\r' || c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::string JoinEscaped(const std::vector<std::string>& parts, char separator) {
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out += separator;
    out += EscapeText(parts[i]);
  }
  return out;
}
