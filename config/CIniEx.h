// The ini-style settings file: sections of key=value entries, read from UTF-16LE or 8-bit text
// and written as UTF-16LE without byte-order mark, with LF line ends, replaced atomically.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// One ini file held in memory. The object owns its in-memory copy; the file on disk is read by
// `Open` and replaced by `Write` (and, with write-on-close, by the destructor or the next `Open`).
// All text is UTF-8. Not thread-safe: one thread uses an object at a time.
//
// Reading: when the first line, read as UTF-16LE, is empty or begins with "[", the file is
// UTF-16LE; otherwise every byte is the character of the same code (CR LF ends a line). Trailing
// white space is stripped, empty lines skipped, entries before the first section ignored; a key
// may occur more than once in a section and every occurrence is kept and written back.
class CIniEx {
 public:
  // Files above this size are refused by `Open` as "cannot be opened".
  static constexpr std::size_t kMaxFileSize = std::size_t(64) << 20;

  CIniEx() = default;
  // Writes the file when write-on-close is set and the content was modified.
  virtual ~CIniEx();
  CIniEx(const CIniEx&) = delete;
  CIniEx& operator=(const CIniEx&) = delete;

  // Writes the file open so far (when write-on-close is set and it is modified) and forgets it;
  // then reads `path`. With `create`, a missing file is created empty (mode 0600); an existing one
  // is never truncated. Section and key names (and `SetValue`'s value comparison) ignore letter
  // case when `ignoreCase` is set. With `backup`, each `Write` first keeps the previous file as
  // `path` + ".bak". Returns false only when the file cannot be opened (missing without `create`,
  // not a regular file, larger than kMaxFileSize, or failing to read part-way).
  bool Open(const std::string& path, bool writeOnClose = false, bool create = false, bool ignoreCase = true,
            bool backup = false);

  // The value of the last entry `key` in the first section `section`, cut before its last ";"
  // (an end-of-line comment); `defaultValue` when the section or key is missing.
  std::string GetValue(std::string_view section, std::string_view key, std::string_view defaultValue = {}) const;

  // Appends the section and/or entry when missing; otherwise replaces the value of the last entry
  // `key`. Marks the content modified only when something changed under the configured comparison
  // (with ignore-case, a change of letter case alone does not count). A value holding ";" is
  // stored with one more ";" at its end, so that GetValue's comment cut gives it back whole.
  void SetValue(std::string_view section, std::string_view key, std::string_view value);

  // Removes the last entry `key` of the first section `section`, or that whole section. Both
  // mark the content modified; they return whether something was removed.
  bool RemoveKey(std::string_view section, std::string_view key);
  bool RemoveSection(std::string_view section);
  // Removes every section (also a repeated one) whose name is one of `names`, in one pass over
  // the file; marks the content modified and returns how many were removed.
  std::size_t RemoveSections(const std::vector<std::string>& names);

  bool HasSection(std::string_view section) const;
  bool HasKey(std::string_view section, std::string_view key) const;

  // When modified: replaces the whole file atomically (0600) and returns its path. When not
  // modified, or the file cannot be written, writes nothing and returns an empty string; a failed
  // write leaves the previous file whole and puts the reason into `error` when given. The
  // modified flag stays set either way.
  std::string Write(std::string* error = nullptr);

  // The exact bytes `Write` would store (UTF-16LE, LF line ends).
  std::string Serialize() const;

  const std::string& Path() const { return mPath; }
  bool IsOpen() const { return !mPath.empty(); }
  bool IsModified() const { return mModified; }
  bool IgnoresCase() const { return mIgnoreCase; }

 private:
  struct Entry {
    std::string key;
    std::string value;
    std::string indexKey;  // IndexKey(key), so a look-up folds each stored key once, not per call
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
  };

  bool SameName(std::string_view a, std::string_view b) const;
  Section* FindSection(std::string_view name);
  const Section* FindSection(std::string_view name) const;
  static constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);
  // Index of the last entry `key` in `section`, or kNotFound.
  std::size_t FindLastEntry(const Section& section, std::string_view key) const;
  void Parse(std::string_view bytes);
  void AddLine(std::string_view line);
  void KeepBackup() const;
  // The name sections are indexed by: folded to lower case when letter case is ignored.
  std::string IndexKey(std::string_view name) const;
  void RebuildIndex();

  std::string mPath;
  std::vector<Section> mSections;
  // First section of each name (by IndexKey), so look-ups stay fast in files with many sections.
  std::unordered_map<std::string, std::size_t> mSectionIndex;
  bool mIgnoreCase = true;
  bool mWriteOnClose = false;
  bool mBackup = false;
  bool mModified = false;
};
