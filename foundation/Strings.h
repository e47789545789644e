#pragma once

#include <QString>

namespace stowline {

// The numbered string table (resources/strings/*.txt). Every user-visible text comes from here.
QString Str(int id);

// Checks the table once: every file parses and no number is used twice. Returns the problems found.
QStringList stringTableProblems();

} // namespace stowline
