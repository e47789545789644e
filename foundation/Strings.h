#pragma once

#include <QLocale>
#include <QString>

namespace stowline {

// The numbered string table (resources/strings/*.txt). Every user-visible text comes from here.
QString Str(int id);

// Loads the table's translation for the locale's languages (the system's by default) from the
// compiled-in translations; false, and the English table stays, when there is none.
bool InstallTranslation(const QLocale& locale = QLocale());

// Checks the table once: every file parses and no number is used twice. Returns the problems found.
QStringList stringTableProblems();

} // namespace stowline
