// The e-mail type question: which addresses of a contact are business ones.
#pragma once

#include <QDialog>
#include <optional>
#include <vector>

#include "common/Prompt.h"

class QButtonGroup;
class QListWidget;

// Title 208, the header (111 and the contact), text 209, "emailList" with one check row per
// non-empty address (checked for "W"), the group "Other contacts " (210) with "askRadio" (211,
// preselected), "personalRadio" (212) and "businessRadio" (213), and "okButton", "cancelButton"
// (218).
class CEmailListDlg final : public QDialog {
  Q_OBJECT

 public:
  explicit CEmailListDlg(const EmailTypesQuestion& question, QWidget* parent = nullptr);

  // The header: string 111, "\r\n\r\n\t", the display name, and " [ " nickname " ]" when there
  // is a nickname.
  static std::string HeaderText(const EmailTypesQuestion& question);

  // Shows the dialog modally. OK: each shown address becomes "W" when checked, else "H" (the
  // others keep their types), with the chosen mode for the other contacts; Cancel: std::nullopt.
  std::optional<EmailTypesAnswer> AskEmailTypes();

 private:
  EmailTypesQuestion mQuestion;
  std::vector<std::size_t> mRowAddress;  // the address index each row shows
  QListWidget* mList;
  QButtonGroup* mOtherContacts;
};
