// Reading tables of defined differences and matching differences against them.
#include "tests/support/DifferenceTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <sstream>

#include "tests/support/TempDir.h"

bool DefinedDifference::Matches(const Difference& difference) const {
  const bool anyExtension = field == "X-*" && difference.field.rfind("X-", 0) == 0;
  return (scope == difference.scope || scope == "*") && (field == difference.field || anyExtension) && change == difference.change &&
         (!value || *value == difference.value);
}

std::vector<DefinedDifference> ReadDifferenceTable(const std::string& path) {
  std::vector<DefinedDifference> entries;
  std::istringstream lines(ReadFileBytes(path));
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#') continue;
    // The scope is the first word and the change the last; the field and value lie between (a
    // value may hold spaces).
    const std::string rule = line.substr(0, line.find(" |"));
    DefinedDifference entry;
    const size_t firstSpace = rule.find(' ');
    const size_t lastSpace = rule.rfind(' ');
    entry.scope = rule.substr(0, firstSpace);
    entry.change = rule.substr(lastSpace + 1);
    const std::string selector = rule.substr(firstSpace + 1, lastSpace - firstSpace - 1);
    const size_t equals = selector.find('=');
    entry.field = selector.substr(0, equals);
    if (equals != std::string::npos) entry.value = selector.substr(equals + 1);
    entry.text = rule;
    EXPECT_NE(line.find(" | "), std::string::npos) << "an entry without its reason: " << line;
    entries.push_back(std::move(entry));
  }
  EXPECT_FALSE(entries.empty()) << "no table at " << path;
  return entries;
}

void AddValueDifferences(const FieldDifference& field, const std::string& scope, std::vector<Difference>& differences) {
  std::vector<std::string> missing, added;
  std::set_difference(field.expected.begin(), field.expected.end(), field.actual.begin(), field.actual.end(),
                      std::back_inserter(missing));
  std::set_difference(field.actual.begin(), field.actual.end(), field.expected.begin(), field.expected.end(),
                      std::back_inserter(added));
  if (missing.size() == 1 && added.size() == 1) {
    differences.push_back({scope, field.name, missing.front(), "changed"});
    return;
  }
  for (const std::string& value : missing) differences.push_back({scope, field.name, value, "dropped"});
  for (const std::string& value : added) differences.push_back({scope, field.name, value, "added"});
}

void CheckDefined(const std::vector<Difference>& differences, const std::vector<DefinedDifference>& table,
                  const std::string& where, const std::string& sent, std::set<std::string>& used) {
  for (const Difference& difference : differences) {
    const auto entry = std::find_if(table.begin(), table.end(), [&](const DefinedDifference& e) { return e.Matches(difference); });
    if (entry == table.end()) {
      ADD_FAILURE() << where << ": " << difference.Describe() << "\n" << sent;
    } else {
      used.insert(entry->text);
    }
  }
}

void TableUse::ExpectEveryEntryNeeded(const std::vector<DefinedDifference>& table) const {
  for (const DefinedDifference& entry : table) EXPECT_EQ(usedEntries.count(entry.text), 1u) << "not needed: " << entry.text;
}
