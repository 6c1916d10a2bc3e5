// The language dialog: a drop-down of the interface languages the program offers.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "app/LanguageFiles.h"

class CConf;
class QComboBox;

// Title string 170 with the product name, label 192, a drop-down of ListLanguages() (object name
// "languageCombo") preselecting the configured language ("en" otherwise), buttons OK ("okButton")
// and Cancel (218, "cancelButton"). On OK a selected code that differs from the configured one
// becomes the configured language (`conf` is not saved). `conf` must outlive the dialog.
class CLangDlg : public QDialog {
  Q_OBJECT

 public:
  CLangDlg(CConf& conf, const std::string& programFolder, QWidget* parent = nullptr);

  // The entries in list order, and the code of the current selection.
  const std::vector<LanguageChoice>& Choices() const { return mChoices; }
  std::string SelectedCode() const;

  void accept() override;

 private:
  CConf& mConf;
  std::vector<LanguageChoice> mChoices;
  QComboBox* mCombo;
};
