// Entry point of larkspan: Qt set-up, start-up, the silent sync run, and the end of the run while
// the main window is not built.
#include <QApplication>
#include <QByteArray>
#include <clocale>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/CVudirerAvazApp.h"
#include "app/HeadlessSyncRun.h"
#include "app/QtStartup.h"
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

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  const std::vector<std::string> arguments = ProgramArguments(argc, argv);
  UseOffscreenPlatformWithoutDisplay();
  QApplication qtApplication(argc, argv);

  // Where nobody can answer a window, questions go to stderr with their safe answers.
  std::unique_ptr<StartupInteraction> interaction;
  if (QtStartup::CanShowWindows()) {
    interaction = std::make_unique<QtStartup>(BuildInfo::kProductName);
  } else {
    interaction = std::make_unique<HeadlessStartup>(std::cerr);
  }

  try {
    CVudirerAvazApp application(*interaction);
    const StartupResult result = application.InitInstance(arguments);
    if (result == StartupResult::Ready && application.Conf().Silent()) {
      // A silent start runs every link once and ends; it never needs a window.
      return HeadlessSyncRun(application.Conf(), application.Prompts(), std::cout).Run();
    }
    if (result == StartupResult::Ready) {
      std::cerr << TerminalSafe(FormatText(LoadString(IDS_MAIN_WINDOW_NOT_AVAILABLE), {application.Conf().ProductName()})) << '\n';
    }
    return ExitStatusFor(result);
  } catch (const std::exception& error) {
    std::cerr << BuildInfo::kProductName << ": " << TerminalSafe(error.what()) << '\n';
    return ExitStatusFor(StartupResult::Failed);
  }
}
