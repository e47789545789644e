#include "platform/PathMapper.h"

#include "platform/Paths.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

namespace stowline::platform {

namespace {

constexpr int MaxExpansions = 8; // %A% = %B%... nests only this deep

bool isDriveLetter(QChar c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

bool startsWithDrive(const QString& path) {
    return path.size() >= 2 && isDriveLetter(path[0]) && path[1] == u':' &&
           (path.size() == 2 || path[2] == u'\\' || path[2] == u'/');
}

// The entry of folder named like part without regard to case; part itself when none is.
QString onDisk(const QString& folder, const QString& part) {
    if (QFileInfo::exists(folder + u'/' + part))
        return part;
    const QStringList entries =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries)
        if (entry.compare(part, Qt::CaseInsensitive) == 0)
            return entry;
    return part;
}

QString joinLocal(const QString& folder, const QString& rest) {
    return folder.endsWith(u'/') ? QString(folder + rest) : QString(folder + u'/' + rest);
}

std::optional<QString> relativeTo(const QString& path, const QString& root) {
    const QString cleanRoot = QDir::cleanPath(root);
    if (path == cleanRoot)
        return QString();
    const QString withSlash = cleanRoot.endsWith(u'/') ? cleanRoot : cleanRoot + u'/';
    if (path.startsWith(withSlash))
        return path.mid(withSlash.size());
    return std::nullopt;
}

} // namespace

PathMapper PathMapper::native() {
    PathMapper mapper;
    mapper.m_native = true;
    return mapper;
}

void PathMapper::addDrive(QChar letter, const QString& folder) { m_drives.insert(letter.toUpper(), folder); }

void PathMapper::setVariable(const QString& name, const QString& value) {
    m_variables.insert(name.toUpper(), value);
}

std::optional<QString> PathMapper::expand(const QString& recorded) const {
    QString text = recorded;
    for (int round = 0; round < MaxExpansions && text.contains(u'%'); ++round) {
        QString out;
        qsizetype i = 0;
        while (i < text.size()) {
            const qsizetype open = text.indexOf(u'%', i);
            const qsizetype close = open < 0 ? -1 : text.indexOf(u'%', open + 1);
            if (close < 0) {
                out += text.mid(i);
                break;
            }
            const QString name = text.mid(open + 1, close - open - 1).toUpper();
            const auto found = m_variables.constFind(name);
            if (found == m_variables.constEnd())
                return std::nullopt;
            out += text.mid(i, open - i) + *found;
            i = close + 1;
        }
        text = out;
    }
    return text.contains(u'%') ? std::nullopt : std::optional<QString>(text);
}

std::optional<QString> PathMapper::toLocal(const QString& recorded) const {
    if (m_native)
        return recorded.startsWith(u'/') ? std::optional<QString>(QDir::cleanPath(recorded)) : std::nullopt;
    const auto expanded = expand(recorded.trimmed());
    if (!expanded || !startsWithDrive(*expanded))
        return std::nullopt;
    const auto drive = m_drives.constFind(expanded->at(0).toUpper());
    if (drive == m_drives.constEnd())
        return std::nullopt;
    QString local = QDir::cleanPath(*drive);
    QStringList parts;
    for (const QString& part :
         expanded->mid(2).split(QRegularExpression(QStringLiteral("[\\\\/]")), Qt::SkipEmptyParts)) {
        if (part == u".")
            continue;
        if (part == u"..") {
            if (!parts.isEmpty())
                parts.removeLast();
            continue;
        }
        parts << part;
    }
    for (const QString& part : parts)
        local = joinLocal(local, onDisk(local, part));
    return local;
}

std::optional<QString> PathMapper::toRecorded(const QString& local) const {
    if (m_native)
        return local;
    if (!local.startsWith(u'/'))
        return std::nullopt;
    const QString path = QDir::cleanPath(local);
    // The drive whose folder holds the path most closely: C: before Z: for a file in drive_c.
    for (const bool resolved : {false, true}) {
        const QString probe = resolved ? resolvedPath(path) : path;
        std::optional<QPair<QChar, QString>> best;
        qsizetype bestLength = -1;
        for (auto it = m_drives.constBegin(); it != m_drives.constEnd(); ++it) {
            const QString root = resolved ? resolvedPath(it.value()) : QDir::cleanPath(it.value());
            const auto rest = relativeTo(probe, root);
            if (rest && root.size() > bestLength) {
                bestLength = root.size();
                best = qMakePair(it.key(), *rest);
            }
        }
        if (best)
            return QString(best->first) + QStringLiteral(":\\") + QString(best->second).replace(u'/', u'\\');
    }
    return std::nullopt;
}

QString PathMapper::driveList() const {
    QStringList entries;
    for (auto it = m_drives.constBegin(); it != m_drives.constEnd(); ++it)
        entries << QString(it.key()) + QStringLiteral(": = ") + it.value();
    return entries.join(QStringLiteral(", "));
}

} // namespace stowline::platform
