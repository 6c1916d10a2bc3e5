// String-table texts as Qt strings.
#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <cstdint>
#include <string>

#include "common/Format.h"
#include "common/StringTable.h"

inline QString ToQString(const std::string& text) { return QString::fromStdString(text); }

// The text of `id` in the current language.
inline QString TableText(unsigned id) { return ToQString(LoadString(id)); }

// The text of `id` formatted with the product name (titles such as " %s" and "%s Configuration Panel").
inline QString TableText(unsigned id, const std::string& productName) {
  return ToQString(FormatText(LoadString(id), {productName}));
}

// The conventions dates and times are written with for interface language `language`: the
// user's own locale when it is of that language (so an English interface on a British desktop
// writes British dates), else the language's usual ones.
inline QLocale InterfaceLocale(const std::string& language) {
  const QLocale wanted(QString::fromStdString(language.empty() ? std::string("en") : language));
  const QLocale system = QLocale::system();
  return system.language() == wanted.language() ? system : wanted;
}

// A moment (seconds since the epoch) as `locale` writes a short date and time, in local time.
inline std::string LocalTimeText(const QLocale& locale, std::int64_t time) {
  return locale.toString(QDateTime::fromSecsSinceEpoch(time), QLocale::ShortFormat).toStdString();
}
