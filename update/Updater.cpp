// Update download through the HTTP client, helper copy and start through the shell layer.
#include "update/Updater.h"

#include <unistd.h>

#include <filesystem>
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

[[noreturn]] void Fail(const char* operation, const std::string& logged, unsigned stringId) {
  LogError(operation, logged);
  throw CUpdaterException(stringId);
}

bool IsPlainHttp(const std::string& url) {
  return url.size() >= 7 && AsciiLowercase(url.substr(0, 7)) == "http://";
}

// The package name becomes a file of the configuration folder: a path would place it elsewhere.
bool IsPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

}  // namespace

UpdaterSettings UpdaterSettings::FromConf(const CConf& conf) {
  return {SyncTransportOptions::FromConf(conf), conf.ProgramFolder(), ProgramFile()};
}

Updater::Updater(CConf& conf, UpdaterSettings settings) : mConf(conf), mSettings(std::move(settings)) {}
Updater::Updater(CConf& conf) : Updater(conf, UpdaterSettings::FromConf(conf)) {}

void Updater::DownloadUpdate() {
  LogDebug(kDownload, "Begin");
  const std::string url = mConf.PackageUrl();
  if (!IsPlainFileName(mConf.PackageName())) Fail(kDownload, "package_name \"" + mConf.PackageName() + "\" is no file name", IDS_COMMUNICATION_ERROR);
  if (IsPlainHttp(url) && !mConf.AllowHttpUpdates()) Fail(kDownload, url + ": plain HTTP updates are not allowed", IDS_HTTP_UPDATE_REFUSED);
  const std::string local = mConf.ConfigFolder() + mConf.PackageName();
  try {
    HttpBufferFile sink(local);
    HttpClientOptions options;
    options.timeout = mSettings.transport.timeout;
    options.verifyCertificates = mSettings.transport.verifyCertificates;
    options.caBundlePath = mSettings.transport.caBundlePath;
    options.abortRequested = mSettings.transport.abortRequested;
    HttpClient client(&sink, options);
    client.SetUrl(url);
    client.Send("GET", {});
    sink.Close();
  } catch (const HttpTransferError& error) {
    Fail(kDownload, url + ": " + error.what(), error.TimedOut() ? IDS_TIMED_OUT : IDS_COMMUNICATION_ERROR);
  } catch (const HttpTransferAborted& error) {
    Fail(kDownload, url + ": " + error.what(), IDS_CANCELED_BY_USER);
  } catch (const HttpSinkError& error) {
    Fail(kDownload, local + ": " + error.what(), IDS_COMMUNICATION_ERROR);
  } catch (const CXException& error) {
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
