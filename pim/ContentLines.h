// The content lines of a vCard or vCalendar text exactly as they stand, with the components they
// form: what the merge of a kept item text works on, so that lines it keeps go out byte for byte.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// One logical line: its physical lines as they stood (folded lines, lines after a quoted-printable
// soft line break and, in a vCard, lines without a colon that continue a value), joined by the
// text's line end, without the line end that ends it.
struct ContentLine {
  std::string raw;
  std::string name;   // upper case, without a group ("TEL" of "item1.TEL;TYPE=CELL:...")
  std::string value;  // for BEGIN and END: the component's name in upper case; else ""
  int depth = 0;      // components open around the line (a BEGIN line counts its own as open)
};

// A text split into its lines, with the line end it uses (CR LF when its first line ends so).
struct ContentText {
  std::vector<ContentLine> lines;
  std::string lineEnd = "\n";

  // Splits `text`. `vcard` selects the vCard reading of a line without a colon (it continues the
  // value before it); vCalendar lines continue only when folded or after a soft line break.
  static ContentText Split(std::string_view text, bool vcard);

  // The index of the END line that closes the component opened at `begin` (lines.size() when
  // the text ends first).
  std::size_t EndOf(std::size_t begin) const;
  // The index of the first BEGIN line of a component named `name` (upper case) at or after
  // `from`, or lines.size().
  std::size_t FindBegin(std::string_view name, std::size_t from = 0) const;
};

// Parameter and value parts of a property line.
struct LineParts {
  std::string group;       // "item1" of "item1.TEL", or ""
  std::string name;        // as written
  std::string parameters;  // the text between the name and the colon, without the leading ";"
  std::string value;       // unfolded (fold markers removed), not decoded
};

// Splits the raw text of a property line; a colon inside a double-quoted parameter value does
// not end the parameters.
LineParts SplitLine(std::string_view raw);
