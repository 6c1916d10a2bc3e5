// The server deletions a link holds until the user decides on them, kept between runs.
#pragma once

#include <string>
#include <vector>

class CConf;
class CSyncLink;

// The local identifiers of the items the server deleted in a run that held the deletions (too
// many to carry out without the user). The items stay in the folder and in the index; the next run
// asks again. Kept in "<link's file name>.held" of the configuration folder, one identifier a
// line, replaced atomically.
class HeldDeletions {
 public:
  HeldDeletions(const CConf& conf, const CSyncLink& link);

  // The held identifiers (empty when the file is missing or unreadable).
  std::vector<std::string> Load() const;
  // Replaces the file with `ids` (removes it when `ids` is empty); false when it cannot be written.
  bool Save(const std::vector<std::string>& ids) const;

 private:
  std::string mPath;
};
