// Entry point of larkspan: Qt set-up, start-up, then the main window (which a silent start closes
// after its run), or without a display the silent run alone.
#include <QApplication>
#include <QByteArray>
#include <clocale>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/CSyncCommandLineInfo.h"
#include "app/CVudirerAvazApp.h"
#include "app/CVudirerAvazDlg.h"
#include "app/HeadlessSyncRun.h"
#include "app/LocalActions.h"
#include "app/ProgramServices.h"
#include "app/QtConfigurationDialogs.h"
#include "app/QtStartup.h"
#include "engine/CSyncRun.h"
#include "platform/keyring/SecretServiceKeyring.h"
#include "stores/RunStoreFactory.h"
#include "common/BuildInfo.h"
#include "common/Format.h"
#include "common/StringTable.h"
#include "common/TerminalText.h"
#include "common/TextCodec.h"

namespace {

// The arguments in the program's text form (UTF-8), taken before Qt removes the ones it knows.
std::vector<std::string> ProgramArguments(int argc, char** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    std::string text;
    arguments.push_back(LocaleToUtf8(argv[i], text) ? text : std::string(argv[i]));
  }
  return arguments;
}

// Without a display Qt would abort; the offscreen platform lets silent and headless runs start.
void UseOffscreenPlatformWithoutDisplay() {
  if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || qEnvironmentVariableIsSet("DISPLAY") ||
      qEnvironmentVariableIsSet("WAYLAND_DISPLAY")) {
    return;
  }
  qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
}

// The main window from the end of start-up to the end of the program; the exit status of a
// silent start is its run's (as without a display).
int RunMainWindow(CVudirerAvazApp& application, QApplication& qtApplication, ConfigurationDialogs& dialogs,
                  UpdateStarter& updates) {
  CConf& conf = application.Conf();
  RunStoreFactory stores(FolderStoreFromEnvironment());
  MainWindowServices services{stores, updates, nullptr, {}, [&application] { application.LoadLanguage(); },
                              application.ProgramFolder(), {}};
  CVudirerAvazDlg window(conf, dialogs, std::move(services));
  if (!window.Initialize()) return ExitStatusFor(StartupResult::Failed);
  qtApplication.setQuitOnLastWindowClosed(false);
  QObject::connect(&window, &QDialog::finished, &qtApplication, &QApplication::quit);
  window.show();
  if (conf.Silent() && !window.StartSilentRun()) return ExitStatusFor(StartupResult::NeedsUser);
  // A server check that failed has closed the window already.
  if (window.isVisible()) qtApplication.exec();
  return conf.Silent() ? HeadlessSyncRun::ExitStatusOf(window.Run().LastOutcome()) : 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  const std::vector<std::string> arguments = ProgramArguments(argc, argv);
  CSyncCommandLineInfo commandLine;
  commandLine.Parse(arguments);
  if (commandLine.WantsHelp() || commandLine.WantsVersion()) {
    std::cout << (commandLine.WantsHelp() ? CSyncCommandLineInfo::UsageText() : CSyncCommandLineInfo::VersionText());
    return std::cout.flush() ? 0 : 1;
  }
  if (const std::string error = commandLine.ActionError(); !error.empty()) {
    std::cerr << TerminalSafe(FormatText(LoadString(IDS_BAD_COMMAND_LINE), {error})) << '\n' << CSyncCommandLineInfo::UsageText();
    return LocalActions::kBadCommandLine;
  }
  UseOffscreenPlatformWithoutDisplay();
  QApplication qtApplication(argc, argv);

  // Where nobody can answer a window, questions go to stderr with their safe answers.
  // Start-up and the main window share the dialogs and the update starter.
  ProgramUpdateStarter updates;
  std::unique_ptr<ConfigurationDialogs> dialogs;
  std::unique_ptr<StartupInteraction> interaction;
  if (QtStartup::CanShowWindows()) {
    dialogs = MakeProgramDialogs(updates);
    interaction = std::make_unique<QtStartup>(BuildInfo::kProductName, dialogs.get());
  } else {
    interaction = std::make_unique<HeadlessStartup>(std::cerr);
  }

  try {
    SecretServiceKeyring keyring(std::string(BuildInfo::kCompanyName) + "." + BuildInfo::kProductName + ".Password",
                                 BuildInfo::kProductName);
    CVudirerAvazApp application(*interaction, {}, &keyring);
    const StartupResult result = application.InitInstance(arguments);
    const bool action = !commandLine.Action().empty();
    if (action && result == StartupResult::AlreadyRunning) {
      std::cerr << TerminalSafe(FormatText(LoadString(IDS_ANOTHER_INSTANCE), {application.Conf().ProductName()})) << '\n';
    }
    if (result != StartupResult::Ready) return ExitStatusFor(result);
    if (action) {
      RunStoreFactory stores(FolderStoreFromEnvironment());
      return LocalActions(application.Conf(), stores, application.Prompts()).RunCommandLine(commandLine, std::cout, std::cerr);
    }
    if (QtStartup::CanShowWindows()) return RunMainWindow(application, qtApplication, *dialogs, updates);
    if (application.Conf().Silent()) {
      // Without a display (a scheduled start) the silent run needs no window.
      return HeadlessSyncRun(application.Conf(), application.Prompts(), std::cout).Run();
    }
    std::cerr << TerminalSafe(FormatText(LoadString(IDS_MAIN_WINDOW_NOT_AVAILABLE), {application.Conf().ProductName()})) << '\n';
    return ExitStatusFor(StartupResult::NeedsUser);
  } catch (const std::exception& error) {
    std::cerr << BuildInfo::kProductName << ": " << TerminalSafe(error.what()) << '\n';
    return ExitStatusFor(StartupResult::Failed);
  }
}
