// Item text lines: unfolding, splitting into group, name, parameters and value, and writing back.
#include "stores/vdir/ItemLines.h"

#include <algorithm>

namespace {

constexpr std::size_t kFoldWidth = 75;

std::vector<std::string_view> PhysicalLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// Where the value starts: after the first colon outside double quotes; npos when there is none.
std::size_t ValueColon(std::string_view raw) {
  bool quoted = false;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '"') quoted = !quoted;
    if (raw[i] == ':' && !quoted) return i;
  }
  return std::string_view::npos;
}

// Splits at `separator` outside double quotes.
std::vector<std::string_view> SplitOutsideQuotes(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  bool quoted = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"') quoted = !quoted;
    if (text[i] == separator && !quoted) {
      parts.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  parts.push_back(text.substr(start));
  return parts;
}

std::string Unquoted(std::string_view value) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
  return std::string(value);
}

ItemLine ParseLine(std::string_view raw) {
  ItemLine line;
  const std::size_t colon = ValueColon(raw);
  const std::string_view head = raw.substr(0, colon);
  line.value = colon == std::string_view::npos ? std::string() : std::string(raw.substr(colon + 1));
  const std::vector<std::string_view> parts = SplitOutsideQuotes(head, ';');
  std::string_view name = parts.front();
  if (const std::size_t dot = name.rfind('.'); dot != std::string_view::npos) {
    line.group = std::string(name.substr(0, dot));
    name = name.substr(dot + 1);
  }
  line.name = UpperAscii(name);
  for (std::size_t i = 1; i < parts.size(); ++i) {
    const std::string_view part = parts[i];
    if (part.empty()) continue;
    ItemParam param;
    const std::size_t equals = part.find('=');
    if (equals == std::string_view::npos) {
      param.values.push_back(Unquoted(part));
    } else {
      param.name = UpperAscii(part.substr(0, equals));
      for (const std::string_view value : SplitOutsideQuotes(part.substr(equals + 1), ',')) param.values.push_back(Unquoted(value));
    }
    line.params.push_back(std::move(param));
  }
  return line;
}

bool HasTransfer(const ItemLine& line, std::string_view encoding) {
  for (const ItemParam& param : line.params) {
    if (param.name != "ENCODING" && !param.name.empty()) continue;
    for (const std::string& value : param.values) {
      if (UpperAscii(value) == encoding) return true;
    }
  }
  return false;
}

bool IsBase64(const ItemLine& line) { return HasTransfer(line, "BASE64") || HasTransfer(line, "B"); }

bool NeedsQuotes(std::string_view value) { return value.find_first_of(":;,") != std::string_view::npos; }

// The length of the UTF-8 sequence a byte starts (1 for a continuation or invalid byte).
std::size_t SequenceLength(unsigned char byte) {
  if (byte >= 0xF0 && byte < 0xF8) return 4;
  if (byte >= 0xE0) return byte < 0xF0 ? 3 : 1;
  if (byte >= 0xC0) return 2;
  return 1;
}

}  // namespace

std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

const ItemParam* ItemLine::Param(std::string_view paramName) const {
  const auto found = std::find_if(params.begin(), params.end(), [paramName](const ItemParam& param) { return param.name == paramName; });
  return found == params.end() ? nullptr : &*found;
}

std::string ItemLine::ParamValue(std::string_view paramName) const {
  const ItemParam* param = Param(paramName);
  return param == nullptr || param->values.empty() ? std::string() : param->values.front();
}

void ItemLine::SetParam(std::string_view paramName, std::vector<std::string> values) {
  for (ItemParam& param : params) {
    if (param.name == paramName) {
      param.values = std::move(values);
      return;
    }
  }
  params.push_back(ItemParam{std::string(paramName), std::move(values)});
}

void ItemLine::RemoveParam(std::string_view paramName) {
  std::erase_if(params, [paramName](const ItemParam& param) { return param.name == paramName; });
}

std::vector<ItemLine> ReadItemLines(std::string_view text) {
  // Folded lines first: whether a line has a colon is a property of the whole of it.
  std::vector<std::string> unfolded;
  for (const std::string_view physical : PhysicalLines(text.substr(0, std::min(text.size(), kMaxItemTextBytes)))) {
    if (physical.empty()) continue;
    if (!unfolded.empty() && (physical.front() == ' ' || physical.front() == '\t')) {
      unfolded.back().append(physical.substr(1));
    } else {
      unfolded.emplace_back(physical);
    }
  }
  std::vector<ItemLine> lines;
  std::string raw;
  for (std::string& next : unfolded) {
    if (!raw.empty()) {
      if (!raw.empty() && raw.back() == '=' && HasTransfer(ParseLine(raw), "QUOTED-PRINTABLE")) {
        raw.pop_back();
        raw.append(next);
        continue;
      }
      if (next.find(':') == std::string::npos) {
        if (!IsBase64(ParseLine(raw))) raw += '\n';
        raw.append(next);
        continue;
      }
      lines.push_back(ParseLine(raw));
    }
    raw = std::move(next);
  }
  if (!raw.empty()) lines.push_back(ParseLine(raw));
  return lines;
}

std::string WriteItemLine(const ItemLine& line) {
  std::string text = line.group.empty() ? line.name : line.group + "." + line.name;
  for (const ItemParam& param : line.params) {
    text += ';';
    if (!param.name.empty()) text += param.name + "=";
    for (std::size_t i = 0; i < param.values.size(); ++i) {
      if (i > 0) text += ',';
      text += NeedsQuotes(param.values[i]) ? "\"" + param.values[i] + "\"" : param.values[i];
    }
  }
  text += ':';
  for (std::size_t i = 0; i < line.value.size(); ++i) {
    const char c = line.value[i];
    if (c == '\r' && i + 1 < line.value.size() && line.value[i + 1] == '\n') continue;
    if (c == '\r' || c == '\n') {
      text += "\\n";
    } else {
      text += c;
    }
  }
  std::string folded;
  std::size_t width = kFoldWidth;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = at;
    while (end < text.size()) {
      const std::size_t next = end + SequenceLength(static_cast<unsigned char>(text[end]));
      if (next - at > width) break;
      end = next;
    }
    if (end == at) end = std::min(text.size(), at + SequenceLength(static_cast<unsigned char>(text[at])));
    if (at > 0) folded += "\r\n ";
    folded.append(text, at, end - at);
    at = end;
    width = kFoldWidth - 1;
  }
  return folded + "\r\n";
}

std::string WriteItemLines(const std::vector<ItemLine>& lines) {
  std::string text;
  for (const ItemLine& line : lines) text += WriteItemLine(line);
  return text;
}

std::string UnfoldedText(std::string_view text) {
  std::string unfolded;
  unfolded.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t fold = text.find("\r\n", at);
    if (fold == std::string_view::npos) {
      unfolded.append(text.substr(at));
      break;
    }
    const bool continues = fold + 2 < text.size() && (text[fold + 2] == ' ' || text[fold + 2] == '\t');
    unfolded.append(text.substr(at, continues ? fold - at : fold + 2 - at));
    at = continues ? fold + 3 : fold + 2;
  }
  return unfolded;
}
