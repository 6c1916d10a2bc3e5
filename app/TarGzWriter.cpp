// The tar.gz writer of the support report.
#include "app/TarGzWriter.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr std::size_t kBlock = 512;

// `value` in octal, right-aligned in `width` - 1 digits and a NUL, into `field`.
void Octal(char* field, std::size_t width, std::uint64_t value) {
  for (std::size_t digit = width - 1; digit-- > 0; value >>= 3) field[digit] = static_cast<char>('0' + (value & 7));
  field[width - 1] = '\0';
}

}  // namespace

TarGzWriter::TarGzWriter(ContentWriter out) : mOut(std::move(out)) {
  // 15 window bits plus 16: a gzip header and trailer around the deflate stream.
  mReady = deflateInit2(&mStream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) == Z_OK;
}

TarGzWriter::~TarGzWriter() {
  if (mReady) deflateEnd(&mStream);
}

bool TarGzWriter::Deflate(std::string_view bytes, int flush) {
  if (!mReady) return false;
  mStream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  mStream.avail_in = static_cast<uInt>(bytes.size());
  char buffer[16384];
  for (;;) {
    mStream.next_out = reinterpret_cast<Bytef*>(buffer);
    mStream.avail_out = sizeof buffer;
    const int result = deflate(&mStream, flush);
    if (result == Z_STREAM_ERROR) return false;
    const std::size_t produced = sizeof buffer - mStream.avail_out;
    if (produced > 0 && !mOut(std::string_view(buffer, produced))) return false;
    if (flush == Z_FINISH ? result == Z_STREAM_END : mStream.avail_in == 0 && mStream.avail_out != 0) return true;
  }
}

bool TarGzWriter::Add(const std::string& name, std::string_view content, std::int64_t modified) {
  if (name.empty() || name.size() > 100) return false;
  char header[kBlock] = {};
  std::memcpy(header, name.data(), name.size());
  Octal(header + 100, 8, 0600);
  Octal(header + 108, 8, 0);
  Octal(header + 116, 8, 0);
  Octal(header + 124, 12, content.size());
  Octal(header + 136, 12, modified < 0 ? 0 : static_cast<std::uint64_t>(modified));
  header[156] = '0';
  std::memcpy(header + 257, "ustar", 6);
  std::memcpy(header + 263, "00", 2);
  std::memset(header + 148, ' ', 8);
  unsigned sum = 0;
  for (const char c : header) sum += static_cast<unsigned char>(c);
  std::snprintf(header + 148, 8, "%06o", sum);
  header[155] = ' ';
  // Files are read whole in the tar format: compress each in slices so the input size fits zlib's.
  if (!Deflate(std::string_view(header, kBlock), Z_NO_FLUSH)) return false;
  constexpr std::size_t kSlice = std::size_t{1} << 24;
  for (std::size_t at = 0; at < content.size(); at += kSlice) {
    if (!Deflate(content.substr(at, kSlice), Z_NO_FLUSH)) return false;
  }
  const std::size_t padding = (kBlock - content.size() % kBlock) % kBlock;
  static constexpr char kZeros[kBlock] = {};
  return Deflate(std::string_view(kZeros, padding), Z_NO_FLUSH);
}

bool TarGzWriter::Finish() {
  static constexpr char kEnd[2 * kBlock] = {};
  return Deflate(std::string_view(kEnd, sizeof kEnd), Z_FINISH);
}
