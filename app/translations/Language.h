// The language the tool speaks: Hungarian (the design's) or English. The
// texts live in Qt's translation files, one pair per part of the tool; the
// compiled files are embedded, so a copied program speaks both.
#pragma once

#include <QLocale>
#include <QString>

#include <optional>

namespace Language {

enum class TLanguage { Hungarian, English };

// "hu" / "en": what the INI and the records store.
QString Code(TLanguage language);
std::optional<TLanguage> FromCode(const QString &code);
// The language's own name for itself ("Magyar", "English"), as language menus show them.
QString NativeName(TLanguage language);
// Hungarian for a Hungarian locale, English for any other.
TLanguage FromLocale(const QLocale &locale);
// The desktop's language for messages (LANGUAGE, LC_ALL, LC_MESSAGES, LANG on
// Unix; the user's display language on Windows).
TLanguage FromDesktop();
// The locale of that language (what FromDesktop decides by).
QLocale DesktopLocale();

// What Apply() last installed; English before any Apply().
TLanguage Current();
// Installs the language's translations on the application (Qt then sends
// every widget a LanguageChange) and sets the locale numbers are written in:
// English with the decimal point, Hungarian with the desktop's own, as the
// design's window always did. Returns false when a translation file is
// missing from the build (the texts then stay in their source language).
bool Apply(TLanguage language);

// A text in a given language whatever the window speaks (a certificate is
// written in the record's language). n fills "%n" as QObject::tr does.
QString Translate(TLanguage language, const char *context, const char *source, int n = -1);

} // namespace Language
