// Choosing the mnemonic letters of a menu.
#include "app/Mnemonics.h"

#include <QAction>
#include <QSet>
#include <QString>

namespace {

// The letter after a single '&' (a "&&" is a literal ampersand); a null character when none.
QChar MnemonicOf(const QString& text) {
  for (qsizetype at = 0; at + 1 < text.size(); ++at) {
    if (text[at] != u'&') continue;
    if (text[at + 1] == u'&') {
      ++at;
      continue;
    }
    return text[at + 1].toLower();
  }
  return {};
}

// Where the mnemonic of `text` goes: word starts first, then any letter or digit; -1 when every
// one is taken.
qsizetype MnemonicPosition(const QString& text, const QSet<QChar>& taken) {
  for (const bool wordStartsOnly : {true, false}) {
    for (qsizetype at = 0; at < text.size(); ++at) {
      const QChar c = text[at];
      if (!c.isLetterOrNumber() || taken.contains(c.toLower())) continue;
      if (wordStartsOnly && at > 0 && text[at - 1].isLetterOrNumber()) continue;
      return at;
    }
  }
  return -1;
}

}  // namespace

QStringList WithMnemonics(const QStringList& texts) {
  QSet<QChar> taken;
  for (const QString& text : texts) {
    if (const QChar letter = MnemonicOf(text); !letter.isNull()) taken.insert(letter);
  }
  QStringList marked;
  for (QString text : texts) {
    if (MnemonicOf(text).isNull()) {
      if (const qsizetype at = MnemonicPosition(text, taken); at >= 0) {
        taken.insert(text[at].toLower());
        text.insert(at, u'&');
      }
    }
    marked << text;
  }
  return marked;
}

void AssignMnemonics(const QList<QAction*>& actions) {
  QList<QAction*> entries;
  QStringList texts;
  for (QAction* action : actions) {
    if (action->isSeparator()) continue;
    entries << action;
    texts << action->text();
  }
  const QStringList marked = WithMnemonics(texts);
  for (qsizetype i = 0; i < entries.size(); ++i) entries[i]->setText(marked[i]);
}
