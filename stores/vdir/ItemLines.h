// The property lines of vCard and iCalendar item text as the vdir store reads and writes them:
// unfolded logical lines with their group, name, parameters and raw value.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// One parameter of a line. A vCard 2.1 parameter without "=" ("TEL;HOME:") has an empty name and
// its word as the one value.
struct ItemParam {
  std::string name;                 // upper case
  std::vector<std::string> values;  // as written, without enclosing double quotes

  bool operator==(const ItemParam&) const = default;
};

// One logical line. A value type.
struct ItemLine {
  std::string group;  // "item1" of "item1.EMAIL", or ""
  std::string name;   // upper case
  std::vector<ItemParam> params;
  std::string value;  // unfolded and otherwise as written: escapes and transfer encoding kept

  // The parameter named `paramName` (upper case), or null.
  const ItemParam* Param(std::string_view paramName) const;
  // Its first value, "" when absent.
  std::string ParamValue(std::string_view paramName) const;
  // Replaces (or adds at the end) the parameter `paramName` with `values`.
  void SetParam(std::string_view paramName, std::vector<std::string> values);
  void RemoveParam(std::string_view paramName);

  bool operator==(const ItemLine&) const = default;
};

// Ceiling of one item text the store reads.
inline constexpr std::size_t kMaxItemTextBytes = std::size_t{16} << 20;

// The logical lines of `text` (any of CR LF, LF or CR line ends). A physical line that starts
// with a space or a tab continues the one before it (the space or tab removed); a quoted-printable
// value ending in "=" continues on the next line (the soft break removed); in a base64 value, a
// line without a colon continues it. Any other line without a colon continues the value before
// it after a line break (vCard 2.1 writers that break long values). Empty lines are skipped.
std::vector<ItemLine> ReadItemLines(std::string_view text);

// The text of `line`, folded after 75 bytes (never inside a UTF-8 sequence), ending in CR LF. A
// parameter value holding ":", ";" or "," is double-quoted; a line break inside the value is
// written as "\n" so the line stays one line.
std::string WriteItemLine(const ItemLine& line);
// The lines one after the other.
std::string WriteItemLines(const std::vector<ItemLine>& lines);
// `text` (as WriteItemLine writes it) with each folded line joined into one: the form an item goes
// to a server in, since some servers keep only the first physical line of a folded one.
std::string UnfoldedText(std::string_view text);

// ASCII upper case.
std::string UpperAscii(std::string_view text);
