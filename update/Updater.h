// The update the server asks for: download the package, place the helper, start it.
#pragma once

#include <string>

#include "syncml/SyncTransport.h"

class CConf;

// Where the update's programs come from and what the helper restarts.
struct UpdaterSettings {
  // Time-out and certificate checks of the download: those of the sync transport.
  SyncTransportOptions transport;
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

  // Fetches PackageUrl() with a GET into the configuration folder + package name. 310 on a
  // time-out, 305 when the transport options' abortRequested stopped it, 163 on any other
  // failure (details in the log); an http:// address is refused with IDS_HTTP_UPDATE_REFUSED
  // unless "allow_http_updates" is set.
  void DownloadUpdate();
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
