// The update the server asks for: download the package, place the helper, start it.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "syncml/SyncTransport.h"

class CConf;

// Whether `name` may be the package's file in the configuration folder: a plain file name (no
// "/", no control character, not starting with "."), not the name of a file the program keeps
// there (".cfg", ".anc", ".dat", ".run", ".log", ".lock" in any letter case; the helper, the
// installer).
bool IsSafePackageName(const std::string& name);

// Where the update's programs come from and what the helper restarts.
struct UpdaterSettings {
  // Idle time-out and certificate checks of the download: those of the sync transport.
  SyncTransportOptions transport;
  // The longest the whole download may take (a package is larger than a SyncML reply).
  std::chrono::milliseconds downloadTimeout{std::chrono::minutes(10)};
  // The folder (ending in "/") holding the helper and the installer of this installation.
  std::string programFolder;
  // The running program's file, restarted by the helper after the installation.
  std::string programFile;

  // The configuration's transport options, its program folder and the running program's file.
  static UpdaterSettings FromConf(const CConf& conf);
};

// The three steps of an update, in this order; each throws CUpdaterException on failure, and
// nothing is installed unless all three succeed. Works on the configuration it is given, which
// must outlive it; used on one thread (the check's, never the window's).
class Updater {
 public:
  static constexpr const char* kHelperName = "Swapling";
  static constexpr const char* kInstallerName = "lkinstall";

  Updater(CConf& conf, UpdaterSettings settings);
  explicit Updater(CConf& conf);

  // Fetches PackageUrl() with a GET into a temporary file of the configuration folder (0600),
  // renamed to the package name only once the reply is complete; on any failure nothing of the
  // download is left and an older file of that name stays as it was. Only a verified source is
  // used: an address whose parsed scheme is http is refused with IDS_HTTP_UPDATE_REFUSED, and
  // https with certificate checks switched off ("ssl_verify=0") with
  // IDS_UNVERIFIED_UPDATE_REFUSED, unless "allow_http_updates" is set. A package name that is not
  // a plain file name, or that could name a file of the program's own (the configuration, an
  // anchor, an index, a journal, a log, a lock, the helper or the installer), fails with 163
  // before anything is fetched. `abortRequested` (the sync transport's kind of cancel) is asked
  // at least once a second on the calling thread; true stops the download with 305
  // ("Canceled by user"). 310 on a time-out, 163 on any other failure (details in the log).
  void DownloadUpdate(const std::function<bool()>& abortRequested = {});
  // Copies the helper and the installer from the program folder into the configuration folder,
  // replacing older copies; the exception's text is the system's reason.
  void CopyUpdater();
  // Starts the helper copy in the configuration folder with "/pid <this process>", unless silent
  // "/path <program file>", and "/source <package name>"; returns without waiting for it.
  void StartUpdater();
  // The process id of the helper StartUpdater started; 0 before.
  long HelperPid() const { return mHelperPid; }

 private:
  CConf& mConf;
  UpdaterSettings mSettings;
  long mHelperPid = 0;
};
