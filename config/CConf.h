// The configuration object: every setting of "QuenorSync.cfg" as a typed member, the sync links,
// and the run-time flags shared by the user-interface thread and the sync worker.
#pragma once

#include <atomic>
#include <cstddef>
#include <ctime>
#include <optional>
#include <string>
#include <utility>

#include "common/PasswordKeyring.h"
#include "config/CIniEx.h"
#include "engine/CSyncLink.h"

// Owned by the application object for the life of the process. Settings and links are read and
// written by the user-interface thread, and by the worker while a run goes on (link fields, and
// `Save` after each link); the only member meant for concurrent access is the sync-running flag.
// Destruction writes the file once more if anything in it changed (write-on-close).
class CConf : public CIniEx {
 public:
  // Settings section of the file.
  static constexpr const char* kSection = "QuenorSync";
  static constexpr const char* kFileName = "QuenorSync.cfg";
  static constexpr const char* kLogFileName = "Sync.log";
  static constexpr const char* kDefaultPackageName = "Tarnwell_Sync_Installer.msi";
  static constexpr long kDefaultMaxMsgSize = 102400;
  // Content type of the SyncML requests unless "syncml_mime" names another (the registered one).
  static constexpr const char* kDefaultSyncMime = "application/vnd.syncml+xml";
  static constexpr int kDefaultMassDeletePercent = 50;
  static constexpr int kDefaultMassDeleteCount = 10;
  // Length of a generated client store identity.
  static constexpr std::size_t kIdentityLength = 64;

  // Values of the sync-running flag.
  enum RunState : int { RUN_IDLE = 0, RUN_RUNNING = 1, RUN_CANCEL_REQUESTED = 2 };

  // The per-user configuration folder ($XDG_DATA_HOME or ~/.local/share, then company, then
  // product, each level created 0700) and the program folder (of /proc/self/exe).
  CConf();
  // The same, with the configuration folder given (created 0700 if missing; a trailing "/" is
  // added). For tests and tools that must not touch the user's own folder.
  explicit CConf(std::string configFolder);

  // Opens "QuenorSync.cfg" in the configuration folder (write-on-close, ignore-case), creating it
  // only with `create`; false when it cannot. Then reads every setting and the links.
  bool Load(bool create);
  // Writes every setting, the identity (when the local application changed), the login and the
  // links into the file, then writes the file. False (and an error line in the log) when the file
  // was never opened or cannot be written; the previous file then stays as it was.
  bool Save();
  // Writes "login", "password" (Base64, only when remembered) and "remember_pass"; with
  // `writeNow` the file is written at once. With the password in the keyring (and remembered) the
  // password goes there instead (only when it or its account changed since it was last read or
  // stored) and "password" is written empty; when the keyring cannot take it, the password is
  // written into the file as Base64 after all, the marker is dropped and KeyringFailure() says why.
  // A password no longer kept there is removed from the keyring.
  void SaveLogin(bool writeNow);

  // The keyring the password may live in (not owned; must outlive the configuration; null: none
  // is available). Set before `Load`.
  void SetKeyring(PasswordKeyring* keyring) { mKeyring = keyring; }
  // "password_store": "keyring" keeps a remembered password in the desktop keyring, under the
  // account of `url` and `login`, and none in the file; any other value or none keeps it in the
  // file as Base64 (the default).
  bool PasswordInKeyring() const { return mPasswordInKeyring; }
  void SetPasswordInKeyring(bool inKeyring) { mPasswordInKeyring = inKeyring; }
  // Why the keyring could not be used by the last `Load` or `SaveLogin` (the password it holds is
  // then unknown, or it was written into the file); empty when it could or was not needed.
  const std::string& KeyringFailure() const { return mKeyringFailure; }

  // 0 when complete, else the id of the message saying what is missing (103, 106 or 157).
  unsigned CheckComplete() const;
  // The address the SyncML messages are posted to: `url` + "/cgi-bin/vudireravaz" unless it
  // already holds "cgi-bin".
  std::string SyncUrl() const;
  // The installer package's address: `url` cut before "cgi-bin", "/", `package_name`.
  std::string PackageUrl() const;
  // Configuration folder + "Sync.log" / + "QuenorSync.cfg".
  std::string LogPath() const;
  std::string ConfigFilePath() const;
  // The first day of calendar data to synchronize as "%Y%m%d"; empty when there is no limit.
  std::string SyncStartDate() const;
  // Local midnight that starts the period `syncPeriod` (0..4: 7, 31, 62, 186, 365 days up to
  // today) as seen at `now`; nullopt (no limit) for any other period.
  static std::optional<std::time_t> SyncStartFor(int syncPeriod, std::time_t now);
  // A new 64-character client store identity from a properly seeded generator.
  static std::string GenerateIdentity();
  // Whether any sync link has data type `dataType`.
  bool HasLinkOfType(int dataType) const { return mLinks.HasLinkOfType(dataType); }

  // The sync links, in array order.
  CSyncLinkArray& Links() { return mLinks; }
  const CSyncLinkArray& Links() const { return mLinks; }

  const std::string& Login() const { return mLogin; }
  void SetLogin(std::string login) { mLogin = std::move(login); }
  // The plain password (UTF-8).
  const std::string& Password() const { return mPassword; }
  void SetPassword(std::string password) {
    mPassword = std::move(password);
    mKeyringPasswordUnread = false;
  }
  const std::string& Url() const { return mUrl; }
  void SetUrl(std::string url) { mUrl = std::move(url); }
  // The client store identity of the current local application ("OutlookID", "WABID" or "VdirID").
  const std::string& ClientStoreId() const { return mClientStoreId; }
  void SetClientStoreId(std::string id) { mClientStoreId = std::move(id); }
  // The identity the next exchange names the client by; one is made when there is none, so the
  // server sees one device from the wizard's first check on. With a local application chosen it
  // is stored under its key at once (and IdentityGenerated set); before that (a new
  // configuration) it is kept until a `Save` selects the identity of the application chosen in
  // the meantime, which then takes this one instead of generating another.
  const std::string& EnsureClientStoreId();

  const std::string& ProductName() const { return mProductName; }
  const std::string& ProductVersion() const { return mProductVersion; }
  const std::string& LegalNotice() const { return mLegalNotice; }
  const std::string& CompanyName() const { return mCompanyName; }

  const std::string& Language() const { return mLanguage; }
  void SetLanguage(std::string language) { mLanguage = std::move(language); }
  // Folder of the program's own file, ending in "/".
  const std::string& ProgramFolder() const { return mProgramFolder; }
  const std::string& PackageName() const { return mPackageName; }
  void SetPackageName(std::string name) { mPackageName = std::move(name); }
  // Folder of the per-user files, ending in "/" (empty when no home folder is known).
  const std::string& ConfigFolder() const { return mConfigFolder; }

  // -1 none chosen, 0 Windows Contacts, 1 Outlook, 2 Files (vdir).
  int SyncWithOutlook() const { return mSyncWithOutlook; }
  void SetSyncWithOutlook(int app) { mSyncWithOutlook = app; }
  // "vdir_path": the folder of the collections of the vdir local application, a leading "~/"
  // standing for the home folder; when the key is missing or empty, the default one
  // ($XDG_DATA_HOME or ~/.local/share, then "larkspan/vdir"). Written only once set.
  std::string VdirPath() const;
  const std::string& VdirPathSetting() const { return mVdirPath; }
  void SetVdirPath(std::string path) { mVdirPath = std::move(path); }
  // The default folder of the collections.
  static std::string DefaultVdirPath();
  // 0 always ask, 1 personal address, 2 business address.
  int EmailManagementMode() const { return mEmailManagementMode; }
  void SetEmailManagementMode(int mode) { mEmailManagementMode = mode; }
  // 0..4 a period (see SyncStartFor), 5 all events; setting it recomputes the start date.
  int SyncPeriod() const { return mSyncPeriod; }
  void SetSyncPeriod(int period);
  bool RememberPass() const { return mRememberPass; }
  void SetRememberPass(bool remember) { mRememberPass = remember; }
  // Set by `Save` when it generated a new client store identity; read and cleared by the change log.
  bool IdentityGenerated() const { return mIdentityGenerated; }
  void SetIdentityGenerated(bool generated) { mIdentityGenerated = generated; }
  // Resolve conflicts automatically ("auto").
  bool ConfResPol() const { return mConfResPol; }
  void SetConfResPol(bool automatic) { mConfResPol = automatic; }
  bool SyncAb() const { return mSyncAb; }
  void SetSyncAb(bool on) { mSyncAb = on; }
  bool SyncCal() const { return mSyncCal; }
  void SetSyncCal(bool on) { mSyncCal = on; }
  bool SyncTasks() const { return mSyncTasks; }
  void SetSyncTasks(bool on) { mSyncTasks = on; }
  // Whether data type `dataType` (0 contacts, 1 events, 2 tasks) is switched on; false for others.
  bool IsDataTypeOn(int dataType) const;
  bool Systray() const { return mSystray; }
  void SetSystray(bool on) { mSystray = on; }
  // Set by the wizard when `sync_with_outlook` changed: the next `Save` re-selects the identity.
  bool AppChanged() const { return mAppChanged; }
  void SetAppChanged(bool changed) { mAppChanged = changed; }
  // Not persisted: no message box or dialog is shown while set.
  bool Silent() const { return mSilent; }
  void SetSilent(bool silent) { mSilent = silent; }
  bool UseSchedule() const { return mUseSchedule; }
  void SetUseSchedule(bool on) { mUseSchedule = on; }
  long MaxMsgSize() const { return mMaxMsgSize; }
  void SetMaxMsgSize(long size) { mMaxMsgSize = size; }
  int LogLevel() const { return mLogLevel; }
  // The transport settings, edited by hand in the file; `Save` writes them only when they differ
  // from their defaults or the file already holds them.
  // "ssl_verify": HTTPS certificates are verified (default); only a written 0 accepts any certificate.
  bool SslVerify() const { return mSslVerify; }
  void SetSslVerify(bool verify) { mSslVerify = verify; }
  // "slow_sync_guard": a link that synchronized before asks before a slow sync (default); only a
  // written 0 lets it run one without asking.
  bool SlowSyncGuard() const { return mSlowSyncGuard; }
  void SetSlowSyncGuard(bool on) { mSlowSyncGuard = on; }
  // "mass_delete_percent" and "mass_delete_count": deletions of more than this share of a link's
  // items (percent) and more than this many items are held until the user confirms them.
  // Defaults 50 and 10; a value below 0 reads as the default.
  int MassDeletePercent() const { return mMassDeletePercent; }
  int MassDeleteCount() const { return mMassDeleteCount; }
  void SetMassDeleteLimits(int percent, int count) {
    mMassDeletePercent = percent;
    mMassDeleteCount = count;
  }
  // "syncml_mime": Content-Type and Accept of the SyncML requests; kDefaultSyncMime while the
  // setting is missing or empty. The transport stores here the type that worked after the server
  // refused the other one; `Save` writes the key only while it is set, and removes it when it was
  // set back to "" (the default).
  std::string SyncMime() const { return mSyncMime.empty() ? std::string(kDefaultSyncMime) : mSyncMime; }
  // The setting as written: "" while the default is used.
  const std::string& SyncMimeSetting() const { return mSyncMime; }
  void SetSyncMime(std::string mime) { mSyncMime = std::move(mime); }
  // "allow_http_updates": an update package offered at an http:// address is downloaded and
  // installed only when a non-zero number is written here (default off: anyone on the network
  // could replace a package fetched without TLS).
  bool AllowHttpUpdates() const { return mAllowHttpUpdates; }
  void SetAllowHttpUpdates(bool allow) { mAllowHttpUpdates = allow; }
  // "snapshot_runs": how many snapshots of each link's local items (taken before a run changes
  // them) are kept; kDefaultSnapshotRuns while missing, at least 1.
  static constexpr int kDefaultSnapshotRuns = 10;
  int SnapshotRuns() const { return mSnapshotRuns; }
  void SetSnapshotRuns(int runs) { mSnapshotRuns = runs < 1 ? 1 : runs; }
  void SetLogLevel(int level) { mLogLevel = level; }
  // Not persisted: 0 idle, 1 a run is in progress, 2 cancel requested. Written by the
  // user-interface thread, read by the worker.
  int SyncRunning() const { return mSyncRunning.load(); }
  void SetSyncRunning(int state) { mSyncRunning.store(state); }
  // 0 30 minutes, 1 1 hour, 2 6 hours, 3 12 hours, 4 24 hours.
  int SchedulePeriod() const { return mSchedulePeriod; }
  void SetSchedulePeriod(int period) { mSchedulePeriod = period; }
  // 1: the configuration wizard must run at the next start.
  int AppState() const { return mAppState; }
  void SetAppState(int state) { mAppState = state; }

 private:
  void ReadSettings();
  void WriteSettings();
  void ReadKeyringPassword();
  // Stores the password in the keyring unless it holds it already; false (KeyringFailure set) when
  // it cannot.
  bool StorePasswordInKeyring();
  void ForgetKeyringPassword();
  KeyringAccount Account() const { return {mUrl, mLogin}; }
  void SelectIdentity();
  // "OutlookID", "WABID" or "VdirID" for the current local application; null for none.
  const char* IdentityKey() const;
  // A link stays in the array unless it is off or its data type is switched off.
  bool KeepsLink(const CSyncLink& link) const;
  void LoadLinks();
  void SaveLinks();
  void RecomputeSyncStart();
  int GetInt(const char* key) const;
  void SetInt(const char* key, long value);

  CSyncLinkArray mLinks;
  std::string mLogin;
  std::string mPassword;
  std::string mUrl;
  std::string mClientStoreId;
  // Made by EnsureClientStoreId while no local application was chosen; not yet stored.
  std::string mUnboundIdentity;
  std::string mProductName;
  std::string mProductVersion;
  std::string mLegalNotice;
  std::string mCompanyName;
  std::string mLanguage;
  std::string mProgramFolder;
  std::string mPackageName;
  std::string mConfigFolder;
  std::string mVdirPath;
  int mSyncWithOutlook = LOCAL_APP_NONE;
  int mEmailManagementMode = 0;
  int mSyncPeriod = 0;
  bool mRememberPass = false;
  bool mIdentityGenerated = false;
  bool mConfResPol = false;
  bool mSyncAb = false;
  bool mSyncCal = false;
  bool mSyncTasks = false;
  bool mSystray = false;
  bool mAppChanged = false;
  bool mSilent = false;
  bool mUseSchedule = false;
  long mMaxMsgSize = 0;
  std::optional<std::time_t> mSyncStart;
  int mLogLevel = 1;
  bool mSslVerify = true;
  bool mSlowSyncGuard = true;
  int mMassDeletePercent = kDefaultMassDeletePercent;
  int mMassDeleteCount = kDefaultMassDeleteCount;
  bool mAllowHttpUpdates = false;
  int mSnapshotRuns = kDefaultSnapshotRuns;
  PasswordKeyring* mKeyring = nullptr;
  bool mPasswordInKeyring = false;
  std::string mKeyringFailure;
  // What the keyring is known to hold: read from it or stored there last.
  std::optional<std::pair<KeyringAccount, std::string>> mKeyringHolds;
  // The keyring holds the password but could not be read: it is unknown, not empty, until the
  // user gives it again, and nothing may overwrite the keyring's copy meanwhile.
  bool mKeyringPasswordUnread = false;
  std::string mSyncMime;
  std::atomic<int> mSyncRunning{RUN_IDLE};
  int mSchedulePeriod = 1;
  int mAppState = 0;
};
