#pragma once

#include <QString>

namespace stowline {

class Questions;

// The temporary root, always ending in '/': the custom temp folder when it is switched on and
// exists, else this user's own folder in the system temporary folder. "" after a trapped failure.
QString TempDir();
// TempDir() + "stowline": emptied (old contents removed) and created, private to this user. False
// when it was not: a failure went to the error trap, or the place is not the user's alone (then
// nothing is written, and ask tells the path).
bool CreateTempFolder(Questions& ask);
// Removes the workspace; anything at its name that this user did not make there is left alone.
void DeleteTempFolder();
// Creates the folder and every missing ancestor, outermost first, each private to this user.
void CreateFolder(const QString& path);

// The folder part of a path: "/a/b" and "/a/b/" give "/a"; "/" and a name without '/' give "".
QString ParentFolderName(const QString& path);

} // namespace stowline
