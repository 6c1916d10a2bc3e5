// vCalendar property lines: a character state machine over one line, value decoding and escaping.
#include "pim/VCalProperty.h"

#include <algorithm>

#include "common/TextCodec.h"
#include "pim/Charset.h"
#include "pim/EncodedText.h"

namespace {

enum class LineState { Start, Name, ParamName, ParamValue, Value };

bool IsFold(std::string_view text, size_t lf) {
  return lf + 1 < text.size() && (text[lf + 1] == ' ' || text[lf + 1] == '\t');
}

bool IsQuoted(const std::string& value, char quote) {
  return value.size() >= 2 && value.front() == quote && value.back() == quote;
}

// A parameter value without its quotes: each of the comma-separated values of a multi-valued one
// ("mailto:a","mailto:b") loses its own, and they are joined by commas.
std::string Unquoted(const std::string& value) {
  if (IsQuoted(value, '\'')) return value.substr(1, value.size() - 2);
  if (value.find('"') == std::string::npos) return value;
  std::string out;
  std::string element;
  bool inQuotes = false;
  const auto flush = [&out, &element](bool last) {
    out += IsQuoted(element, '"') ? element.substr(1, element.size() - 2) : element;
    if (!last) out += ',';
    element.clear();
  };
  for (const char c : value) {
    if (c == '"') inQuotes = !inQuotes;
    if (c == ',' && !inQuotes) {
      flush(false);
    } else {
      element += c;
    }
  }
  flush(true);
  return out;
}

void StoreParam(VCalParams& params, const std::string& name, const std::string& value) {
  if (name.empty()) return;
  params.insert_or_assign(name, Unquoted(value));
}

int TransferEncodingOf(const VCalParams& params) {
  const auto it = params.find("ENCODING");
  const std::string_view encoding = it == params.end() ? std::string_view() : std::string_view(it->second);
  if (encoding == "QUOTED-PRINTABLE") return TRANSFER_QUOTED_PRINTABLE;
  if (encoding == "BASE64") return TRANSFER_BASE64;
  // vCalendar 1.0 allows the encoding as a bare parameter.
  if (params.count("QUOTED-PRINTABLE") != 0) return TRANSFER_QUOTED_PRINTABLE;
  if (params.count("BASE64") != 0) return TRANSFER_BASE64;
  return TRANSFER_UNSET;
}

// Reads one line from `position`; with `honourQuotes` a double-quoted parameter value is read
// whole. Sets `openQuote` when the line ended inside such a value (the quote was never closed).
void ReadLine(std::string_view text, size_t& position, VCalProperty& out, bool honourQuotes, bool& openQuote) {
  LineState state = LineState::Start;
  std::string paramName;
  std::string paramValue;
  bool inQuotes = false;
  size_t valueStart = 0;
  openQuote = false;
  while (position < text.size()) {
    const char c = text[position];
    if (c == '\n') {
      if (IsFold(text, position)) {
        position += 2;
        continue;
      }
      // A quoted-printable soft line break: "=" at the end of a line continues the value.
      const bool softBreak = state == LineState::Value && position > valueStart && text[position - 1] == '=' &&
                             TransferEncodingOf(out.params) == TRANSFER_QUOTED_PRINTABLE;
      if (!softBreak) break;
      ++position;
      continue;
    }
    switch (state) {
      case LineState::Start:
        if (c == ':') {
          state = LineState::Value;
          valueStart = position + 1;
        } else if (c == ';' || c == ',') {
          state = LineState::ParamName;
        } else if (c != '=') {
          out.name += c;
          state = LineState::Name;
        }
        break;
      case LineState::Name:
        if (c == ';' || c == ',') {
          state = LineState::ParamName;
        } else if (c == ':') {
          state = LineState::Value;
          valueStart = position + 1;
        } else {
          out.name += c;
        }
        break;
      case LineState::ParamName:
        if (c == '=') {
          state = LineState::ParamValue;
          paramValue.clear();
          inQuotes = false;
        } else if (c == ';' || c == ',' || c == ':') {
          StoreParam(out.params, paramName, "");
          paramName.clear();
          if (c == ':') {
            state = LineState::Value;
            valueStart = position + 1;
          }
        } else {
          paramName += c;
        }
        break;
      case LineState::ParamValue:
        if (honourQuotes && c == '"') {
          inQuotes = !inQuotes;
          paramValue += c;
        } else if (honourQuotes && !inQuotes && c == ',' && position + 1 < text.size() && text[position + 1] == '"') {
          paramValue += c;  // a further value of a multi-valued parameter
        } else if (!inQuotes && (c == ';' || c == ',' || c == ':')) {
          StoreParam(out.params, paramName, paramValue);
          paramName.clear();
          paramValue.clear();
          if (c == ':') {
            state = LineState::Value;
            valueStart = position + 1;
          } else {
            state = LineState::ParamName;
          }
        } else {
          paramValue += c;
        }
        break;
      case LineState::Value:
        break;
    }
    ++position;
  }
  openQuote = state == LineState::ParamValue && inQuotes;
  if (state == LineState::Value) {
    size_t valueEnd = position;
    if (valueEnd > valueStart && text[valueEnd - 1] == '\r') --valueEnd;  // tolerate CR LF line ends
    out.value = DecodeVCalValue(text.substr(valueStart, valueEnd - valueStart), out.params);
  }
  if (position < text.size()) ++position;  // past the LF
}

std::string Unfold(std::string_view value, bool quotedPrintable) {
  std::string out;
  out.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\n' && IsFold(value, i)) {
      ++i;
      continue;
    }
    if (quotedPrintable && value[i] == '=' && i + 1 < value.size() && value[i + 1] == '\n') {
      ++i;  // soft line break
      continue;
    }
    out += value[i];
  }
  return out;
}

std::string Unescape(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c != '\\' || i + 1 == value.size()) {
      out += c;
      continue;
    }
    const char next = value[i + 1];
    if (next == '\\' || next == ',' || next == ';') {
      out += next;
      ++i;
    } else if (next == 'n' || next == 'N') {
      out += '\n';
      ++i;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

const std::string& VCalProperty::Param(const std::string& paramName) const {
  static const std::string kEmpty;
  const auto it = params.find(paramName);
  return it == params.end() ? kEmpty : it->second;
}

bool ReadVCalProperty(std::string_view text, size_t& position, VCalProperty& property) {
  property = VCalProperty();
  if (position >= text.size()) return false;
  const size_t start = position;
  bool openQuote = false;
  ReadLine(text, position, property, true, openQuote);
  if (openQuote) {
    // An unbalanced quote would swallow the line; read it again with quotes as ordinary characters.
    property = VCalProperty();
    position = start;
    ReadLine(text, position, property, false, openQuote);
  }
  return true;
}

bool ReadVCalProperty(std::string_view text, size_t& position, std::string& name, std::string& value,
                      VCalParams& params) {
  VCalProperty property;
  const bool read = ReadVCalProperty(text, position, property);
  name = std::move(property.name);
  value = std::move(property.value);
  params = std::move(property.params);
  return read;
}

std::string DecodeVCalValue(std::string_view value, const VCalParams& params) {
  const int encoding = TransferEncodingOf(params);
  const std::string unescaped = Unescape(Unfold(value, encoding == TRANSFER_QUOTED_PRINTABLE));
  if (unescaped.empty()) return unescaped;
  const auto charsetParam = params.find("CHARSET");
  const bool charsetNamed = charsetParam != params.end() && !charsetParam->second.empty();
  const std::string charset = charsetNamed ? charsetParam->second : "UTF-8";

  const bool utf8 = IsUtf8CharsetName(charset);
  std::string bytes;
  if (encoding == TRANSFER_UNSET && utf8) {
    bytes = unescaped;
  } else {
    EncodedText text(nullptr, encoding == TRANSFER_UNSET ? ENCODED_STATE_PLAIN : ENCODED_STATE_ENCODED, charset,
                     encoding == TRANSFER_UNSET ? TRANSFER_NONE : encoding, unescaped);
    if (encoding != TRANSFER_UNSET && text.Decode() != ENCODED_OK) return ReplaceInvalidUtf8(unescaped);
    if (!utf8 && text.ConvertCharset("utf-8") != ENCODED_OK) return ReplaceInvalidUtf8(unescaped);
    bytes = text.Text();
  }
  if (IsValidUtf8(bytes)) return bytes;
  // Bytes labelled UTF-8 that are not get replacement characters; without a CHARSET they were
  // only assumed to be UTF-8, and older senders mean ISO-8859-1.
  return charsetNamed ? ReplaceInvalidUtf8(bytes) : Latin1ToUtf8(bytes);
}

std::string EscapeVCalValue(std::string_view value, std::string_view alsoEscaped) {
  std::string out;
  out.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == '\\' || alsoEscaped.find(c) != std::string_view::npos) {
      out += '\\';
      out += c;
    } else if (c == '\r' || c == '\n') {
      out += "\\n";
      if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n') ++i;
    } else {
      out += c;
    }
  }
  return out;
}

std::vector<std::string_view> SemicolonFields(std::string_view value) {
  std::vector<std::string_view> fields;
  for (size_t at = 0; at <= value.size();) {
    const size_t end = std::min(value.find(';', at), value.size());
    fields.push_back(value.substr(at, end - at));
    at = end + 1;
  }
  return fields;
}
