// A shared library loaded with dlopen and closed when the object goes away.
#pragma once

#include <string>

class SharedLibrary {
 public:
  // Loads `path` (RTLD_NOW | RTLD_LOCAL); IsLoaded() tells whether that worked.
  explicit SharedLibrary(const std::string& path);
  ~SharedLibrary();
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  bool IsLoaded() const { return mHandle != nullptr; }
  // Address of an exported symbol, or null. Valid while this object lives.
  void* Symbol(const char* name) const;
  // The loader's text for the last failure of this object (empty when none).
  const std::string& Error() const { return mError; }

 private:
  void* mHandle = nullptr;
  std::string mError;
};
