#include "restore/RestoreUndo.h"

#include "foundation/RegFile.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "platform/FileCalls.h"
#include "platform/Platform.h"
#include "platform/PrivateFiles.h"
#include "platform/RunLedger.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace stowline {

namespace {

const QString kJournalFile = QStringLiteral("journal.txt");
const QString kHive = QStringLiteral("HKEY_CURRENT_USER\\");

QString field(const QString& text) { return QString::fromLatin1(QUrl::toPercentEncoding(text, "/ ")); }
QString unfield(const QString& text) { return QUrl::fromPercentEncoding(text.toLatin1()); }

QByteArray native(const QString& path) { return QFile::encodeName(path); }

// The path itself, a link not followed.
bool present(const QString& path) {
    struct stat info {};
    return lstat(native(path).constData(), &info) == 0;
}

bool isRealFolder(const QString& path) {
    struct stat info {};
    return lstat(native(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

void removePath(const QString& path) {
    if (isRealFolder(path)) {
        if (!QDir(path).removeRecursively())
            RaiseOsError(EACCES);
    } else if (present(path) && unlink(native(path).constData()) != 0) {
        RaiseOsError(errno);
    }
}

// Only where a rename cannot go: another file system.
void copyTree(const QString& from, const QString& to) {
    if (!isRealFolder(from)) {
        if (!QFile::copy(from, to))
            RaiseOsError(EIO);
        return;
    }
    if (platform::makeFolder(native(to).constData(), 0700) != 0)
        RaiseOsError(errno, true);
    const QStringList names =
        QDir(from).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names)
        copyTree(from + u'/' + name, to + u'/' + name);
}

void moveTo(const QString& from, const QString& to) {
    if (platform::renameFile(native(from).constData(), native(to).constData()) == 0)
        return;
    if (errno != EXDEV)
        RaiseOsError(errno);
    copyTree(from, to);
    removePath(from);
}

// The first part of path (below its existing parents) that is missing.
QString outermostMissing(const QString& path) {
    QString missing = path;
    for (QString parent = QFileInfo(missing).path(); parent != missing && !present(parent);
         parent = QFileInfo(parent).path())
        missing = parent;
    return missing;
}

QString outermostMissingKey(platform::Registry& registry, const QString& key) {
    QString missing = key;
    for (qsizetype cut = missing.lastIndexOf(u'\\'); cut > 0; cut = missing.lastIndexOf(u'\\')) {
        if (registry.keyExists(platform::Hive::CurrentUser, missing.left(cut)))
            break;
        missing = missing.left(cut);
    }
    return missing;
}

struct Entry {
    QString kind;
    QString path;
    QString kept;
};

QList<Entry> readJournal() {
    QFile file(UndoFolder() + u'/' + kJournalFile);
    QList<Entry> entries;
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        line.chop(line.endsWith('\n') ? 1 : 0);
        const QList<QByteArray> parts = line.split('\t');
        if (parts.size() == 3)
            entries << Entry{QString::fromLatin1(parts[0]), unfield(QString::fromLatin1(parts[1])),
                             QString::fromLatin1(parts[2])};
    }
    return entries;
}

void putKeyBack(const Entry& entry) {
    platform::Registry& registry = platform::registry();
    registry.write([&] { registry.deleteKey(platform::Hive::CurrentUser, entry.path); });
    if (entry.kind == u"key")
        importRegFile(registry, UndoFolder() + u'/' + entry.kept, [](int, const QString&) {});
}

void putBack(const Entry& entry) {
    if (entry.kind == u"key" || entry.kind == u"nokey") {
        putKeyBack(entry);
    } else if (entry.kind == u"moved" && present(UndoFolder() + u'/' + entry.kept)) {
        removePath(entry.path);
        moveTo(UndoFolder() + u'/' + entry.kept, entry.path);
    } else if (entry.kind == u"added") {
        removePath(entry.path);
    } else if (entry.kind == u"emptied" && !isRealFolder(entry.path)) {
        if (platform::makeFolder(native(entry.path).constData(), 0777) != 0)
            RaiseOsError(errno, true);
    }
}

void replay(const QList<Entry>& entries) {
    for (auto it = entries.crbegin(); it != entries.crend(); ++it)
        putBack(*it);
    QDir(UndoFolder()).removeRecursively();
}

} // namespace

QString UndoFolder() { return QFileInfo(platform::runLedgerPath()).path() + QStringLiteral("/last-restore"); }

RestoreJournal& restoreJournal() {
    static RestoreJournal journal;
    return journal;
}

// Deleting many files takes a minute on a busy disk: the last restore's journal is renamed out of
// the way at once and removed by a process of its own, which the user's does not wait for. It starts
// when this restore has ended: beside it, the deletion slowed each of its registry syncs tenfold.
namespace {

QString droppedPrefix() { return UndoFolder() + QStringLiteral(".dropped"); }

bool dropAside(const QString& folder) {
    const QString aside = droppedPrefix() + u'-' + QString::number(QDateTime::currentMSecsSinceEpoch());
    return ::rename(native(folder).constData(), native(aside).constData()) == 0 ||
           QDir(folder).removeRecursively();
}

// What an earlier removal left, cut short with the machine, goes too.
void removeDropped() {
    const QFileInfo prefix(droppedPrefix());
    const QDir state = prefix.dir();
    QStringList dropped;
    for (const QString& name : state.entryList({prefix.fileName() + u'*'}, QDir::AllEntries | QDir::Hidden))
        dropped << state.filePath(name);
    if (!dropped.isEmpty())
        platform::removeTreesInBackground(dropped);
}

} // namespace

bool RestoreJournal::begin() {
    const QString folder = UndoFolder();
    closeJournal();
    m_active = false;
    m_count = 0;
    m_recorded = false;
    if (present(folder) && !dropAside(folder))
        return false;
    if (!QDir().mkpath(QFileInfo(folder).path()) || platform::makePrivateFolder(folder) != 0)
        return false;
    m_active = true;
    return true;
}

void RestoreJournal::record(const QString& kind, const QString& path, const QString& kept) {
    m_recorded = true;
    const QByteArray line = (kind + u'\t' + field(path) + u'\t' + kept + u'\n').toLatin1();
    if (m_journalFd < 0)
        m_journalFd = platform::openPrivateFile(UndoFolder() + u'/' + kJournalFile, true);
    if (m_journalFd < 0)
        RaiseOsError(errno);
    if (platform::writeFile(m_journalFd, line.constData(), line.size()) != line.size())
        RaiseOsError(errno);
}

void RestoreJournal::closeJournal() {
    if (m_journalFd >= 0)
        ::close(std::exchange(m_journalFd, -1));
}

void RestoreJournal::finish() {
    m_active = false;
    closeJournal();
    removeDropped();
}

QString RestoreJournal::nextAsideName() { return QString::number(++m_count); }

void RestoreJournal::keepKey(const QString& key) {
    platform::Registry& registry = platform::registry();
    if (!registry.keyExists(platform::Hive::CurrentUser, key)) {
        record(QStringLiteral("nokey"), outermostMissingKey(registry, key));
        return;
    }
    const QString kept = nextAsideName() + QStringLiteral(".reg");
    exportRegFile(registry, UndoFolder() + u'/' + kept, kHive + key, RegFileFormat::Version5);
    record(QStringLiteral("key"), key, kept);
}

void RestoreJournal::keepFiles(const QString& target, const QStringList& names) {
    const QString folder = QDir::cleanPath(target);
    if (!present(folder)) {
        record(QStringLiteral("added"), outermostMissing(folder));
        return;
    }
    QSet<QString> seen;
    QSet<QString> addedFolders; // what lies below one goes with it: not looked up, not recorded
    for (const QString& name : names) {
        const QStringList parts = QString(name).replace(u'\\', u'/').split(u'/', Qt::SkipEmptyParts);
        QString path = folder;
        for (qsizetype i = 0; i < parts.size(); ++i) {
            path += u'/' + parts[i];
            if (addedFolders.contains(path))
                break;
            if (seen.contains(path))
                continue;
            seen.insert(path);
            const bool last = i == parts.size() - 1;
            if (!present(path)) {
                record(QStringLiteral("added"), path);
                if (!last || name.endsWith(u'/') || name.endsWith(u'\\'))
                    addedFolders.insert(path);
                break;
            }
            // A folder member meets a folder: nothing of it is replaced.
            if (last && !(name.endsWith(u'/') && isRealFolder(path)))
                moveAside(path);
        }
    }
}

void RestoreJournal::moveAside(const QString& path) {
    const QString kept = nextAsideName();
    record(QStringLiteral("moved"), path, kept);
    moveTo(path, UndoFolder() + u'/' + kept);
}

void RestoreJournal::keepEmptiedFolder(const QString& path) { record(QStringLiteral("emptied"), path); }

void RestoreJournal::rollBack() {
    if (!m_active)
        return;
    m_active = false;
    m_recorded = false;
    closeJournal();
    replay(readJournal());
    removeDropped();
}

qint64 UndoDataSize() {
    const QString folder = UndoFolder();
    if (!isRealFolder(folder + u'/'))
        return -1;
    qint64 size = 0;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        size += it.nextFileInfo().size();
    return size;
}

QString UndoLastRestore() {
    const QList<Entry> entries = readJournal();
    if (entries.isEmpty() && !present(UndoFolder() + u'/' + kJournalFile))
        return Str(txtNothingToUndo);
    try {
        replay(entries);
    } catch (const VbError& error) {
        return error.description();
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

} // namespace stowline
