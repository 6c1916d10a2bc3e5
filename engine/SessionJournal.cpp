// The session journal of a link: one header line, then one line per server item written.
#include "engine/SessionJournal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "common/AtomicFile.h"
#include "config/CConf.h"
#include "config/CLog.h"
#include "engine/CSyncLink.h"

namespace {

constexpr const char* kOperation = "SessionJournal";
constexpr std::size_t kMaxJournalBytes = std::size_t{64} << 20;

// Fields are separated by tabs; a tab, a line break or "%" inside one is written as %XX.
std::string Escaped(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (const char c : field) {
    if (c == '\t' || c == '\n' || c == '\r' || c == '%') {
      char code[4];
      std::snprintf(code, sizeof code, "%%%02X", static_cast<unsigned char>(c));
      out += code;
    } else {
      out += c;
    }
  }
  return out;
}

std::string Unescaped(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '%' && i + 2 < field.size()) {
      const std::string hex(field.substr(i + 1, 2));
      char* end = nullptr;
      const long value = std::strtol(hex.c_str(), &end, 16);
      if (end == hex.c_str() + 2) {
        out += static_cast<char>(value);
        i += 2;
        continue;
      }
    }
    out += field[i];
  }
  return out;
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (std::size_t start = 0;;) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
    if (tab == std::string_view::npos) return fields;
    start = tab + 1;
  }
}

std::string ItemLine(const std::string& serverId, const std::string& localId, const std::string& stamp) {
  return "item\t" + Escaped(serverId) + "\t" + Escaped(localId) + "\t" + Escaped(stamp) + "\n";
}

}  // namespace

SessionJournal::SessionJournal(const CConf& conf, const CSyncLink& link)
    : mPath(conf.ConfigFolder() + link.LocalFileName() + kExtension) {}

void SessionJournal::ForgetSession() {
  mInterrupted = false;
  mSentNextAnchor.reset();
  mFirstRun = false;
  mLocalIds.clear();
  mStamps.clear();
  mServerIds.clear();
}

bool SessionJournal::Load() {
  ForgetSession();
  std::string content;
  if (!ReadWholeFile(mPath, content, kMaxJournalBytes)) return false;
  mInterrupted = true;
  // Only complete lines count: a process killed while appending leaves a partial last one.
  std::string_view rest(content);
  for (std::size_t end = rest.find('\n'); end != std::string_view::npos; end = rest.find('\n')) {
    const std::vector<std::string_view> fields = Fields(rest.substr(0, end));
    rest.remove_prefix(end + 1);
    if ((fields.size() == 2 || fields.size() == 3) && fields[0] == "session") {
      mFirstRun = fields.size() == 3 && fields[2] == "first";
      const std::string anchor(fields[1]);
      char* stop = nullptr;
      const long value = std::strtol(anchor.c_str(), &stop, 10);
      if (stop != anchor.c_str() && *stop == '\0' && value >= 0 && value <= INT_MAX) mSentNextAnchor = static_cast<int>(value);
    } else if (fields.size() == 4 && fields[0] == "item" && !fields[2].empty()) {
      Remember(Unescaped(fields[1]), Unescaped(fields[2]), Unescaped(fields[3]));
    }
  }
  LogDebug(kOperation, "Interrupted session found, items written: " + std::to_string(mStamps.size()));
  return true;
}

bool SessionJournal::Begin(int nextAnchor, bool firstRun) {
  mFile.Reset();
  std::string error;
  const std::string header = "session\t" + std::to_string(nextAnchor) + (firstRun ? "\tfirst\n" : "\tlater\n");
  if (!WriteFileAtomically(mPath, header + ItemLines(), 0600, &error)) {
    LogError(kOperation, "Cannot write " + mPath + ": " + error);
    return false;
  }
  mFile.Reset(::open(mPath.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
  if (!mFile.IsOpen()) {
    LogError(kOperation, "Cannot open " + mPath + ": " + std::strerror(errno));
    return false;
  }
  return true;
}

void SessionJournal::NoteWritten(const std::string& serverId, const std::string& localId, const std::string& stamp) {
  if (localId.empty()) return;
  Remember(serverId, localId, stamp);
  if (!mFile.IsOpen()) return;
  const std::string line = ItemLine(serverId, localId, stamp);
  mUnsynced = true;
  std::string_view left(line);
  while (!left.empty()) {
    const ssize_t written = ::write(mFile.Get(), left.data(), left.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      LogError(kOperation, "Cannot append to " + mPath + ": " + std::strerror(errno));
      return;
    }
    left.remove_prefix(static_cast<std::size_t>(written));
  }
}

bool SessionJournal::Sync() {
  if (!mFile.IsOpen() || !mUnsynced) return true;
  mUnsynced = false;
  if (::fdatasync(mFile.Get()) == 0) return true;
  LogError(kOperation, "Cannot flush " + mPath + ": " + std::strerror(errno));
  return false;
}

void SessionJournal::Clear() {
  mFile.Reset();
  std::remove(mPath.c_str());
  ForgetSession();
}

std::optional<std::string> SessionJournal::LocalIdOf(const std::string& serverId) const {
  const auto found = mLocalIds.find(serverId);
  if (serverId.empty() || found == mLocalIds.end()) return std::nullopt;
  return found->second;
}

bool SessionJournal::IsServerWrite(const std::string& localId, std::string_view stamp) const {
  const auto found = mStamps.find(localId);
  return found != mStamps.end() && found->second == stamp;
}

void SessionJournal::Remember(const std::string& serverId, const std::string& localId, const std::string& stamp) {
  mStamps[localId] = stamp;
  if (serverId.empty()) return;
  mLocalIds[serverId] = localId;
  mServerIds[localId] = serverId;
}

std::string SessionJournal::ItemLines() const {
  std::string lines;
  for (const auto& [localId, stamp] : mStamps) {
    const auto server = mServerIds.find(localId);
    lines += ItemLine(server == mServerIds.end() ? std::string() : server->second, localId, stamp);
  }
  return lines;
}
