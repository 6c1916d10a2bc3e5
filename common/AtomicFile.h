// Replaces a file's whole content in one step, so that a crash, a full disk or a failed write
// leaves either the old content or the new one, never a mix or a truncated file.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <sys/types.h>

// Writes `content` to a temporary file in the folder of `path`, flushes it to disk, gives it
// `mode` and renames it over `path`; then flushes the folder. On failure the temporary file is
// removed, `path` is untouched, and `error` (when given) receives the reason.
bool WriteFileAtomically(const std::string& path, std::string_view content, mode_t mode = 0600,
                         std::string* error = nullptr);
// Writes one piece of the content; false when it could not be written.
using ContentWriter = std::function<bool(std::string_view piece)>;
// The same with the content made in pieces, so that it is never held whole: `produce` passes
// each piece in order to the writer it is given and returns false to give up (a writer's false
// included). An exception from `produce` removes the temporary file and passes on.
bool WriteFileAtomically(const std::string& path, const std::function<bool(const ContentWriter&)>& produce,
                         mode_t mode = 0600, std::string* error = nullptr);

// How WriteFileAtomically names its temporary file and whether it flushes the folder.
struct AtomicWriteOptions {
  // Ends the temporary file's name (".tmp": readers of a shared folder know to skip it).
  std::string_view temporarySuffix;
  // False leaves the folder's flush to the caller (FlushFolder once after many files): the
  // renamed file's content is on the disk, its name only once the folder is flushed.
  bool flushFolder = true;
};
bool WriteFileAtomically(const std::string& path, std::string_view content, const AtomicWriteOptions& options,
                         mode_t mode = 0600, std::string* error = nullptr);
// Flushes a folder's entries (new, renamed and removed names) to the disk; false when it cannot.
bool FlushFolder(const std::string& folder);

// Creates `path` empty with `mode` when it does not exist; an existing file is left untouched
// (never truncated). False when it neither exists nor can be created.
bool CreateFileIfMissing(const std::string& path, mode_t mode = 0600);

// Reads a whole file; false when it cannot be opened or read. At most `limit` bytes are read; a
// longer file fails with "too big" rather than being cut silently.
bool ReadWholeFile(const std::string& path, std::string& content, size_t limit = size_t(1) << 30,
                   std::string* error = nullptr);
