// The support report: what goes into it, and the archive.
#include "app/SupportReport.h"

#include <sys/utsname.h>

#include <ctime>
#include <filesystem>

#include "app/TarGzWriter.h"
#include "common/AtomicFile.h"
#include "common/BuildInfo.h"
#include "common/SecretText.h"
#include "common/TextCodec.h"
#include "config/CConf.h"
#include "config/CLog.h"
#include "engine/CDataItemList.h"
#include "engine/CSyncLink.h"
#include "engine/LocalSnapshots.h"
#include "syncml/SecretMask.h"

namespace {

constexpr const char* kFolder = "larkspan-report/";
// A log is read whole; one of a run over 50,000 items at the debug level stays below this.
constexpr std::size_t kMaxLogBytes = std::size_t{512} << 20;

const char* LocalApplicationName(int app) {
  switch (app) {
    case LOCAL_APP_WINDOWS_CONTACTS: return "Windows Contacts";
    case LOCAL_APP_OUTLOOK: return "Outlook";
    case LOCAL_APP_VDIR: return "Files (vdir)";
    default: return "none chosen";
  }
}

const char* DataTypeName(int type) {
  switch (type) {
    case DATA_TYPE_CONTACTS: return "contacts";
    case DATA_TYPE_EVENTS: return "events";
    case DATA_TYPE_TASKS: return "tasks";
    default: return "unknown";
  }
}

std::string CountsLine(const ChangeCounts& counts) {
  return std::to_string(counts.added) + " added, " + std::to_string(counts.updated) + " updated, " +
         std::to_string(counts.deleted) + " deleted";
}

// The Data elements of a log's messages whose content is an item (anything but a number, a masked
// credential or device information).
bool KeepsData(std::string_view content) {
  if (content.find_first_not_of("0123456789 \r\n\t") == std::string_view::npos) return true;
  if (content == kSecretMask) return true;
  return content.find("<DevInf") != std::string_view::npos;
}

// Every "<DevInf ...>...</DevInf>" of `text`, one per line block.
std::string DevInfElements(const std::string& text) {
  std::string found;
  for (std::size_t at = text.find("<DevInf"); at != std::string::npos; at = text.find("<DevInf", at)) {
    const std::size_t end = text.find("</DevInf>", at);
    if (end == std::string::npos) break;
    found.append(text, at, end + 9 - at);
    found += "\n";
    at = end + 9;
  }
  return found;
}

}  // namespace

std::string SupportReport::MaskedLog(const std::string& log, const std::vector<std::string>& secrets) {
  const std::string masked = MaskForLog(log, secrets);
  std::string out;
  out.reserve(masked.size());
  std::size_t copied = 0;
  for (std::size_t open = masked.find("<Data"); open != std::string::npos; open = masked.find("<Data", open)) {
    const std::size_t tagEnd = masked.find('>', open);
    if (tagEnd == std::string::npos) break;
    // "<Data>" or "<Data ...>", not "<DataStore>"
    const char after = masked[open + 5];
    if (after != '>' && after != ' ') {
      open = tagEnd;
      continue;
    }
    if (masked[tagEnd - 1] == '/') {
      open = tagEnd;
      continue;
    }
    // An item in a CDATA section may hold "</Data>" itself: the element ends after the section.
    std::size_t searchFrom = tagEnd;
    if (masked.compare(tagEnd + 1, 9, "<![CDATA[") == 0) {
      const std::size_t cdataEnd = masked.find("]]>", tagEnd + 10);
      searchFrom = cdataEnd == std::string::npos ? masked.size() : cdataEnd;
    }
    const std::size_t close = masked.find("</Data>", searchFrom);
    // An item cut off by the end of the log is masked to its end.
    const std::size_t contentEnd = close == std::string::npos ? masked.size() : close;
    const std::string_view content(masked.data() + tagEnd + 1, contentEnd - tagEnd - 1);
    if (!KeepsData(content)) {
      out.append(masked, copied, tagEnd + 1 - copied);
      out += "[item data: " + std::to_string(content.size()) + " bytes]";
      copied = contentEnd;
    }
    if (close == std::string::npos) break;
    open = close + 7;
  }
  out.append(masked, copied, std::string::npos);
  return out;
}

std::string SupportReport::About() const {
  std::string text = std::string(BuildInfo::kProductName) + " " + BuildInfo::kProductVersion + " (larkspan)\n";
  utsname system{};
  if (uname(&system) == 0) {
    text += std::string("Platform: ") + system.sysname + " " + system.release + " " + system.version + " " + system.machine + "\n";
  }
  if (const std::string osRelease = [] {
        std::string content;
        return ReadWholeFile("/etc/os-release", content, 1 << 16) ? content : std::string();
      }();
      !osRelease.empty()) {
    const std::size_t name = osRelease.find("PRETTY_NAME=");
    if (name != std::string::npos) text += "System: " + osRelease.substr(name + 12, osRelease.find('\n', name) - name - 12) + "\n";
  }
  text += std::string("Local application: ") + LocalApplicationName(mConf.SyncWithOutlook()) + "\n";
  text += "Links: " + std::to_string(mConf.Links().Size()) + "\n";
  text += "Report made: " + std::to_string(static_cast<long long>(std::time(nullptr))) + " (seconds since 1970, UTC)\n";
  return text;
}

std::string SupportReport::Settings() const {
  const std::string bytes = mConf.Serialize();
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  const std::string text = Utf16ToUtf8(units);
  std::string out;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    std::string line = text.substr(start, end - start);
    const std::size_t equals = line.find('=');
    if (equals != std::string::npos) {
      std::string key = line.substr(0, equals);
      for (char& c : key) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      if ((key == "login" || key == "password") && equals + 1 < line.size()) line = line.substr(0, equals + 1) + std::string(kSecretMask);
    }
    out += line + "\n";
    start = end + 1;
  }
  return MaskForLog(out, {mConf.Password(), mConf.Login()});
}

std::string SupportReport::Links() const {
  std::string text;
  const LocalSnapshots snapshots(mConf);
  for (std::size_t index = 0; index < mConf.Links().Size(); ++index) {
    const CSyncLink& link = mConf.Links().At(index);
    CDataItemList indexList;
    indexList.SetPath(mConf.ConfigFolder(), link.LocalFileName());
    std::size_t indexed = 0;
    if (std::filesystem::exists(indexList.Path())) {
      try {
        indexList.LoadFile();
        indexed = indexList.Count();
      } catch (const std::exception&) {
        indexed = 0;
      }
    }
    text += "[sync_" + std::to_string(index + 1) + "]\n";
    text += "server database: " + link.ServerUri() + "\n";
    text += "local folder: " + link.mLocalName + " (" + LocalApplicationName(link.mClientApp) + ", " + DataTypeName(link.mDataType) + ")\n";
    text += "mode: " + link.ModeText() + "\n";
    text += "state: " + link.StateText() + "\n";
    if (!link.mStatusText.empty()) text += "last message: " + link.mStatusText + "\n";
    text += "last successful run: " + (link.mLastSyncTime == 0 ? std::string("never") : FormatLocalDateTime(link.mLastSyncTime)) + "\n";
    text += "last run, local changes sent: " + CountsLine(link.mLocalCounts) + "\n";
    text += "last run, server changes received: " + CountsLine(link.mServerCounts) + "\n";
    text += "items that did not synchronize: " + std::to_string(link.mItemErrors) + "\n";
    text += "items in the index: " + std::to_string(indexed) + "\n";
    text += "snapshots kept: " + std::to_string(snapshots.List(link).size()) + "\n\n";
  }
  return MaskForLog(text, {mConf.Password(), mConf.Login()});
}

std::vector<std::pair<std::string, std::string>> SupportReport::Entries() const {
  std::vector<std::pair<std::string, std::string>> entries;
  entries.emplace_back(std::string(kFolder) + "about.txt", About());
  entries.emplace_back(std::string(kFolder) + "settings.txt", Settings());
  entries.emplace_back(std::string(kFolder) + "links.txt", Links());
  const std::vector<std::string> secrets{mConf.Password(), mConf.Login()};
  std::string devInf;
  const std::string logPath = mConf.LogPath();
  const std::string logName = std::filesystem::path(logPath).filename().string();
  for (int number = 0; number <= CLog::kPreviousLogs; ++number) {
    const std::string path = number == 0 ? logPath : logPath + "." + std::to_string(number);
    std::string log;
    if (!ReadWholeFile(path, log, kMaxLogBytes)) continue;
    std::string masked = MaskedLog(log, secrets);
    if (devInf.empty()) devInf = DevInfElements(masked);
    entries.emplace_back(std::string(kFolder) + logName + (number == 0 ? "" : "." + std::to_string(number)), std::move(masked));
  }
  entries.emplace_back(std::string(kFolder) + "server-devinf.xml",
                       devInf.empty() ? std::string("<!-- none of the kept logs holds the server's device information -->\n") : devInf);
  return entries;
}

bool SupportReport::Save(const std::string& path, std::string& error) const {
  const std::vector<std::pair<std::string, std::string>> entries = Entries();
  const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
  const bool written = WriteFileAtomically(path, [&](const ContentWriter& write) {
    TarGzWriter archive(write);
    for (const auto& [name, content] : entries) {
      if (!archive.Add(name, content, now)) return false;
    }
    return archive.Finish();
  }, 0600, &error);
  if (!written && error.empty()) error = "the archive could not be written";
  return written;
}
