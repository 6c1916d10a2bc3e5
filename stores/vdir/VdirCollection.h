// One collection of the vdir layout: a folder of item files, with the rules the tools that share
// it follow for names, writes, change stamps and the optional metadata files.
#pragma once

#include <cstddef>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

// A file of the collection, read whole.
struct CollectionFile {
  std::string text;
  std::string stamp;  // "<modification time in ns>;<inode>": changes with every write or replacement
};

// Used by one thread. Names are plain file names inside the folder; nothing outside it is read or
// written. Item files are "<name>.vcf" or "<name>.ics"; dot files, ".tmp" files and every other
// file are never items.
class VdirCollection {
 public:
  static constexpr std::size_t kMaxItemBytes = std::size_t{16} << 20;
  static constexpr int kReadAttempts = 3;
  static constexpr const char* kDisplayNameFile = "displayname";
  static constexpr const char* kColorFile = "color";

  // `folder` is the collection's path; a trailing "/" is added.
  explicit VdirCollection(std::string folder);

  const std::string& Folder() const { return mFolder; }
  bool Exists() const;

  // Whether `name` is a plain name of an item file with `extension` (".vcf" or ".ics").
  static bool IsItemName(std::string_view name, std::string_view extension);
  // The item files with `extension`, sorted by name; nullopt (and `error`) when the folder cannot
  // be listed.
  std::optional<std::vector<std::string>> ItemFiles(std::string_view extension, std::string* error = nullptr) const;

  // The file `name` whole and its stamp. A file that changes while it is read (its stamp or size
  // differ before and after) is read again, up to kReadAttempts times; nullopt (and `error`) when
  // it is missing, larger than kMaxItemBytes, or never holds still.
  std::optional<CollectionFile> Read(const std::string& name, std::string* error = nullptr) const;
  // The stamp of `name` now; nullopt when it is missing.
  std::optional<std::string> Stamp(const std::string& name) const;

  // Replaces (or creates) `name` with `text`: written to a ".tmp" file in the folder, flushed, then
  // renamed over it. The new name is on the disk once Flush has run. False (and `error`) on failure;
  // the file is then as it was.
  bool Write(const std::string& name, std::string_view text, std::string* error = nullptr);
  // Removes `name`; a missing file is no error.
  bool Remove(const std::string& name, std::string* error = nullptr);
  // Flushes the folder's entries when a write or removal changed them since the last flush.
  bool Flush();

  // "<uid><extension>" when the UID holds only A-Z a-z 0-9 _ . + - (and does not start with a dot)
  // and no file has that name; else a random name with the extension.
  std::string NameFor(const std::string& uid, std::string_view extension);
  // A random UID (hexadecimal, in the groups of a UUID).
  std::string NewUid();

  // Creates the folder (and its parents, 0700) with "displayname" and, when given, "color"
  // ("#RRGGBB"). False when the folder cannot be made.
  bool Create(const std::string& displayName, const std::string& color);
  // The "displayname" and "color" files (first line, blanks trimmed); "" when there is none.
  std::string DisplayName() const;
  std::string Color() const;

 private:
  std::string Path(const std::string& name) const { return mFolder + name; }
  std::string MetadataLine(const char* file) const;

  std::string mFolder;
  bool mChanged = false;
  std::mt19937_64 mGenerator{std::random_device{}()};
};
