#include "platform/Paths.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <pwd.h>
#include <unistd.h>

namespace stowline::platform {

QString resolvedPath(const QString& absolutePath) {
    QString existing = QDir::cleanPath(absolutePath);
    QStringList missing;
    while (!QFileInfo::exists(existing) && existing != u"/") {
        missing.prepend(existing.section(u'/', -1));
        existing = existing.section(u'/', 0, -2);
        if (existing.isEmpty())
            existing = QStringLiteral("/");
    }
    QString resolved = QFileInfo(existing).canonicalFilePath();
    if (resolved.isEmpty())
        resolved = existing;
    for (const QString& part : missing)
        resolved += (resolved.endsWith(u'/') ? QString() : QStringLiteral("/")) + part;
    return resolved;
}

QStringList otherUsersHomes() {
    QStringList homes;
    setpwent();
    while (const passwd* account = getpwent()) {
        const QString home = QDir::cleanPath(QFile::decodeName(account->pw_dir));
        if (account->pw_uid != getuid() && home != u"/" && QFileInfo(home).isDir())
            homes << home;
    }
    endpwent();
    return homes;
}

} // namespace stowline::platform
