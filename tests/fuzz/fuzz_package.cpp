// Fuzz target: the installer's package reader. The input is the tar stream (compressed here, so
// that mutations reach the headers); any bytes must read to the end or fail with ArchiveError,
// and every entry's path must pass or fail the entry rules without a crash.
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

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<unsigned char> compressed = Gzip(data, size);
  std::unique_ptr<std::FILE, FileCloser> file(fmemopen(compressed.data(), compressed.size(), "rb"));
  if (!file) return 0;
  try {
    TarReader reader(file.get());
    char buffer[4096];
    while (auto entry = reader.Next()) {
      const auto path = SafeEntryPath(entry->path);
      if (path && entry->type == TarEntryType::SymbolicLink) LinkTargetStaysInside(*path, entry->linkTarget);
      while (reader.ReadData(buffer, sizeof buffer) > 0) {
      }
    }
  } catch (const ArchiveError&) {
  }
  return 0;
}
