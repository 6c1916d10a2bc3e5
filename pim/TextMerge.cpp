// The line-level merge of a kept component with the lines its record writes now.
#include "pim/TextMerge.h"

#include <algorithm>
#include <map>

#include "pim/VCardText_p.h"

namespace {

using vcardtext::FindIgnoreCase;

// Parameters that say how a value is written: a kept line with one of them cannot take a new value.
bool DescribesValueForm(std::string_view parameters) {
  for (const char* name : {"ENCODING", "CHARSET", "VALUE", "TZID"}) {
    if (FindIgnoreCase(parameters, name) != std::string_view::npos) return true;
  }
  return false;
}

// Only type words: bare words and TYPE=... (a vCard's HOME, WORK, CELL...).
bool OnlyTypeParameters(std::string_view parameters) {
  for (std::size_t at = 0; at <= parameters.size() && !parameters.empty();) {
    std::size_t end = parameters.find(';', at);
    if (end == std::string_view::npos) end = parameters.size();
    const std::string_view parameter = parameters.substr(at, end - at);
    const std::size_t equals = parameter.find('=');
    if (equals != std::string_view::npos && !vcardtext::EqualsIgnoreCase(parameter.substr(0, equals), "TYPE")) return false;
    at = end + 1;
  }
  return true;
}

}  // namespace

std::string ReplaceValue(const ContentLine& kept, const ContentLine& written) {
  const LineParts keptParts = SplitLine(kept.raw);
  const LineParts writtenParts = SplitLine(written.raw);
  if (DescribesValueForm(keptParts.parameters) || !OnlyTypeParameters(writtenParts.parameters)) return written.raw;
  std::string head = keptParts.group.empty() ? std::string() : keptParts.group + ".";
  head += keptParts.name;
  if (!keptParts.parameters.empty()) head += ";" + keptParts.parameters;
  return head + ":" + writtenParts.value;
}

namespace {

std::vector<std::string> SortedRaws(const std::vector<const ContentLine*>& lines) {
  std::vector<std::string> raws;
  for (const ContentLine* line : lines) raws.push_back(line->raw);
  std::sort(raws.begin(), raws.end());
  return raws;
}

}  // namespace

std::vector<std::size_t> DirectLines(const ContentText& text, std::size_t begin) {
  std::vector<std::size_t> direct;
  if (begin >= text.lines.size()) return direct;
  const std::size_t end = text.EndOf(begin);
  const int depth = text.lines[begin].depth;
  for (std::size_t i = begin + 1; i < end; ++i) {
    const ContentLine& line = text.lines[i];
    if (line.depth == depth && line.name != "BEGIN" && line.name != "END") direct.push_back(i);
  }
  return direct;
}

std::vector<std::string> MergeComponent(const ComponentMerge& merge) {
  const auto Replacement = [&merge](const ContentLine& kept, const ContentLine& written) {
    return merge.replace ? merge.replace(kept, written) : ReplaceValue(kept, written);
  };
  const ContentText& kept = *merge.kept;
  const std::size_t keptEnd = kept.EndOf(merge.keptBegin);
  // The held lines of each text's component, by group, in text order.
  // A written line without a value stands for a value the record does not have.
  using Groups = std::map<std::string, std::vector<const ContentLine*>>;
  const auto group = [&](const ContentText& text, std::size_t begin) {
    Groups groups;
    for (const std::size_t i : DirectLines(text, begin)) {
      const std::string name = merge.groupOf(text.lines[i].name);
      if (!name.empty() && !SplitLine(text.lines[i].raw).value.empty()) groups[name].push_back(&text.lines[i]);
    }
    return groups;
  };
  const Groups now = group(*merge.now, merge.nowBegin);
  const Groups was = group(*merge.was, merge.wasBegin);
  std::map<std::string, std::vector<std::size_t>> keptByGroup;
  for (const std::size_t i : DirectLines(kept, merge.keptBegin)) {
    const std::string name = merge.groupOf(kept.lines[i].name);
    if (!name.empty()) keptByGroup[name].push_back(i);
  }

  std::vector<bool> dropped(kept.lines.size(), false);
  std::map<std::size_t, std::vector<std::string>> inPlaceOf;  // replacements of a dropped line
  std::map<std::size_t, std::vector<std::string>> after;      // lines after a kept line
  std::vector<std::string> beforeNested;                      // groups the kept text lacks
  std::vector<std::string> groupNames;
  for (const auto& [name, lines] : now) groupNames.push_back(name);
  for (const auto& [name, lines] : was) groupNames.push_back(name);
  for (const auto& [name, lines] : keptByGroup) groupNames.push_back(name);
  std::sort(groupNames.begin(), groupNames.end());
  groupNames.erase(std::unique(groupNames.begin(), groupNames.end()), groupNames.end());
  static const std::vector<const ContentLine*> kNone;
  const auto linesOf = [](const Groups& groups, const std::string& name) -> const std::vector<const ContentLine*>& {
    const auto found = groups.find(name);
    return found == groups.end() ? kNone : found->second;
  };

  for (const std::string& name : groupNames) {
    const std::vector<const ContentLine*>& nowLines = linesOf(now, name);
    if (SortedRaws(nowLines) == SortedRaws(linesOf(was, name))) continue;
    const auto keptFound = keptByGroup.find(name);
    const std::vector<std::size_t> keptLines = keptFound == keptByGroup.end() ? std::vector<std::size_t>() : keptFound->second;
    std::vector<std::string> leftover;
    std::vector<const ContentLine*> leftoverLines;
    std::vector<std::size_t> places;
    if (!merge.isList(name)) {
      for (const std::size_t i : keptLines) dropped[i] = true;
      for (const ContentLine* line : nowLines) leftoverLines.push_back(line);
      if (!keptLines.empty()) places.push_back(keptLines.front());
      if (keptLines.size() == 1 && nowLines.size() == 1) {
        inPlaceOf[keptLines.front()].push_back(Replacement(kept.lines[keptLines.front()], *nowLines.front()));
        continue;
      }
      for (const ContentLine* line : leftoverLines) leftover.push_back(line->raw);
      if (places.empty()) {
        beforeNested.insert(beforeNested.end(), leftover.begin(), leftover.end());
      } else {
        inPlaceOf[places.front()] = leftover;
      }
      continue;
    }
    std::vector<bool> used(nowLines.size(), false);
    for (const std::size_t i : keptLines) {
      if (!merge.contributes(i)) continue;
      const std::string key = merge.key(kept.lines[i]);
      bool matched = false;
      for (std::size_t n = 0; n < nowLines.size() && !matched; ++n) {
        if (used[n] || merge.key(*nowLines[n]) != key) continue;
        used[n] = matched = true;
      }
      if (!matched) {
        dropped[i] = true;
        places.push_back(i);
      }
    }
    for (std::size_t n = 0; n < nowLines.size(); ++n) {
      if (!used[n]) leftoverLines.push_back(nowLines[n]);
    }
    // A written line takes the place of a kept line of its class; the others, of any kept line.
    std::vector<bool> placed(leftoverLines.size(), false);
    std::vector<bool> filled(places.size(), false);
    for (const bool sameClassOnly : {true, false}) {
      for (std::size_t p = 0; p < places.size(); ++p) {
        if (filled[p]) continue;
        const ContentLine& keptLine = kept.lines[places[p]];
        for (std::size_t l = 0; l < leftoverLines.size(); ++l) {
          if (placed[l]) continue;
          const bool sameClass = merge.lineClass(keptLine) == merge.lineClass(*leftoverLines[l]);
          if (sameClassOnly && !sameClass) continue;
          inPlaceOf[places[p]].push_back(sameClass ? Replacement(keptLine, *leftoverLines[l]) : leftoverLines[l]->raw);
          placed[l] = filled[p] = true;
          break;
        }
      }
    }
    for (std::size_t l = 0; l < leftoverLines.size(); ++l) {
      if (!placed[l]) leftover.push_back(leftoverLines[l]->raw);
    }
    if (leftover.empty()) continue;
    if (keptLines.empty()) {
      beforeNested.insert(beforeNested.end(), leftover.begin(), leftover.end());
    } else {
      std::vector<std::string>& tail = after[keptLines.back()];
      tail.insert(tail.end(), leftover.begin(), leftover.end());
    }
  }

  std::vector<std::string> out;
  const int depth = kept.lines[merge.keptBegin].depth;
  bool insertedBeforeNested = false;
  const auto insertBeforeNested = [&] {
    if (insertedBeforeNested) return;
    out.insert(out.end(), beforeNested.begin(), beforeNested.end());
    insertedBeforeNested = true;
  };
  out.push_back(kept.lines[merge.keptBegin].raw);
  for (std::size_t i = merge.keptBegin + 1; i < keptEnd && i < kept.lines.size(); ++i) {
    const ContentLine& line = kept.lines[i];
    if (line.depth > depth) {
      if (line.name == "BEGIN" && line.depth == depth + 1) insertBeforeNested();
      out.push_back(line.raw);
      continue;
    }
    if (!dropped[i]) out.push_back(line.raw);
    if (const auto replaced = inPlaceOf.find(i); replaced != inPlaceOf.end()) {
      out.insert(out.end(), replaced->second.begin(), replaced->second.end());
    }
    if (const auto tail = after.find(i); tail != after.end()) out.insert(out.end(), tail->second.begin(), tail->second.end());
  }
  insertBeforeNested();
  if (keptEnd < kept.lines.size()) out.push_back(kept.lines[keptEnd].raw);
  return out;
}
