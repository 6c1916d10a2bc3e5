// Keyboard mnemonics for menu entries whose texts (from the string tables, in any language) have
// none.
#pragma once

#include <QList>
#include <QStringList>

class QAction;

// `texts` (the entries of one menu or one row of buttons, in order) each with a mnemonic: the
// first letter of one of its words, else any letter or digit of it, not taken by another text of
// the list. A text that has one ("&About %s...") keeps it, and its letter counts as taken. An
// empty text stays empty.
QStringList WithMnemonics(const QStringList& texts);

// WithMnemonics over the texts of `actions`; separators are passed over. Called again after the
// texts change (a new language).
void AssignMnemonics(const QList<QAction*>& actions);
