// A gzip-compressed tar archive of plain files, written as it is made.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <zlib.h>

#include "common/AtomicFile.h"

// Each Add writes one regular file (mode 0600, owner 0) in the POSIX ustar format; Finish writes
// the end-of-archive blocks and the gzip trailer. The compressed bytes go to `out` in pieces; a
// false from it makes Add and Finish return false, as does a name longer than 100 bytes.
class TarGzWriter {
 public:
  explicit TarGzWriter(ContentWriter out);
  ~TarGzWriter();
  TarGzWriter(const TarGzWriter&) = delete;
  TarGzWriter& operator=(const TarGzWriter&) = delete;

  bool Add(const std::string& name, std::string_view content, std::int64_t modified);
  bool Finish();

 private:
  bool Deflate(std::string_view bytes, int flush);

  ContentWriter mOut;
  z_stream mStream{};
  bool mReady = false;
};
