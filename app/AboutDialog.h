// The About box: product name, version and legal notice of the program's version texts.
#pragma once

#include <QDialog>
#include <string>

// Title string 173 and text string 174 with the product name, the version and the legal notice;
// the logo beside the text. The text label is named "aboutText", the button "okButton".
class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  AboutDialog(const std::string& productName, const std::string& version, const std::string& legalNotice,
              QWidget* parent = nullptr);
};
