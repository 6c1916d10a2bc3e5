// The server deletions a link has not carried out yet, kept between runs.
#pragma once

#include <string>
#include <vector>

class CConf;
class CSyncLink;

// The local identifiers of the items the server deleted that are not deleted here yet: held by
// the user (too many to carry out without the user), or answered in a session that has not ended.
// The items stay in the folder and in the index; the next run settles them. Kept in "<link's file name>.held" of the configuration folder, one identifier a
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
