// Tables of defined differences for the round-trip suites: what a store sends back of an item may
// differ from the item only where the table says so, with its reason.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tests/support/ItemFields.h"

// One difference between an item and what was sent back of it: where (a component, or whatever
// scope the suite gives its first word), which field (with ";PARAMETER" for a parameter), which
// value, and what became of it.
struct Difference {
  std::string scope;
  std::string field;
  std::string value;   // the item's value (dropped, changed, deleted) or the one sent (added)
  std::string change;  // dropped, added, changed, deleted

  std::string Describe() const { return scope + " " + field + "=" + value + " " + change; }
};

// An entry of a table file, one a line: "SCOPE FIELD[;PARAMETER][=VALUE] CHANGE | reason"; lines
// starting with '#' and empty lines are comments. SCOPE "*" stands for every scope, FIELD "X-*" for
// every extension, a missing value for every value.
struct DefinedDifference {
  std::string scope;
  std::string field;
  std::optional<std::string> value;
  std::string change;
  std::string text;  // the entry without its reason

  bool Matches(const Difference& difference) const;
};

// The table of `path`; an entry without its reason fails the test that reads it.
std::vector<DefinedDifference> ReadDifferenceTable(const std::string& path);

// The differences of one field the comparison of ItemFields found, under `scope`: a value standing
// alone against another is "changed", otherwise each value missing is "dropped" and each extra
// one "added".
void AddValueDifferences(const FieldDifference& field, const std::string& scope, std::vector<Difference>& differences);

// Checks `differences` against `table`: each must match an entry (else the test fails, naming
// `where` and showing `sent`); the entries that matched are added to `used`.
void CheckDefined(const std::vector<Difference>& differences, const std::vector<DefinedDifference>& table,
                  const std::string& where, const std::string& sent, std::set<std::string>& used);

// What the cases of one suite run in this process found: the entries they needed and the cases
// run, so that the suite's last case can run the others left out by a filter and then check that
// every entry was needed.
struct TableUse {
  std::set<std::string> usedEntries;
  std::set<std::string> casesRun;

  // Fails the test for each entry of `table` no case needed.
  void ExpectEveryEntryNeeded(const std::vector<DefinedDifference>& table) const;
};
