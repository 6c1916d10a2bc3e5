// Fuzz target: the settings file reader. Any bytes must load without a crash, and a file once
// written must read back to the same content (a save/load cycle loses nothing).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "config/CIniEx.h"

namespace {

// An anonymous in-memory file, reachable by path through /proc.
class MemoryFile {
 public:
  MemoryFile() : mFd(memfd_create("cfg", 0)) {}
  ~MemoryFile() { close(mFd); }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  std::string Replace(const std::string& bytes) {
    ftruncate(mFd, 0);
    pwrite(mFd, bytes.data(), bytes.size(), 0);
    return "/proc/self/fd/" + std::to_string(mFd);
  }

 private:
  int mFd;
};

std::string Reserialize(MemoryFile& file, const std::string& bytes) {
  CIniEx ini;
  if (!ini.Open(file.Replace(bytes))) std::abort();
  ini.GetValue("QuenorSync", "url");
  ini.GetValue("sync_1", "sync_mode", "x");
  return ini.Serialize();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryFile file;
  const std::string once = Reserialize(file, std::string(reinterpret_cast<const char*>(data), size));
  const std::string twice = Reserialize(file, once);
  if (Reserialize(file, twice) != twice) std::abort();
  return 0;
}
