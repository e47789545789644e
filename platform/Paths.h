#pragma once

#include <QString>
#include <QStringList>

namespace stowline::platform {

// The canonical form of the nearest existing ancestor of an absolute path, followed by the parts
// that do not exist yet: symbolic links are resolved, so a link such as ~/store -> /etc shows as /etc.
QString resolvedPath(const QString& absolutePath);

// The existing home folders of the other accounts of this machine, "/" left out.
QStringList otherUsersHomes();

} // namespace stowline::platform
