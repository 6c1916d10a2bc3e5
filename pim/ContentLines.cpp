// Splitting item texts into content lines and components, keeping every byte of each line.
#include "pim/ContentLines.h"

namespace {

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

bool IsFolded(std::string_view line) { return !line.empty() && (line[0] == ' ' || line[0] == '\t'); }

// The end of the name and parameter part: the first colon outside double quotes.
std::size_t ValueColon(std::string_view raw) {
  bool quoted = false;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '"') quoted = !quoted;
    if (raw[i] == ':' && !quoted) return i;
  }
  return std::string_view::npos;
}

bool IsQuotedPrintable(std::string_view raw) {
  const std::size_t colon = ValueColon(raw);
  const std::string head = Upper(raw.substr(0, colon));
  return head.find("QUOTED-PRINTABLE") != std::string::npos || head.find("ENCODING=Q") != std::string::npos;
}

void Describe(ContentLine& line) {
  const std::string_view raw = line.raw;
  const std::size_t end = raw.find_first_of(";:");
  std::string_view name = raw.substr(0, end);
  if (const std::size_t dot = name.rfind('.'); dot != std::string_view::npos) name = name.substr(dot + 1);
  line.name = Upper(name);
  if ((line.name == "BEGIN" || line.name == "END") && end != std::string_view::npos) {
    std::string_view value = raw.substr(end + 1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    line.value = Upper(value);
  }
}

}  // namespace

ContentText ContentText::Split(std::string_view text, bool vcard) {
  ContentText result;
  std::vector<std::string_view> physical;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
      if (physical.empty()) result.lineEnd = "\r\n";
    }
    physical.push_back(line);
    at = end + 1;
  }
  int depth = 0;
  for (std::size_t i = 0; i < physical.size(); ++i) {
    const std::string_view line = physical[i];
    ContentLine* current = result.lines.empty() ? nullptr : &result.lines.back();
    const bool open = current != nullptr && !current->name.empty() && current->name != "BEGIN" && current->name != "END";
    bool continues = open && IsFolded(line);
    if (open && !continues && IsQuotedPrintable(current->raw) && !current->raw.empty() && current->raw.back() == '=') {
      continues = true;
    }
    // A vCard value runs on over lines without a colon; empty lines only when such a line follows.
    if (open && !continues && vcard && line.find(':') == std::string_view::npos) {
      std::size_t next = i;
      while (next < physical.size() && physical[next].empty()) ++next;
      continues = next < physical.size() && !physical[next].empty() && physical[next].find(':') == std::string_view::npos &&
                  !IsFolded(physical[next]);
      if (continues) {
        for (; i < next; ++i) current->raw.append(result.lineEnd);
        current->raw.append(result.lineEnd).append(physical[next]);
        continue;
      }
    }
    if (continues) {
      current->raw.append(result.lineEnd).append(line);
      continue;
    }
    if (line.empty() && i + 1 == physical.size()) break;  // the line end of the last line
    ContentLine added;
    added.raw = std::string(line);
    Describe(added);
    if (added.name == "BEGIN") ++depth;
    added.depth = depth;
    if (added.name == "END" && depth > 0) --depth;
    result.lines.push_back(std::move(added));
  }
  return result;
}

std::size_t ContentText::EndOf(std::size_t begin) const {
  if (begin >= lines.size()) return lines.size();
  const int depth = lines[begin].depth;
  for (std::size_t i = begin + 1; i < lines.size(); ++i) {
    if (lines[i].name == "END" && lines[i].depth == depth) return i;
  }
  return lines.size();
}

std::size_t ContentText::FindBegin(std::string_view name, std::size_t from) const {
  for (std::size_t i = from; i < lines.size(); ++i) {
    if (lines[i].name == "BEGIN" && lines[i].value == name) return i;
  }
  return lines.size();
}

LineParts SplitLine(std::string_view raw) {
  LineParts parts;
  const std::size_t colon = ValueColon(raw);
  const std::string_view head = raw.substr(0, colon);
  std::string_view value = colon == std::string_view::npos ? std::string_view() : raw.substr(colon + 1);
  const std::size_t semicolon = head.find(';');
  std::string_view name = head.substr(0, semicolon);
  if (const std::size_t dot = name.rfind('.'); dot != std::string_view::npos) {
    parts.group = std::string(name.substr(0, dot));
    name = name.substr(dot + 1);
  }
  parts.name = std::string(name);
  if (semicolon != std::string_view::npos) parts.parameters = std::string(head.substr(semicolon + 1));
  // Unfolding: a line end followed by a blank is removed with the blank.
  for (std::size_t at = 0; at < value.size();) {
    const std::size_t end = value.find('\n', at);
    if (end == std::string_view::npos) {
      parts.value.append(value.substr(at));
      break;
    }
    std::string_view piece = value.substr(at, end - at);
    if (!piece.empty() && piece.back() == '\r') piece.remove_suffix(1);
    parts.value.append(piece);
    at = end + 1;
    if (at < value.size() && (value[at] == ' ' || value[at] == '\t')) {
      ++at;
    } else {
      parts.value.append("\r\n");
    }
  }
  return parts;
}
