// The conflict question: which version of an item changed on both sides is kept.
#pragma once

#include <QDialog>

#include "common/Prompt.h"

// Title 201; text 202 naming the server; the item line "contactLabel" under 203 (a contact) or
// "Subject" (an event or task); the fields that differ in "fieldsTable" (field, the value on this
// computer, the value on the server), or "serverVersionUnknown" when the server did not send its
// version; 204; buttons "serverButton" (205, the server's version), "outlookButton" (206, this
// computer's) and "bothButton" (207, the default: keep both). Escape or closing the window keeps
// both.
class CConflictDlg final : public QDialog {
  Q_OBJECT

 public:
  explicit CConflictDlg(const ConflictQuestion& question, QWidget* parent = nullptr);

  // Shows the dialog modally and returns the answer.
  ConflictAnswer AskConflict();

  // The label of a field of the question (a record key or a group of keys); the key itself for one
  // without a label.
  static QString FieldLabel(const std::string& key);

 private:
  void Choose(ConflictAnswer answer);

  ConflictAnswer mAnswer = ConflictAnswer::Both;
};
