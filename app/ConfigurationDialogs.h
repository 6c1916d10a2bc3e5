// The configuration dialogs as the main window and start-up open them: the wizard and the options.
#pragma once

class CConf;
class QWidget;

// How the configuration wizard ended.
enum class WizardOutcome {
  Finished,       // Finish: the configuration was saved
  Cancelled,      // Cancel: the configuration was reloaded from its file
  UpdateStarted,  // the connection page started an update (app_state 1): the program must close
};

// Implemented by the Qt dialogs; the main window and start-up hold it by reference and never
// know the dialogs themselves.
class ConfigurationDialogs {
 public:
  virtual ~ConfigurationDialogs() = default;

  // Runs the configuration wizard modally over `conf`, titled with string 170.
  virtual WizardOutcome RunWizard(CConf& conf, QWidget* parent) = 0;

  // Runs the options dialog modally; true when OK stored and saved its values (and applied the
  // schedule), false on Cancel.
  virtual bool RunOptions(CConf& conf, QWidget* parent) = 0;

  // Runs the connection dialog modally; true when OK stored and saved the address and the
  // credentials, false on Cancel.
  virtual bool RunConnection(CConf& conf, QWidget* parent) = 0;
};
