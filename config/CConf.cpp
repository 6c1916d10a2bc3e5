// The configuration object: loading and saving the settings and links of "QuenorSync.cfg".
#include "config/CConf.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <utility>

#include "common/AsciiText.h"
#include "common/Base64.h"
#include "common/BuildInfo.h"
#include "common/RandomIdentity.h"
#include "common/StringIds.h"
#include "common/TextCodec.h"
#include "config/CLog.h"
#include "platform/shell/UserFolders.h"

namespace {

// The marker of a password kept in the desktop keyring.
constexpr const char* kPasswordStoreKey = "password_store";
constexpr const char* kPasswordInKeyring = "keyring";

// Links read from one file at most; a file cannot make the program hold an unbounded array.
constexpr std::size_t kMaxLinks = 1000;

constexpr int kPeriodDays[] = {7, 31, 62, 186, 365};

// The usual leading-integer conversion: leading white space and a sign, then digits; anything
// else reads as 0. Out-of-range values are clipped.
long LeadingLong(const std::string& text) { return std::strtol(text.c_str(), nullptr, 10); }

int LeadingInt(const std::string& text) { return static_cast<int>(std::clamp<long>(LeadingLong(text), INT_MIN, INT_MAX)); }

// Only a written number 0 turns a default-on safety setting off; an empty or garbled value does not.
bool IsExplicitZero(const std::string& text) {
  const char* start = text.c_str();
  char* end = nullptr;
  const long value = std::strtol(start, &end, 10);
  return end != start && value == 0;
}

std::string LinkSectionName(std::size_t number) { return "sync_" + std::to_string(number); }

std::string EncodePassword(const std::string& password) {
  const std::string encoded = EncodeBase64(password);
  return encoded.empty() ? password : encoded;
}

// Decoded bytes that are not UTF-8 become U+FFFD rather than invalid text in the program.
std::string DecodePassword(const std::string& stored) {
  if (stored.empty()) return {};
  return Utf16ToUtf8(Utf8ToUtf16(DecodeBase64(stored)));
}

}  // namespace

CConf::CConf()
    : mProductName(BuildInfo::kProductName),
      mProductVersion(BuildInfo::kProductVersion),
      mLegalNotice(BuildInfo::kLegalNotice),
      mCompanyName(BuildInfo::kCompanyName),
      mProgramFolder(::ProgramFolder()),
      mConfigFolder(MakeUserFolder(UserDataFolder(), mCompanyName, mProductName)) {}

CConf::CConf(std::string configFolder)
    : mProductName(BuildInfo::kProductName),
      mProductVersion(BuildInfo::kProductVersion),
      mLegalNotice(BuildInfo::kLegalNotice),
      mCompanyName(BuildInfo::kCompanyName),
      mProgramFolder(::ProgramFolder()),
      mConfigFolder(WithSlash(std::move(configFolder))) {
  CreateFolderPath(mConfigFolder);
}

bool CConf::Load(bool create) {
  if (mConfigFolder.empty() || !Open(ConfigFilePath(), true, create, true, false)) return false;
  ReadSettings();
  mAppChanged = false;
  RecomputeSyncStart();
  mLogLevel = 1;
  LoadLinks();
  return true;
}

int CConf::GetInt(const char* key) const { return LeadingInt(GetValue(kSection, key)); }

void CConf::SetInt(const char* key, long value) { SetValue(kSection, key, std::to_string(value)); }

void CConf::ReadSettings() {
  mUrl = GetValue(kSection, "url");
  mLogin = GetValue(kSection, "login");
  mPassword = DecodePassword(GetValue(kSection, "password"));
  // A new configuration remembers the password: without it every run, the scheduled ones
  // included, would have to ask for it.
  mRememberPass = LeadingInt(GetValue(kSection, "remember_pass", "1")) != 0;
  mLanguage = GetValue(kSection, "language");
  mSystray = GetInt("systray") != 0;
  mSyncAb = GetInt("sync_ab") != 0;
  mSyncCal = GetInt("sync_cal") != 0;
  mSyncTasks = GetInt("sync_tasks") != 0;
  mEmailManagementMode = GetInt("email_management_mode");
  mSyncWithOutlook = LeadingInt(GetValue(kSection, "sync_with_outlook", "-1"));
  if (const char* key = IdentityKey(); key != nullptr) mClientStoreId = GetValue(kSection, key);
  mVdirPath = GetValue(kSection, "vdir_path");
  mConfResPol = GetValue(kSection, "conf_res_pol") == "auto";
  mMaxMsgSize = LeadingLong(GetValue(kSection, "max_msg_size", std::to_string(kDefaultMaxMsgSize)));
  mSyncPeriod = GetInt("sync_period");
  mUseSchedule = GetInt("use_schedule") != 0;
  mSchedulePeriod = GetInt("schedule_period");
  mPackageName = GetValue(kSection, "package_name", kDefaultPackageName);
  mAppState = GetInt("app_state");
  mSslVerify = !IsExplicitZero(GetValue(kSection, "ssl_verify"));
  mSlowSyncGuard = !IsExplicitZero(GetValue(kSection, "slow_sync_guard"));
  const auto limit = [this](const char* key, int fallback) {
    const int value = LeadingInt(GetValue(kSection, key, std::to_string(fallback)));
    return value < 0 ? fallback : value;
  };
  mMassDeletePercent = limit("mass_delete_percent", kDefaultMassDeletePercent);
  mMassDeleteCount = limit("mass_delete_count", kDefaultMassDeleteCount);
  mSyncMime = TrimBlanks(GetValue(kSection, "syncml_mime"));
  mAllowHttpUpdates = GetInt("allow_http_updates") != 0;
  SetSnapshotRuns(LeadingInt(GetValue(kSection, "snapshot_runs", std::to_string(kDefaultSnapshotRuns))));
  mPasswordInKeyring = GetValue(kSection, kPasswordStoreKey) == kPasswordInKeyring;
  mKeyringFailure.clear();
  mKeyringHolds.reset();
  mKeyringPasswordUnread = false;
  if (mPasswordInKeyring && mRememberPass) ReadKeyringPassword();
}

void CConf::ReadKeyringPassword() {
  mPassword.clear();
  mKeyringPasswordUnread = true;
  if (mKeyring == nullptr) {
    mKeyringFailure = "no keyring is available to this program";
    return;
  }
  try {
    if (const std::optional<std::string> stored = mKeyring->Lookup(Account())) {
      mPassword = *stored;
      mKeyringHolds.emplace(Account(), mPassword);
    }
    mKeyringPasswordUnread = false;
  } catch (const KeyringError& error) {
    mKeyringFailure = error.what();
    LogError("CConf::Load", mKeyringFailure);
  }
}

bool CConf::StorePasswordInKeyring() {
  if (mKeyringHolds && mKeyringHolds->first == Account() && mKeyringHolds->second == mPassword) return true;
  if (mKeyring == nullptr) {
    mKeyringFailure = "no keyring is available to this program";
    return false;
  }
  try {
    mKeyring->Store(Account(), mPassword);
    if (mKeyringHolds && mKeyringHolds->first != Account()) {
      // The account changed: its old password would stay behind.
      try {
        mKeyring->Remove(mKeyringHolds->first);
      } catch (const KeyringError& error) {
        LogError("CConf::SaveLogin", error.what());
      }
    }
    mKeyringHolds.emplace(Account(), mPassword);
    mKeyringFailure.clear();
    return true;
  } catch (const KeyringError& error) {
    mKeyringFailure = error.what();
    LogError("CConf::SaveLogin", mKeyringFailure);
    return false;
  }
}

void CConf::ForgetKeyringPassword() {
  if (!mKeyringHolds || mKeyring == nullptr) return;
  try {
    mKeyring->Remove(mKeyringHolds->first);
    mKeyringHolds.reset();
  } catch (const KeyringError& error) {
    LogError("CConf::SaveLogin", error.what());
  }
}

bool CConf::Save() {
  WriteSettings();
  SaveLogin(false);
  SaveLinks();
  if (!IsOpen()) {
    LogError("CConf::Save", "The configuration file was not opened: nothing saved");
    return false;
  }
  std::string error;
  if (IsModified() && Write(&error).empty()) {
    LogError("CConf::Save", "Cannot write " + Path() + ": " + error);
    return false;
  }
  return true;
}

void CConf::WriteSettings() {
  SetValue(kSection, "conf_res_pol", mConfResPol ? "auto" : "manual");
  SetValue(kSection, "language", mLanguage);
  SetInt("systray", mSystray);
  SetInt("sync_ab", mSyncAb);
  SetInt("sync_cal", mSyncCal);
  SetInt("sync_tasks", mSyncTasks);
  SetValue(kSection, "url", mUrl);
  SetInt("email_management_mode", mEmailManagementMode);
  SetInt("sync_with_outlook", mSyncWithOutlook);
  if (mAppChanged) SelectIdentity();
  SetInt("max_msg_size", mMaxMsgSize);
  SetInt("sync_period", mSyncPeriod);
  RecomputeSyncStart();
  SetInt("log_level", mLogLevel);
  SetInt("use_schedule", mUseSchedule);
  SetInt("schedule_period", mSchedulePeriod);
  SetValue(kSection, "package_name", mPackageName);
  SetInt("app_state", mAppState);
  // The transport settings are edited by hand; a file that never had them keeps its described
  // layout while they hold their defaults.
  if (!mSslVerify || HasKey(kSection, "ssl_verify")) SetInt("ssl_verify", mSslVerify);
  if (!mSlowSyncGuard || HasKey(kSection, "slow_sync_guard")) SetInt("slow_sync_guard", mSlowSyncGuard);
  if (mMassDeletePercent != kDefaultMassDeletePercent || HasKey(kSection, "mass_delete_percent")) {
    SetInt("mass_delete_percent", mMassDeletePercent);
  }
  if (mMassDeleteCount != kDefaultMassDeleteCount || HasKey(kSection, "mass_delete_count")) {
    SetInt("mass_delete_count", mMassDeleteCount);
  }
  if (!mSyncMime.empty()) {
    SetValue(kSection, "syncml_mime", mSyncMime);
  } else if (HasKey(kSection, "syncml_mime")) {
    RemoveKey(kSection, "syncml_mime");
  }
  if (mAllowHttpUpdates || HasKey(kSection, "allow_http_updates")) SetInt("allow_http_updates", mAllowHttpUpdates);
  if (mSnapshotRuns != kDefaultSnapshotRuns || HasKey(kSection, "snapshot_runs")) SetInt("snapshot_runs", mSnapshotRuns);
  if (!mVdirPath.empty() || HasKey(kSection, "vdir_path")) SetValue(kSection, "vdir_path", mVdirPath);
}

const char* CConf::IdentityKey() const {
  switch (mSyncWithOutlook) {
    case LOCAL_APP_OUTLOOK: return "OutlookID";
    case LOCAL_APP_WINDOWS_CONTACTS: return "WABID";
    case LOCAL_APP_VDIR: return "VdirID";
    default: return nullptr;
  }
}

void CConf::SelectIdentity() {
  const char* key = IdentityKey();
  mClientStoreId = key != nullptr ? GetValue(kSection, key) : mUnboundIdentity;
  if (mClientStoreId.empty() && key != nullptr) {
    // The identity a check already used, if any: the server knows the device by it.
    mClientStoreId = mUnboundIdentity.empty() ? GenerateIdentity() : std::exchange(mUnboundIdentity, std::string());
    SetValue(kSection, key, mClientStoreId);
    mIdentityGenerated = true;
  }
  mAppChanged = false;
}

const std::string& CConf::EnsureClientStoreId() {
  if (!mClientStoreId.empty()) return mClientStoreId;
  mClientStoreId = GenerateIdentity();
  if (const char* key = IdentityKey(); key != nullptr) {
    SetValue(kSection, key, mClientStoreId);
    mIdentityGenerated = true;
  } else {
    mUnboundIdentity = mClientStoreId;
  }
  return mClientStoreId;
}

void CConf::SaveLogin(bool writeNow) {
  SetValue(kSection, "login", mLogin);
  // The keyring is the password's place only while it takes it; the file is the fallback. A
  // password the keyring holds but could not give stays there, untouched.
  const bool keyringKeeps = mPasswordInKeyring && mRememberPass && mKeyringPasswordUnread;
  const bool inKeyring = keyringKeeps || (mPasswordInKeyring && mRememberPass && StorePasswordInKeyring());
  if (mPasswordInKeyring && mRememberPass && !inKeyring) mPasswordInKeyring = false;
  if (!inKeyring) ForgetKeyringPassword();
  if (!mRememberPass) mKeyringPasswordUnread = false;
  SetValue(kSection, "password", mRememberPass && !inKeyring ? EncodePassword(mPassword) : std::string());
  SetValue(kSection, "remember_pass", mRememberPass ? "1" : "0");
  if (mPasswordInKeyring) {
    SetValue(kSection, kPasswordStoreKey, kPasswordInKeyring);
  } else if (HasKey(kSection, kPasswordStoreKey)) {
    RemoveKey(kSection, kPasswordStoreKey);
  }
  if (writeNow) Write();
}

bool CConf::IsDataTypeOn(int dataType) const {
  switch (dataType) {
    case DATA_TYPE_CONTACTS: return mSyncAb;
    case DATA_TYPE_EVENTS: return mSyncCal;
    case DATA_TYPE_TASKS: return mSyncTasks;
    default: return false;
  }
}

bool CConf::KeepsLink(const CSyncLink& link) const {
  if (link.mMode == SYNC_MODE_OFF) return false;
  const bool known = link.mDataType == DATA_TYPE_CONTACTS || link.mDataType == DATA_TYPE_EVENTS ||
                     link.mDataType == DATA_TYPE_TASKS;
  return !known || IsDataTypeOn(link.mDataType);
}

void CConf::LoadLinks() {
  mLinks.Clear();
  for (std::size_t number = 1; mLinks.Size() < kMaxLinks && HasSection(LinkSectionName(number)); ++number) {
    CSyncLink link = CSyncLink::ReadSection(*this, LinkSectionName(number));
    if (KeepsLink(link)) mLinks.Add(link);
  }
}

void CConf::SaveLinks() {
  std::vector<std::string> stale;
  for (std::size_t number = 1; HasSection(LinkSectionName(number)); ++number) stale.push_back(LinkSectionName(number));
  RemoveSections(stale);
  for (std::size_t index = mLinks.Size(); index-- > 0;) {
    if (!KeepsLink(mLinks.At(index))) mLinks.Remove(index);
  }
  for (std::size_t index = 0; index < mLinks.Size(); ++index) mLinks.At(index).WriteSection(*this, LinkSectionName(index + 1));
}

unsigned CConf::CheckComplete() const {
  if (mLogin.empty() || (mPassword.empty() && mRememberPass)) return IDS_LOGIN_NOT_SET;
  if (mUrl.empty()) return IDS_URL_NOT_SET;
  const bool perDataType = mSyncWithOutlook == LOCAL_APP_OUTLOOK || mSyncWithOutlook == LOCAL_APP_VDIR;
  const bool nothingChosen = mSyncWithOutlook == LOCAL_APP_NONE || (perDataType && !mSyncAb && !mSyncCal && !mSyncTasks);
  return nothingChosen ? unsigned{IDS_NOTHING_TO_SYNC} : 0u;
}

std::string CConf::SyncUrl() const {
  if (mUrl.find("cgi-bin") != std::string::npos) return mUrl;
  std::string url = mUrl;
  if (url.empty() || url.back() != '/') url += '/';
  return url + "cgi-bin/vudireravaz";
}

std::string CConf::PackageUrl() const {
  return WithSlash(mUrl.substr(0, mUrl.find("cgi-bin"))) + mPackageName;
}

std::string CConf::LogPath() const { return mConfigFolder + kLogFileName; }

std::string CConf::DefaultVdirPath() {
  const std::string data = UserDataFolder();
  return data.empty() ? std::string() : data + "larkspan/vdir";
}

std::string CConf::VdirPath() const {
  if (mVdirPath.empty()) return DefaultVdirPath();
  const char* home = std::getenv("HOME");
  if (mVdirPath.rfind("~/", 0) == 0 && home != nullptr && *home != '\0') return std::string(home) + mVdirPath.substr(1);
  return mVdirPath;
}

std::string CConf::ConfigFilePath() const { return mConfigFolder + kFileName; }

void CConf::SetSyncPeriod(int period) {
  mSyncPeriod = period;
  RecomputeSyncStart();
}

void CConf::RecomputeSyncStart() { mSyncStart = SyncStartFor(mSyncPeriod, std::time(nullptr)); }

std::optional<std::time_t> CConf::SyncStartFor(int syncPeriod, std::time_t now) {
  if (syncPeriod < 0 || syncPeriod >= static_cast<int>(std::size(kPeriodDays))) return std::nullopt;
  std::tm day{};
  if (localtime_r(&now, &day) == nullptr) return std::nullopt;
  // Rounding the current moment up to a whole day and then subtracting the period: midnight
  // (days - 1) days before today, or `days` days before when it is exactly midnight.
  const bool pastMidnight = day.tm_hour != 0 || day.tm_min != 0 || day.tm_sec != 0;
  day.tm_mday += (pastMidnight ? 1 : 0) - kPeriodDays[syncPeriod];
  day.tm_hour = day.tm_min = day.tm_sec = 0;
  day.tm_isdst = -1;
  const std::time_t start = std::mktime(&day);
  if (start == static_cast<std::time_t>(-1)) return std::nullopt;
  return start;
}

std::string CConf::SyncStartDate() const {
  if (!mSyncStart) return {};
  std::tm day{};
  const std::time_t start = *mSyncStart;
  if (localtime_r(&start, &day) == nullptr) return {};
  char buffer[32];
  return std::string(buffer, std::strftime(buffer, sizeof buffer, "%Y%m%d", &day));
}

std::string CConf::GenerateIdentity() { return RandomIdentity(kIdentityLength); }
