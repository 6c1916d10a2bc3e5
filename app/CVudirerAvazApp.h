// The application object: owns the configuration for the life of the process and carries out
// start-up, from the command line to the moment the main window would open.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/CSyncCommandLineInfo.h"
#include "app/StartupInteraction.h"
#include "common/Prompt.h"
#include "config/CConf.h"

class InstanceLock;

// How start-up ended.
enum class StartupResult {
  Ready,           // start-up complete; the main window comes next
  CommandDone,     // a one-shot command ran (uninstaller started, installer status reported), or the
                   // configuration wizard started an update
  Cancelled,       // the user cancelled the language dialog (or left the language empty) or the wizard
  NeedsUser,       // start-up needs the user (language, configuration) but may not or cannot ask
  AlreadyRunning,  // another instance of the program is running
  Failed,          // the configuration could not be loaded, or the uninstaller not started
};

// The process exit status for a start-up result: 0 for Ready, CommandDone and Cancelled, 1 for
// Failed, 2 for NeedsUser, 3 for AlreadyRunning.
int ExitStatusFor(StartupResult result);

// One per process. It holds the configuration (constructed first, destroyed last: the destructor
// of CConf writes the file once more if it changed), the interface language library it loaded,
// and from the instance check on the instance lock. The StartupInteraction passed in must
// outlive it. Used on the user-interface thread only.
class CVudirerAvazApp {
 public:
  // The installer program started for "uninstall", in the program folder.
  static constexpr const char* kInstallerProgram = "lkinstall";

  // `programFolder` (ending in "/") replaces the running program's own folder as the place of the
  // language libraries, the installer program and an old configuration; empty keeps the real one.
  // `keyring` (not owned, must outlive the object; null: none) is where the configuration may
  // keep the password.
  explicit CVudirerAvazApp(StartupInteraction& ui, std::string programFolder = {}, PasswordKeyring* keyring = nullptr);
  ~CVudirerAvazApp();
  CVudirerAvazApp(const CVudirerAvazApp&) = delete;
  CVudirerAvazApp& operator=(const CVudirerAvazApp&) = delete;

  // Parses `arguments` (without the program's name) and runs start-up in order: uninstall,
  // silent, status, configuration (with migration), language, completeness, instance check.
  // Nothing is shown while the program runs silently, or for an action of the command line
  // (preview, restore, report), which skips the completeness check. A password kept in a keyring that cannot
  // be reached is said in a message (silently on stderr and in the log, and start-up Failed).
  StartupResult InitInstance(const std::vector<std::string>& arguments);

  // Frees the language library loaded before and loads the one of the configured language; none
  // for "" and "en". False when a library was wanted but could not be loaded: the texts stay English.
  bool LoadLanguage();

  CConf& Conf() { return mConf; }
  const CSyncCommandLineInfo& CommandLine() const { return mCommandLine; }
  const std::string& ProgramFolder() const { return mProgramFolder; }
  // The main window's title: string 168 with the product name, in the current language.
  std::string MainWindowTitle() const;
  // Message boxes for everything after start-up: the user interface's, or while the program runs
  // silently the headless answers (text on stderr, safe default).
  Prompt& Prompts() { return mPrompts; }

 private:
  StartupResult Uninstall(const std::string& productCode);
  StartupResult ReportStatus(int code);
  StartupResult LoadConfiguration();
  StartupResult EnsureLanguage();
  StartupResult CheckComplete();
  StartupResult CheckSingleInstance();
  // Shows `text` in a message box with an OK button, unless the program runs silently.
  void Tell(const std::string& text, PromptKind kind);

  CConf mConf;
  StartupInteraction& mUi;
  std::string mProgramFolder;
  CSyncCommandLineInfo mCommandLine;
  HeadlessPrompt mQuietPrompt;
  SilentAwarePrompt mPrompts;
  bool mLanguageLoaded = false;
  std::unique_ptr<InstanceLock> mInstanceLock;
};
