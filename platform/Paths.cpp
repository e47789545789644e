#include "platform/Paths.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

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

} // namespace stowline::platform
