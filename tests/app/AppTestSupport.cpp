// Shared helpers of the app tests.
#include "tests/app/AppTestSupport.h"

#include <cstdlib>
#include <string_view>

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <thread>

#include "config/CConf.h"

LanguageChoiceResult ScriptedStartup::ChooseLanguage(CConf& conf, const std::string&) {
  ++languageDialogs;
  if (languageResult == LanguageChoiceResult::Accepted && !languageToPick.empty()) conf.SetLanguage(languageToPick);
  return languageResult;
}

std::optional<WizardOutcome> ScriptedStartup::RunWizard(CConf& conf) {
  ++wizardRuns;
  return wizard ? wizard(conf) : std::nullopt;
}

PromptAnswer ScriptedStartup::Recorder::Message(std::string_view text, PromptButtons buttons, PromptKind kind) {
  mOwner.messages.push_back({std::string(text), kind});
  return SafeDefaultAnswer(buttons);
}

TestHome::TestHome() : mXdg("XDG_DATA_HOME", mDir.Path() + "data"), mHome("HOME", mDir.Path() + "home") {
  std::filesystem::create_directories(mDir.Path() + "home");
  std::filesystem::create_directories(ProgramFolder());
}

std::string TestHome::ConfigFolder() const { return mDir.Path() + "data/Tarnwell/QuenorSync/"; }

std::string TestHome::ProgramFolder() const { return mDir.Path() + "program/"; }

void WriteCompleteConfiguration(const TestHome& home, const std::string& language, int appState) {
  CConf conf(home.ConfigFolder());
  conf.Load(true);
  conf.SetLanguage(language);
  conf.SetLogin("user@example.org");
  conf.SetPassword("secret");
  conf.SetRememberPass(true);
  conf.SetUrl("https://sync.example.org/");
  conf.SetSyncWithOutlook(0);
  conf.SetAppState(appState);
  conf.Save();
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

namespace {

// The application of the test program, made on first use and destroyed when the tests end.
class QtTestEnvironment final : public ::testing::Environment {
 public:
  void Start() {
    if (mApplication) return;
    mRuntime = std::make_unique<TempDir>();  // 0700, as Qt wants its runtime folder
    // LARK_TEST_PLATFORM ("xcb") lets a script show the windows on a display of its own; the
    // offscreen platform with options of its own (a screen configuration) is kept.
    const char* chosen = std::getenv("LARK_TEST_PLATFORM");
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (chosen != nullptr && *chosen != '\0') {
      setenv("QT_QPA_PLATFORM", chosen, 1);
    } else if (platform == nullptr || std::string_view(platform).rfind("offscreen", 0) != 0) {
      setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    setenv("XDG_RUNTIME_DIR", mRuntime->Path().c_str(), 1);
    mApplication = std::make_unique<QApplication>(mArgc, mArgv);
  }
  void TearDown() override {
    mApplication.reset();
    mRuntime.reset();
  }

 private:
  int mArgc = 1;
  char mName[9] = "test_app";
  char* mArgv[2] = {mName, nullptr};
  std::unique_ptr<TempDir> mRuntime;
  std::unique_ptr<QApplication> mApplication;
};

QtTestEnvironment* const gQtEnvironment =
    static_cast<QtTestEnvironment*>(::testing::AddGlobalTestEnvironment(new QtTestEnvironment));

}  // namespace

void EnsureQtApplication() { gQtEnvironment->Start(); }

int ModeOf(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return -1;
  return static_cast<int>(info.st_mode & 07777);
}

ModalDriver::ModalDriver(std::function<void(QWidget*)> action)
    : mAction(std::move(action)), mTimer(std::make_unique<QTimer>()) {
  EnsureQtApplication();
  mTimer->setInterval(0);
  QObject::connect(mTimer.get(), &QTimer::timeout, [this] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || mRan) return;
    mRan = true;
    mTimer->stop();
    mAction(modal);
  });
  mTimer->start();
}

ModalDriver::~ModalDriver() = default;
