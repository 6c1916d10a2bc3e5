// Fuzz target: the installer's package reader. An input that starts like gzip (the corpus holds
// real packages) is read as it stands; any other input is a tar stream, compressed here so that
// mutations reach the headers. Any bytes must read to the end or fail with ArchiveError, and every
// entry's path must pass or fail the entry rules without a crash. The reader may reach the end of
// a package only when the whole gzip stream checks (CRC and length, nothing after it); a stream
// with a changed CRC or length byte never reads to the end.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/installer/PackageRules.h"
#include "platform/installer/TarReader.h"

namespace {

std::vector<unsigned char> Gzip(const uint8_t* data, size_t size) {
  z_stream stream{};
  if (deflateInit2(&stream, 1, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) std::abort();
  std::vector<unsigned char> out(deflateBound(&stream, size) + 64);
  stream.next_in = const_cast<Bytef*>(data);
  stream.avail_in = static_cast<uInt>(size);
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  if (deflate(&stream, Z_FINISH) != Z_STREAM_END) std::abort();
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

// zlib's own verdict on the whole input: one gzip member whose trailer checks, nothing after it.
bool IsWholeGzip(const std::vector<unsigned char>& input) {
  z_stream stream{};
  if (inflateInit2(&stream, 15 + 16) != Z_OK) std::abort();
  std::vector<unsigned char> scratch(64 * 1024);
  stream.next_in = const_cast<Bytef*>(input.data());
  stream.avail_in = static_cast<uInt>(input.size());
  int result = Z_OK;
  while (result == Z_OK) {
    stream.next_out = scratch.data();
    stream.avail_out = static_cast<uInt>(scratch.size());
    result = inflate(&stream, Z_NO_FLUSH);
  }
  const bool whole = result == Z_STREAM_END && stream.avail_in == 0;
  inflateEnd(&stream);
  return whole;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// Whether the reader reads `package` to its end without an ArchiveError.
bool ReadsToTheEnd(std::vector<unsigned char>& package) {
  std::unique_ptr<std::FILE, FileCloser> file(fmemopen(package.data(), package.size(), "rb"));
  if (!file) return false;
  try {
    TarReader reader(file.get());
    char buffer[4096];
    while (auto entry = reader.Next()) {
      const auto path = SafeEntryPath(entry->path);
      if (path && entry->type == TarEntryType::SymbolicLink) LinkTargetStaysInside(*path, entry->linkTarget);
      while (reader.ReadData(buffer, sizeof buffer) > 0) {
      }
    }
    return true;
  } catch (const ArchiveError&) {
    return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const bool gzip = size >= 2 && data[0] == 0x1f && data[1] == 0x8b;
  std::vector<unsigned char> package = gzip ? std::vector<unsigned char>(data, data + size) : Gzip(data, size);
  if (!ReadsToTheEnd(package)) return 0;
  if (gzip && !IsWholeGzip(package)) std::abort();
  // The same package with one bit of its CRC, or of its length, changed is refused.
  for (const size_t fromEnd : {size_t{8}, size_t{4}}) {
    std::vector<unsigned char> changed = package;
    changed[changed.size() - fromEnd] ^= 0x01;
    if (ReadsToTheEnd(changed)) std::abort();
  }
  return 0;
}
