// Update download through the HTTP client, helper copy and start through the shell layer.
#include "update/Updater.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <system_error>

#include "common/AsciiText.h"
#include "common/CXException.h"
#include "common/StringTable.h"
#include "config/CConf.h"
#include "config/CLog.h"
#include "platform/shell/Process.h"
#include "platform/shell/SystemMessages.h"
#include "platform/shell/UserFolders.h"
#include "syncml/HttpBuffer.h"
#include "syncml/HttpClient.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kDownload = "Updater::DownloadUpdate";
constexpr const char* kCopy = "Updater::CopyUpdater";
constexpr const char* kStart = "Updater::StartUpdater";

void RemovePartial(const std::string& path) {
  std::error_code ignored;
  fs::remove(path, ignored);
}

[[noreturn]] void Fail(const char* operation, const std::string& logged, unsigned stringId) {
  LogError(operation, logged);
  throw CUpdaterException(stringId);
}

// Where the download goes until it is complete: a hidden name no package name can take.
std::string PartialPath(const CConf& conf) { return conf.ConfigFolder() + "." + conf.PackageName() + ".part"; }

bool EndsWithNoCase(const std::string& text, std::string_view suffix) {
  return text.size() >= suffix.size() && AsciiLowercase(text.substr(text.size() - suffix.size())) == suffix;
}

}  // namespace

UpdaterSettings UpdaterSettings::FromConf(const CConf& conf) {
  UpdaterSettings settings;
  settings.transport = SyncTransportOptions::FromConf(conf);
  settings.programFolder = conf.ProgramFolder();
  settings.programFile = ProgramFile();
  return settings;
}

Updater::Updater(CConf& conf, UpdaterSettings settings) : mConf(conf), mSettings(std::move(settings)) {}
Updater::Updater(CConf& conf) : Updater(conf, UpdaterSettings::FromConf(conf)) {}

bool IsSafePackageName(const std::string& name) {
  if (name.empty() || name.size() > 255 || name.front() == '.' || name.find('/') != std::string::npos) return false;
  if (std::any_of(name.begin(), name.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; })) return false;
  for (std::string_view own : {".cfg", ".anc", ".dat", ".run", ".log", ".lock"}) {
    if (EndsWithNoCase(name, own)) return false;
  }
  return name != Updater::kHelperName && name != Updater::kInstallerName;
}

void Updater::DownloadUpdate(const std::function<bool()>& abortRequested) {
  LogDebug(kDownload, "Begin");
  const std::string url = mConf.PackageUrl();
  if (!IsSafePackageName(mConf.PackageName())) {
    Fail(kDownload, "package_name \"" + mConf.PackageName() + "\" is no plain file name of its own", IDS_COMMUNICATION_ERROR);
  }
  HttpClientOptions options;
  options.timeout = mSettings.transport.timeout;
  options.totalTimeout = mSettings.downloadTimeout;
  options.verifyCertificates = mSettings.transport.verifyCertificates;
  options.caBundlePath = mSettings.transport.caBundlePath;
  options.abortRequested = abortRequested;
  const std::string partial = PartialPath(mConf);
  const std::string local = mConf.ConfigFolder() + mConf.PackageName();
  try {
    std::unique_ptr<HttpBufferFile> sink;
    HttpClient client(nullptr, options);
    // The parsed address is judged, not its text ("http:/host" is http too).
    client.SetUrl(url);
    if (!mConf.AllowHttpUpdates() && !client.IsHttps()) {
      Fail(kDownload, url + ": plain HTTP updates are not allowed", IDS_HTTP_UPDATE_REFUSED);
    }
    if (!mConf.AllowHttpUpdates() && !options.verifyCertificates) {
      Fail(kDownload, url + ": updates from a server whose certificate is not checked are not allowed", IDS_UNVERIFIED_UPDATE_REFUSED);
    }
    sink = std::make_unique<HttpBufferFile>(partial);
    client.SetSink(sink.get());
    client.Send("GET", {});
    sink->Close();
    if (sink->Written() == 0 || (client.ContentLength() >= 0 && static_cast<std::uint64_t>(client.ContentLength()) != sink->Written())) {
      throw HttpSinkError("the package is empty or not as long as announced");
    }
    std::error_code error;
    fs::rename(partial, local, error);
    if (error) throw HttpSinkError("cannot move the download to " + local + ": " + error.message());
  } catch (const HttpTransferError& error) {
    RemovePartial(partial);
    Fail(kDownload, url + ": " + error.what(), error.TimedOut() ? IDS_TIMED_OUT : IDS_COMMUNICATION_ERROR);
  } catch (const HttpTransferAborted& error) {
    RemovePartial(partial);
    Fail(kDownload, url + ": " + error.what(), IDS_CANCELED_BY_USER);
  } catch (const HttpSinkError& error) {
    RemovePartial(partial);
    Fail(kDownload, local + ": " + error.what(), IDS_COMMUNICATION_ERROR);
  } catch (const CUpdaterException&) {
    throw;
  } catch (const CXException& error) {
    RemovePartial(partial);
    Fail(kDownload, url + ": " + error.Message(), IDS_COMMUNICATION_ERROR);
  }
  LogDebug(kDownload, "End");
}

void Updater::CopyUpdater() {
  LogDebug(kCopy, "Begin");
  for (const char* name : {kHelperName, kInstallerName}) {
    std::error_code error;
    fs::copy_file(mSettings.programFolder + name, mConf.ConfigFolder() + name, fs::copy_options::overwrite_existing, error);
    if (error) {
      const std::string text = SystemMessageText(error.value());
      LogError(kCopy, mSettings.programFolder + name + ": " + text);
      throw CUpdaterException(text);
    }
  }
  LogDebug(kCopy, "End");
}

void Updater::StartUpdater() {
  LogDebug(kStart, "Begin");
  std::vector<std::string> arguments{"/pid", std::to_string(::getpid())};
  if (!mConf.Silent()) {
    arguments.push_back("/path");
    arguments.push_back(mSettings.programFile);
  }
  arguments.push_back("/source");
  arguments.push_back(mConf.PackageName());
  const ProcessStart helper = StartProcess(mConf.ConfigFolder() + kHelperName, arguments, mConf.ConfigFolder());
  if (!helper.Started()) {
    const std::string text = SystemMessageText(helper.error);
    LogError(kStart, mConf.ConfigFolder() + kHelperName + ": " + text);
    throw CUpdaterException(text);
  }
  mHelperPid = helper.pid;
  LogDebug(kStart, "End");
}
