// The guards' questions as dialogs: what to do instead of a silent slow sync, and whether
// held deletions are carried out.
#pragma once

#include <QString>

#include "common/Prompt.h"

class QWidget;

// The questions' texts in plain words, with the link's name and its item counts.
QString SlowSyncQuestionText(const SlowSyncQuestion& question);
QString MassDeletionQuestionText(const MassDeletionQuestion& question);

// Modal over `parent`, one full-width button per answer. The dialog's object name is
// "guardQuestion", its text's "questionText"; the slow-sync buttons are "mergeButton",
// "refreshFromServerButton", "refreshFromClientButton" and "skipButton", the deletion buttons
// "confirmDeletionsButton", "refuseDeletionsButton" and "holdDeletionsButton". Closed without a
// choice: skip, and hold. Called on the user-interface thread.
SlowSyncAnswer AskSlowSyncQuestion(const SlowSyncQuestion& question, const QString& title, QWidget* parent);
DeletionAnswer AskMassDeletionQuestion(const MassDeletionQuestion& question, const QString& title, QWidget* parent);
