// The merge of one component of a kept item text with its record: the lines of the properties
// the record holds follow the record, every other line stays as it came. Shared by the vCard and
// the vCalendar merges, which say what their format holds and how its lines compare.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "pim/ContentLines.h"

// One component to merge: the kept text's, and the same component as the format's writer makes it
// of the record now ("now") and of the record the kept text reads as ("was"); each given by the
// index of its BEGIN line. The texts must outlive the merge.
struct ComponentMerge {
  const ContentText* kept = nullptr;
  std::size_t keptBegin = 0;
  const ContentText* now = nullptr;
  std::size_t nowBegin = 0;
  const ContentText* was = nullptr;
  std::size_t wasBegin = 0;

  // The group a held property's lines form (its own name, or the name of the property it is
  // another form of: DURATION of DTEND); "" for a property the record does not hold.
  std::function<std::string(std::string_view name)> groupOf;
  // Whether a group holds any number of lines that the record keeps one by one (TEL, ATTENDEE);
  // the lines of any other group stand for one value together.
  std::function<bool(std::string_view group)> isList;
  // Whether the record read from the kept text changes when kept line `index` is left out: a
  // line that changes nothing (a fourth address of one type, a number the record cannot take) is
  // not held and stays. Asked only for lines of list groups that the record changed.
  std::function<bool(std::size_t index)> contributes;
  // What a line of a list group says, in words the kept and the written lines share: its value
  // and the types the record distinguishes (a TEL's class), not its spelling.
  std::function<std::string(const ContentLine& line)> key;
  // The class part of key (a TEL's class, an EMAIL's work or home): a written line takes the
  // place, and the name and parameters, of a kept line of the same class it replaces.
  std::function<std::string(const ContentLine& line)> lineClass;
  // Optional: the line a written line of the same class makes of the kept line it replaces
  // (default: the kept line's name and parameters with the written value, as described below).
  std::function<std::string(const ContentLine& kept, const ContentLine& written)> replace;
};

// The merged component, BEGIN and END line included, as raw lines (a written line with an empty
// value counts as none: the record has no such value):
// - a group the record did not change (its lines written of "now" and of "was" are the same, in
//   any order) keeps its kept lines;
// - a changed list group keeps the kept lines that hold nothing of the record and those whose key
//   a line of "now" has; the others give their places to the lines of "now" left over, a line
//   of the same class taking over the kept line's name and parameters when they say nothing of
//   the value's form (no ENCODING, CHARSET, VALUE, TZID) and the written line has only type
//   parameters; lines left over after that follow the group's last line;
// - any other changed group is replaced by its lines of "now", in the place of its first line;
// - a changed group the kept text lacks is put before the component's first nested component
//   (or its END);
// - lines of properties the record does not hold, and nested components, stay as they are.
std::vector<std::string> MergeComponent(const ComponentMerge& merge);

// The default replacement: the kept line's group, name and parameters with the written line's
// value, unless the kept parameters describe the value's form (ENCODING, CHARSET, VALUE, TZID) or
// the written line has other than type parameters; then the written line.
std::string ReplaceValue(const ContentLine& kept, const ContentLine& written);

// The lines of the component beginning at `begin` that stand directly in it (not in a nested
// component, not its BEGIN or END), as indexes.
std::vector<std::size_t> DirectLines(const ContentText& text, std::size_t begin);
