// The new local items a session that resumes an interrupted one holds back.
#pragma once

#include <map>
#include <string>
#include <vector>

class CDataItem;

// An interrupted session may have delivered the link's new items, and a server that kept them
// without a Map (its session aborted) sends them back as items of its own in the session that
// resumes. That session therefore holds the new items back: each item the server sends that is a
// copy of one of them is written over it (its Map then names it), and the rest go out in a
// session of their own right after. A copy is one whose content, read the way the stores read
// items, is the same.
class HeldBackItems {
 public:
  // Holds back the new local item `record` (contacts, events and tasks; groups stay local).
  void Hold(const CDataItem& record);
  bool Empty() const { return mTexts.empty(); }
  // The held-back items the server sent no copy of.
  std::vector<std::string> Ids() const;
  // The held-back item the server's item `record` is a copy of, which is then no longer held;
  // "" when none is.
  std::string TakeCopyOf(const CDataItem& record);

 private:
  // Local identifier -> comparable text.
  std::map<std::string, std::string> mTexts;
};

// The text of `record` as a store would send it after reading it back, without what only the
// local store keeps (its identifier and stamp): equal for an item and the server's copy of it.
std::string ComparableText(const CDataItem& record);
