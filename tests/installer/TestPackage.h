// Packages made by tests: a gzip tar written entry by entry, so that any entry (unsafe ones too)
// can be put in, and the whole run through the real installer program.
#pragma once

#include <string>
#include <vector>

class TestPackage {
 public:
  TestPackage& File(const std::string& path, const std::string& content, unsigned mode = 0644);
  TestPackage& Directory(const std::string& path);
  TestPackage& Link(const std::string& path, const std::string& target);
  TestPackage& HardLink(const std::string& path, const std::string& target);
  // An entry of any tar type flag with `data` after its header (for a folder or a link such data
  // is announced in the header and skipped by readers).
  TestPackage& Raw(const std::string& path, char type, const std::string& data, const std::string& linkTarget = {});
  // product.manifest with this code, name "Demo" and `version`.
  TestPackage& Manifest(const std::string& code, const std::string& version);

  // The uncompressed tar bytes (with the two end blocks).
  std::string Tar() const;
  // Writes the gzip-compressed tar to `path`.
  void Write(const std::string& path) const;
  // The gzip-compressed tar.
  std::string Compressed() const;

 private:
  struct Entry {
    std::string path;
    std::string content;
    std::string link;
    char type;
    unsigned mode;
  };
  std::vector<Entry> mEntries;
};

// Runs `program` with `arguments` and the environment given as "NAME=value" on top of the test's;
// its exit status (-1 when it ended by a signal).
int RunProgram(const std::string& program, const std::vector<std::string>& arguments,
               const std::vector<std::string>& environment = {});

// The installer program of this build.
std::string InstallerProgramPath();
