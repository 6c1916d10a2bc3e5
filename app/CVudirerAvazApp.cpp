// Start-up of the program.
#include "app/CVudirerAvazApp.h"

#include <filesystem>
#include <iostream>

#include "app/ConfigMigration.h"
#include "app/LanguageFiles.h"
#include "common/Format.h"
#include "common/StringTable.h"
#include "config/CLog.h"
#include "platform/shell/InstanceLock.h"
#include "platform/shell/Process.h"
#include "platform/shell/SystemMessages.h"

namespace {

constexpr const char* kOperation = "CVudirerAvazApp::InitInstance";

}  // namespace

int ExitStatusFor(StartupResult result) {
  switch (result) {
    case StartupResult::Ready:
    case StartupResult::CommandDone:
    case StartupResult::Cancelled:
      return 0;
    case StartupResult::Failed:
      return 1;
    case StartupResult::NeedsUser:
      return 2;
    case StartupResult::AlreadyRunning:
      return 3;
  }
  return 1;
}

CVudirerAvazApp::CVudirerAvazApp(StartupInteraction& ui, std::string programFolder, PasswordKeyring* keyring)
    : mUi(ui),
      mProgramFolder(programFolder.empty() ? mConf.ProgramFolder() : std::move(programFolder)),
      mQuietPrompt(std::cerr),
      mPrompts(ui.Prompts(), mQuietPrompt, [this] { return mConf.Silent(); }) {
  mConf.SetKeyring(keyring);
}

CVudirerAvazApp::~CVudirerAvazApp() {
  if (mLanguageLoaded) FreeLanguageLibrary();
}

StartupResult CVudirerAvazApp::InitInstance(const std::vector<std::string>& arguments) {
  // Every switch is read before any is acted on, so "/silent" counts wherever it stands.
  mCommandLine.Parse(arguments);
  // The actions that need no window ask nothing either.
  const bool action = !mCommandLine.Action().empty();
  mConf.SetSilent(mCommandLine.Has(CSyncCommandLineInfo::kSilent) || action);
  if (mCommandLine.Has(CSyncCommandLineInfo::kUninstall)) {
    return Uninstall(mCommandLine.Value(CSyncCommandLineInfo::kUninstall));
  }
  if (mCommandLine.Has(CSyncCommandLineInfo::kStatus)) {
    if (const int status = mCommandLine.IntValue(CSyncCommandLineInfo::kStatus); status != 0) {
      return ReportStatus(status);
    }
  }
  StartupResult result = LoadConfiguration();
  if (result == StartupResult::Ready) result = EnsureLanguage();
  if (result != StartupResult::Ready) return result;
  LoadLanguage();
  // A preview, a restore or a report needs no server settings (a report helps most when they are wrong).
  if (!action) result = CheckComplete();
  if (result == StartupResult::Ready) result = CheckSingleInstance();
  return result;
}

// The installer removes the installation whose product code it is given; the program does not
// wait for it, so the installer can replace the program's own files.
StartupResult CVudirerAvazApp::Uninstall(const std::string& productCode) {
  const ProcessStart start = StartProcess(mProgramFolder + kInstallerProgram, {"/x", productCode});
  if (!start.Started()) {
    Tell(SystemMessageText(start.error), PromptKind::Error);
    return StartupResult::Failed;
  }
  return StartupResult::CommandDone;
}

StartupResult CVudirerAvazApp::ReportStatus(int code) {
  Tell(SystemMessageText(code), PromptKind::Information);
  return StartupResult::CommandDone;
}

StartupResult CVudirerAvazApp::LoadConfiguration() {
  // No per-user folder means no place to migrate into: the load below then fails on its own. A
  // file that is there but cannot be read is the user's configuration all the same: an old one
  // copied over it (with its anchors and indexes) would lose it, so only a missing file migrates.
  if (!mConf.Load(false) && !mConf.ConfigFolder().empty() && !std::filesystem::exists(mConf.ConfigFilePath())) {
    MigrateConfiguration(mProgramFolder, mConf.ConfigFolder());
  }
  if (!mConf.Load(true)) {
    Tell(LoadString(IDS_CANNOT_LOAD_CONFIGURATION), PromptKind::Error);
    return StartupResult::Failed;
  }
  return StartupResult::Ready;
}

StartupResult CVudirerAvazApp::EnsureLanguage() {
  if (!mConf.Language().empty()) return StartupResult::Ready;
  if (mConf.Silent()) return StartupResult::NeedsUser;
  const LanguageChoiceResult choice = mUi.ChooseLanguage(mConf, mProgramFolder);
  if (choice == LanguageChoiceResult::Unavailable) return StartupResult::NeedsUser;
  if (choice == LanguageChoiceResult::Cancelled || mConf.Language().empty()) return StartupResult::Cancelled;
  mConf.Save();
  return StartupResult::Ready;
}

bool CVudirerAvazApp::LoadLanguage() {
  if (mLanguageLoaded) FreeLanguageLibrary();
  mLanguageLoaded = false;
  const std::string& code = mConf.Language();
  if (code.empty() || code == "en") return true;
  if (!IsLanguageCode(code)) {
    LogError(kOperation, "ignoring invalid language code \"" + code + "\"");
    return false;
  }
  mLanguageLoaded = LoadLanguageLibrary(LanguageLibraryPath(mProgramFolder, code));
  if (!mLanguageLoaded) LogError(kOperation, "language library for \"" + code + "\" not loaded");
  return mLanguageLoaded;
}

// An incomplete configuration, or one left for an update, runs the wizard. An update started
// from it ends start-up (CommandDone): the program must close so that the installer can run.
StartupResult CVudirerAvazApp::CheckComplete() {
  if (!mConf.KeyringFailure().empty()) {
    const std::string text = FormatText(LoadString(IDS_KEYRING_UNREACHABLE), {mConf.KeyringFailure()});
    if (mConf.Silent()) {
      // A scheduled run without the desktop session: nobody sees a window, so the log and the
      // error output say why nothing was synchronized.
      CLog::Instance().Open(mConf.LogPath(), mConf.LogLevel());
      LogError(kOperation, text);
      mQuietPrompt.Message(text, PromptButtons::Ok, PromptKind::Error);
      return StartupResult::Failed;
    }
    Tell(text, PromptKind::Warning);
  }
  if (mConf.CheckComplete() == 0 && mConf.AppState() != 1) return StartupResult::Ready;
  if (mConf.Silent()) return StartupResult::NeedsUser;
  mConf.SetAppState(0);
  const std::optional<WizardOutcome> outcome = mUi.RunWizard(mConf);
  if (!outcome) return StartupResult::NeedsUser;
  switch (*outcome) {
    case WizardOutcome::Finished:
      return mConf.AppState() == 1 ? StartupResult::CommandDone : StartupResult::Ready;
    case WizardOutcome::UpdateStarted:
      return StartupResult::CommandDone;
    case WizardOutcome::Cancelled:
      return StartupResult::Cancelled;
  }
  return StartupResult::Cancelled;
}

std::string CVudirerAvazApp::MainWindowTitle() const {
  return FormatText(LoadString(IDS_MAIN_TITLE), {mConf.ProductName()});
}

// A window title identifies the running instance; here a lock file named after it does, held
// until the process ends.
StartupResult CVudirerAvazApp::CheckSingleInstance() {
  const std::string path = mConf.ConfigFolder() + InstanceLock::FileNameForTitle(MainWindowTitle());
  auto lock = std::make_unique<InstanceLock>(path);
  if (lock->HeldElsewhere()) {
    Tell(FormatText(LoadString(IDS_ANOTHER_INSTANCE), {mConf.ProductName()}), PromptKind::Warning);
    return StartupResult::AlreadyRunning;
  }
  if (!lock->IsHeld()) LogError(kOperation, path + ": instance lock not taken: " + SystemMessageText(lock->Error()));
  mInstanceLock = std::move(lock);
  return StartupResult::Ready;
}

void CVudirerAvazApp::Tell(const std::string& text, PromptKind kind) {
  if (!mConf.Silent()) mUi.Prompts().Message(text, PromptButtons::Ok, kind);
}
