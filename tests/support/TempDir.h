// Test helpers: a private temporary folder removed with its content, and scoped environment variables.
#pragma once

#include <optional>
#include <string>

// A fresh folder under $TMPDIR (or /tmp), removed recursively on destruction. Path() ends in "/".
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return mPath; }
  std::string File(const std::string& name) const { return mPath + name; }

 private:
  std::string mPath;
};

// Sets (or, with nullopt, unsets) an environment variable for the lifetime of the object.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::optional<std::string>& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string mName;
  std::optional<std::string> mOld;
};

// Reads a whole file as bytes ("" when it cannot be read); writes bytes to a file (throws on failure).
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
