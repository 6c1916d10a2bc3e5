// The conflict question: which value of an item changed on both sides is kept.
#pragma once

#include <QDialog>

#include "common/Prompt.h"

// Title 201, texts 202, 203, the contact line and 204; buttons "serverButton" (205, the server's
// value), "outlookButton" (206, the local value) and "bothButton" (207, the default: both
// values). Escape or closing the window keeps both.
class CConflictDlg final : public QDialog {
  Q_OBJECT

 public:
  explicit CConflictDlg(const ConflictQuestion& question, QWidget* parent = nullptr);

  // Shows the dialog modally and returns the answer.
  ConflictAnswer AskConflict();

 private:
  void Choose(ConflictAnswer answer);

  ConflictAnswer mAnswer = ConflictAnswer::Both;
};
