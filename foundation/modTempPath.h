#pragma once

#include <QString>

namespace stowline {

// The temporary root, always ending in '/': the custom temp folder when it is switched on and
// exists, else the system temporary folder. "" after a trapped failure.
QString TempDir();
// TempDir() + "stowline": emptied (old contents removed) and created.
void CreateTempFolder();
void DeleteTempFolder();
// Creates the folder and every missing ancestor, outermost first.
void CreateFolder(const QString& path);

// The folder part of a path: "/a/b" and "/a/b/" give "/a"; "/" and a name without '/' give "".
QString ParentFolderName(const QString& path);

} // namespace stowline
