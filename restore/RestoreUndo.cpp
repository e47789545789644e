#include "restore/RestoreUndo.h"

#include "foundation/RegFile.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "platform/FileAccess.h"
#include "platform/FileCalls.h"
#include "platform/Platform.h"
#include "platform/PrivateFiles.h"
#include "platform/RegistrySource.h"
#include "platform/RunLedger.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QUrl>
#include <algorithm>
#include <cerrno>

namespace stowline {

namespace {

const QString kJournalFile = QStringLiteral("journal.txt");
const QString kHive = QStringLiteral("HKEY_CURRENT_USER\\");
// The first line of every journal; one without it was written before journals named their source.
const QByteArray kFormatLine = "stowline-journal\t2\n";
// Files up to this size are also compared by content: a hash of them costs next to nothing.
constexpr qint64 kHashedSize = 64 * 1024;

QString field(const QString& text) { return QString::fromLatin1(QUrl::toPercentEncoding(text, "/ ")); }
QString unfield(const QByteArray& text) { return QUrl::fromPercentEncoding(text); }

QByteArray native(const QString& path) { return QFile::encodeName(path); }

QString journalPath() { return UndoFolder() + u'/' + kJournalFile; }
QString stateFolder() { return QFileInfo(platform::runLedgerPath()).path(); }

// The path itself, a link not followed.
bool present(const QString& path) { return platform::statusOfEntry(native(path).constData()).has_value(); }

bool isRealFolder(const QString& path) {
    const auto info = platform::statusOfEntry(native(path).constData());
    return info && info->isFolder();
}

void removePath(const QString& path) {
    if (isRealFolder(path)) {
        if (!QDir(path).removeRecursively())
            RaiseOsError(EACCES);
    } else if (present(path) && platform::removeFile(native(path).constData()) != 0) {
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

// What stands at a path, told apart from anything written there later: the kind, inode, size and
// both times (no program sets the change time), and for a small file a hash of its bytes.
QString fingerprint(const QString& path) {
    const auto info = platform::statusOfEntry(native(path).constData());
    if (!info)
        return {};
    const auto nanoseconds = [](const timespec& time) {
        return qint64(time.tv_sec) * 1000000000 + time.tv_nsec;
    };
    QString print = QStringLiteral("%1 %2 %3 %4 %5")
                        .arg(QLatin1Char(info->isFolder() ? 'd'
                                         : info->isLink() ? 'l'
                                                          : 'f'))
                        .arg(info->inode)
                        .arg(info->size)
                        .arg(nanoseconds(info->modified))
                        .arg(nanoseconds(info->changed));
    if (info->isRegular() && info->size <= kHashedSize) {
        QFile file(path);
        QCryptographicHash hash(QCryptographicHash::Sha1);
        if (file.open(QIODevice::ReadOnly) && hash.addData(&file))
            print += u' ' + QString::fromLatin1(hash.result().toHex());
    }
    return print;
}

// The path and everything below it (links not followed), deepest last.
QStringList pathsBelow(const QString& path) {
    QStringList paths{path};
    if (!isRealFolder(path))
        return paths;
    QDirIterator it(path, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths << it.next();
    return paths;
}

struct Entry {
    QString kind;
    QString path;
    QString kept;
    int unitDepth = 0;
};

struct Journal {
    bool exists = false;
    bool newFormat = false;
    QString sourceId;
    QString sourceText;
    QString drives;
    QList<Entry> entries;
    QHash<QString, QString> left; // path -> fingerprint, as the finished restore left it
    QHash<int, QString> leftKeys; // entry -> export of the key as the restore left it ("" missing)
    bool finished = false;
    bool undoBegun = false;
    QSet<int> cleared; // entries whose restored files are removed
    QSet<int> done;    // entries put back
    QStringList kept;  // summary lines of what was kept
    bool compares() const { return finished; }
    bool unfinished() const { return exists && newFormat && (!finished || undoBegun); }
};

Journal readJournal() {
    Journal journal;
    QFile file(journalPath());
    if (!file.open(QIODevice::ReadOnly))
        return journal;
    journal.exists = true;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        if (!line.endsWith('\n'))
            break; // cut short by a kill: never acted on
        line.chop(1);
        if (line + '\n' == kFormatLine) {
            journal.newFormat = true;
            continue;
        }
        const QList<QByteArray> parts = line.split('\t');
        const QByteArray& kind = parts[0];
        const auto part = [&](int i) { return i < parts.size() ? unfield(parts[i]) : QString(); };
        if (kind == "source") {
            journal.sourceId = part(1);
            journal.sourceText = part(2);
            journal.drives = part(3);
        } else if (kind == "key" || kind == "nokey" || kind == "moved" || kind == "added" ||
                   kind == "emptied") {
            journal.entries << Entry{QString::fromLatin1(kind), part(1), part(2), part(3).toInt()};
        } else if (kind == "left") {
            journal.left.insert(part(1), part(2));
        } else if (kind == "leftkey") {
            journal.leftKeys.insert(part(1).toInt(), part(2));
        } else if (kind == "finished") {
            journal.finished = true;
        } else if (kind == "undo") {
            journal.undoBegun = true;
        } else if (kind == "cleared") {
            journal.cleared.insert(part(1).toInt());
        } else if (kind == "done") {
            journal.done.insert(part(1).toInt());
        } else if (kind == "kept") {
            journal.kept << part(1);
        }
    }
    journal.kept.removeDuplicates(); // a step cut short and made again notes its paths again
    // Written before the restore named its source or the state it left: nothing can be compared,
    // so whatever stands at a path now is kept.
    if (!journal.newFormat)
        journal.finished = true;
    return journal;
}

QString line(std::initializer_list<QString> fields) {
    QStringList parts;
    for (const QString& text : fields)
        parts << field(text);
    return parts.join(u'\t') + u'\n';
}

// Appended and synced: once this returns, a run cut short afterwards finds the line.
void appendDurably(const QByteArray& text) {
    const int fd = platform::openPrivateFile(journalPath(), true);
    if (fd < 0)
        RaiseOsError(errno);
    const bool written =
        platform::writeFile(fd, text.constData(), text.size()) == text.size() && platform::syncFile(fd) == 0;
    const int error = errno;
    platform::closeFile(fd);
    if (!written)
        RaiseOsError(error);
}

void note(std::initializer_list<QString> fields) { appendDurably(line(fields).toUtf8()); }

QString sourceId() {
    const platform::RegistrySource source = platform::registrySource();
    const QString location = QFileInfo(source.location).absoluteFilePath();
    return QString::number(int(source.kind)) + u' ' + location + u' ' + source.windowsRoot;
}

// "Inbox (before restore).dbx", or with a number when that is taken too.
QString besideName(const QString& path) {
    const QFileInfo info(path);
    const QString base = info.completeBaseName().isEmpty() ? info.fileName() : info.completeBaseName();
    const QString suffix =
        info.completeBaseName().isEmpty() || info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    for (int n = 1;; ++n) {
        const QString mark =
            n == 1 ? Str(txtBeforeRestore) : Str(txtBeforeRestore) + u' ' + QString::number(n);
        const QString candidate = info.path() + u'/' + base + QStringLiteral(" (") + mark + u')' + suffix;
        if (!present(candidate))
            return candidate;
    }
}

// ---- the registry ---------------------------------------------------------------------------------

struct KeyNode {
    QString path;
    QList<platform::RegistryValue> values;
};
using KeyTree = QMap<QString, KeyNode>; // by upper-case path

KeyTree treeFromFile(const QString& regFile) {
    KeyTree tree;
    QFile file(regFile);
    if (regFile.isEmpty() || !file.open(QIODevice::ReadOnly))
        return tree;
    parseRegFile(
        file,
        [&](const RegFileOp& op) {
            if (op.hive != platform::Hive::CurrentUser)
                return;
            KeyNode& node = tree[op.path.toUpper()];
            node.path = op.path;
            if (op.kind == RegFileOp::SetValue)
                node.values << op.value;
        },
        [](int, const QString&) {});
    return tree;
}

KeyTree treeFromRegistry(platform::Registry& registry, const QString& root) {
    KeyTree tree;
    registry.read([&] {
        if (!registry.keyExists(platform::Hive::CurrentUser, root))
            return;
        QStringList waiting{root};
        while (!waiting.isEmpty()) {
            const QString path = waiting.takeLast();
            tree.insert(path.toUpper(), {path, registry.values(platform::Hive::CurrentUser, path)});
            for (const QString& sub : registry.subKeys(platform::Hive::CurrentUser, path))
                waiting << path + u'\\' + sub;
        }
    });
    return tree;
}

// The unit a key belongs to: the key unitDepth levels below root with all below it ("T"), or above
// that depth, the key's own values ("V").
QString unitOf(const QString& upperPath, const QString& upperRoot, int depth) {
    const QStringList parts = upperPath.mid(upperRoot.size() + 1).split(u'\\', Qt::SkipEmptyParts);
    if (parts.size() < depth)
        return u'V' + upperPath;
    return u'T' + upperRoot + (depth ? u'\\' + parts.mid(0, depth).join(u'\\') : QString());
}

QMap<QString, QByteArray> unitsOf(const KeyTree& tree, const QString& root, int depth) {
    QMap<QString, QByteArray> units;
    const QString upperRoot = root.toUpper();
    for (auto it = tree.constBegin(); it != tree.constEnd(); ++it) {
        if (it.key() != upperRoot && !it.key().startsWith(upperRoot + u'\\'))
            continue;
        QList<platform::RegistryValue> values = it->values;
        std::sort(values.begin(), values.end(),
                  [](const auto& a, const auto& b) { return a.name.toUpper() < b.name.toUpper(); });
        QByteArray& content = units[unitOf(it.key(), upperRoot, depth)];
        content += it.key().toUtf8() + '\n';
        for (const platform::RegistryValue& value : values)
            content += value.name.toUpper().toUtf8() + '\1' + QByteArray::number(value.type) + '\1' +
                       value.data.toHex() + '\n';
    }
    return units;
}

// The key's name in the letter case it has.
QString pathAsNamed(const QString& upper, const KeyTree& now, const KeyTree& before) {
    for (const KeyTree* tree : {&now, &before})
        if (const auto found = tree->constFind(upper); found != tree->constEnd())
            return found->path;
    return upper;
}

// Makes the unit as it was before the restore; inside the caller's transaction.
void putUnitBack(platform::Registry& registry, const QString& unit, const KeyTree& before,
                 const KeyTree& now) {
    using platform::Hive;
    const QString upper = unit.mid(1);
    if (unit.startsWith(u'T')) {
        registry.deleteKey(Hive::CurrentUser, upper); // names compare ignoring case
        for (auto it = before.constBegin(); it != before.constEnd(); ++it) {
            if (it.key() != upper && !it.key().startsWith(upper + u'\\'))
                continue;
            registry.createKey(Hive::CurrentUser, it->path);
            for (const platform::RegistryValue& value : it->values)
                registry.setValue(Hive::CurrentUser, it->path, value);
        }
        return;
    }
    if (const auto current = now.constFind(upper); current != now.constEnd())
        for (const platform::RegistryValue& value : current->values)
            registry.deleteValue(Hive::CurrentUser, current->path, value.name);
    if (const auto old = before.constFind(upper); old != before.constEnd()) {
        registry.createKey(Hive::CurrentUser, old->path);
        for (const platform::RegistryValue& value : old->values)
            registry.setValue(Hive::CurrentUser, old->path, value);
    } else if (const auto current = now.constFind(upper);
               current != now.constEnd() && registry.subKeyCount(Hive::CurrentUser, current->path) == 0) {
        registry.deleteKey(Hive::CurrentUser, current->path);
    }
}

// A copy of the whole key from before the restore, for the person to take from what they need.
QString copyBeside(const QString& keptFile, const QString& key) {
    const QString copy = besideName(stateFolder() + u'/' + key.section(u'\\', -1) + QStringLiteral(".reg"));
    if (!QFile::copy(UndoFolder() + u'/' + keptFile, copy))
        RaiseOsError(EIO);
    return copy;
}

// Each identity or account changed since the restore is kept as it is now; the rest is put back,
// all in one transaction.
void putKeyBack(const Journal& journal, int index) {
    const Entry& entry = journal.entries[index];
    platform::Registry& registry = platform::registry();
    const KeyTree before = entry.kind == u"key" ? treeFromFile(UndoFolder() + u'/' + entry.kept) : KeyTree();
    const KeyTree left =
        journal.compares() ? treeFromFile(UndoFolder() + u'/' + journal.leftKeys.value(index)) : KeyTree();
    const KeyTree now = treeFromRegistry(registry, entry.path);
    const auto beforeUnits = unitsOf(before, entry.path, entry.unitDepth);
    const auto leftUnits = unitsOf(left, entry.path, entry.unitDepth);
    const auto nowUnits = unitsOf(now, entry.path, entry.unitDepth);
    QStringList units = beforeUnits.keys() + nowUnits.keys();
    std::sort(units.begin(), units.end(), [](const QString& a, const QString& b) {
        // Whole keys first, then values deepest first, so that an emptied key can go.
        if (a[0] != b[0])
            return a[0] == u'T';
        return a.size() != b.size() ? a.size() > b.size() : a < b;
    });
    units.erase(std::unique(units.begin(), units.end()), units.end());
    QStringList changed;
    registry.write([&] {
        for (const QString& unit : units) {
            const QByteArray current = nowUnits.value(unit);
            if (current == beforeUnits.value(unit))
                continue;
            if (journal.compares() && current != leftUnits.value(unit)) {
                changed << kHive + pathAsNamed(unit.mid(1), now, before);
                continue;
            }
            putUnitBack(registry, unit, before, now);
        }
    });
    const QString copy =
        changed.isEmpty() || entry.kind != u"key" ? QString() : copyBeside(entry.kept, entry.path);
    for (const QString& key : changed)
        note({QStringLiteral("kept"),
              copy.isEmpty() ? key : key + u'\r' + Str(txtBeforeRestoreAt) + u' ' + copy});
}

// ---- files ----------------------------------------------------------------------------------------

// Deepest first, so that a folder's contents come before it.
QStringList deepestFirst(QStringList paths) {
    std::stable_sort(paths.begin(), paths.end(),
                     [](const QString& a, const QString& b) { return a.count(u'/') > b.count(u'/'); });
    return paths;
}

void removeEmptyFolders(const QString& path) {
    for (const QString& each : deepestFirst(pathsBelow(path)))
        if (isRealFolder(each))
            platform::removeEmptyFolder(native(each).constData());
}

// Removes what the restore left below path and is still as it left it; what changed since stays.
void clearWhatTheRestoreLeft(const Journal& journal, const QString& path) {
    for (const QString& each : deepestFirst(pathsBelow(path))) {
        if (!present(each))
            continue;
        if (isRealFolder(each)) {
            // A folder goes when it was the restore's and nothing is left in it.
            if (!journal.compares() || journal.left.contains(each))
                platform::removeEmptyFolder(native(each).constData());
        } else if (!journal.compares() || journal.left.value(each) == fingerprint(each)) {
            if (platform::removeFile(native(each).constData()) != 0)
                RaiseOsError(errno);
        } else {
            note({QStringLiteral("kept"), each});
        }
    }
}

// Moves what was kept to its place; where something changed since stands there, beside it.
void putKeptBack(const QString& kept, const QString& target) {
    QList<std::pair<QString, QString>> waiting{{kept, target}};
    while (!waiting.isEmpty()) {
        const auto [from, to] = waiting.takeLast();
        if (!present(from))
            continue;
        if (!present(to)) {
            moveTo(from, to);
        } else if (isRealFolder(from) && isRealFolder(to)) {
            const QStringList names =
                QDir(from).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
            for (const QString& name : names)
                waiting << std::pair{from + u'/' + name, to + u'/' + name};
            continue;
        } else {
            const QString beside = besideName(to);
            note({QStringLiteral("kept"), to + u'\r' + Str(txtBeforeRestoreAt) + u' ' + beside});
            moveTo(from, beside);
        }
    }
    removeEmptyFolders(kept); // merged into their places
}

void putBack(const Journal& journal, int index) {
    const Entry& entry = journal.entries[index];
    if (entry.kind == u"key" || entry.kind == u"nokey") {
        putKeyBack(journal, index);
        return;
    }
    const QString kept = UndoFolder() + u'/' + entry.kept;
    // A move the restore never made (or an undo already made) leaves nothing to clear.
    if (entry.kind == u"emptied") {
        if (!isRealFolder(entry.path) && platform::makeFolder(native(entry.path).constData(), 0777) != 0)
            RaiseOsError(errno, true);
        return;
    }
    if (entry.kind == u"moved" && !present(kept))
        return;
    if (!journal.cleared.contains(index)) {
        clearWhatTheRestoreLeft(journal, entry.path);
        note({QStringLiteral("cleared"), QString::number(index)});
    }
    if (entry.kind == u"moved")
        putKeptBack(kept, entry.path);
}

QString droppedPrefix() { return UndoFolder() + QStringLiteral(".dropped"); }

bool dropAside(const QString& folder) {
    const QString aside = droppedPrefix() + u'-' + QString::number(QDateTime::currentMSecsSinceEpoch());
    return platform::renamePath(native(folder).constData(), native(aside).constData()) == 0 ||
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

// One line a path: a file both left as it was and put back beside is named once, with its copy.
QStringList onceEach(const QStringList& kept) {
    QStringList merged;
    for (const QString& line : kept) {
        const QString path = line.section(u'\r', 0, 0);
        const auto same = std::find_if(merged.begin(), merged.end(), [&](const QString& earlier) {
            return earlier.section(u'\r', 0, 0) == path;
        });
        if (same == merged.end())
            merged << line;
        else if (line.size() > same->size())
            *same = line;
    }
    return merged;
}

// Newest first, each entry noted as done before the next; returns what was kept.
QStringList replay() {
    Journal journal = readJournal();
    for (int index = int(journal.entries.size()) - 1; index >= 0; --index) {
        if (journal.done.contains(index))
            continue;
        putBack(journal, index);
        note({QStringLiteral("done"), QString::number(index)});
    }
    const QStringList kept = onceEach(readJournal().kept);
    dropAside(UndoFolder());
    removeDropped();
    return kept;
}

} // namespace

QString UndoFolder() { return stateFolder() + QStringLiteral("/last-restore"); }

RestoreJournal& restoreJournal() {
    static RestoreJournal journal;
    return journal;
}

// Deleting many files takes a minute on a busy disk: the last restore's journal is renamed out of
// the way at once and removed by a process of its own, which the user's does not wait for. It starts
// when this restore has ended: beside it, the deletion slowed each of its registry syncs tenfold.
bool RestoreJournal::begin() {
    const QString folder = UndoFolder();
    closeJournal();
    m_active = false;
    m_count = 0;
    m_recorded = false;
    if (readJournal().unfinished())
        return false;
    if (present(folder) && !dropAside(folder))
        return false;
    if (!QDir().mkpath(QFileInfo(folder).path()) || platform::makePrivateFolder(folder) != 0)
        return false;
    m_active = true;
    append(kFormatLine + line({QStringLiteral("source"), sourceId(), platform::registry().description(),
                               platform::pathMapper().driveList()})
                             .toUtf8());
    return true;
}

void RestoreJournal::append(const QByteArray& text) {
    if (m_journalFd < 0)
        m_journalFd = platform::openPrivateFile(journalPath(), true);
    if (m_journalFd < 0)
        RaiseOsError(errno);
    if (platform::writeFile(m_journalFd, text.constData(), text.size()) != text.size())
        RaiseOsError(errno);
}

void RestoreJournal::record(const QString& kind, const QString& path, const QString& kept,
                            const QString& extra) {
    m_recorded = true;
    append(line({kind, path, kept, extra}).toUtf8());
}

void RestoreJournal::closeJournal() {
    if (m_journalFd >= 0)
        platform::closeFile(std::exchange(m_journalFd, -1));
}

void RestoreJournal::finish() {
    if (!m_active)
        return;
    const Journal journal = readJournal();
    QSet<QString> seen;
    QByteArray left;
    for (int index = 0; index < journal.entries.size(); ++index) {
        const Entry& entry = journal.entries[index];
        if (entry.kind == u"key" || entry.kind == u"nokey") {
            QString exported;
            if (platform::registry().keyExists(platform::Hive::CurrentUser, entry.path)) {
                exported = QStringLiteral("left-%1.reg").arg(index);
                exportRegFile(platform::registry(), UndoFolder() + u'/' + exported, kHive + entry.path,
                              RegFileFormat::Version5);
            }
            left += line({QStringLiteral("leftkey"), QString::number(index), exported}).toUtf8();
            continue;
        }
        for (const QString& path : pathsBelow(entry.path))
            if (!seen.contains(path) && present(path)) {
                seen.insert(path);
                left += line({QStringLiteral("left"), path, fingerprint(path)}).toUtf8();
            }
    }
    append(left + "finished\n");
    if (platform::syncFile(m_journalFd) != 0)
        RaiseOsError(errno);
    m_active = false;
    closeJournal();
    removeDropped();
}

QString RestoreJournal::nextAsideName() { return QString::number(++m_count); }

void RestoreJournal::keepKey(const QString& key, int unitDepth) {
    platform::Registry& registry = platform::registry();
    if (!registry.keyExists(platform::Hive::CurrentUser, key)) {
        const QString missing = outermostMissingKey(registry, key);
        // Units stay where they were below the key that is missing now.
        record(QStringLiteral("nokey"), missing, QString(),
               QString::number(unitDepth + key.count(u'\\') - missing.count(u'\\')));
        return;
    }
    const QString kept = nextAsideName() + QStringLiteral(".reg");
    exportRegFile(registry, UndoFolder() + u'/' + kept, kHive + key, RegFileFormat::Version5);
    record(QStringLiteral("key"), key, kept, QString::number(unitDepth));
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
    replay();
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

QString UnfinishedJournal() {
    if (restoreJournal().active() || !readJournal().unfinished())
        return {};
    return Str(txtUnfinishedJournal) + u' ' + UndoFolder();
}

QString UndoOutcome::summary() const {
    if (!failure.isEmpty())
        return failure;
    if (kept.isEmpty())
        return Str(txtRestoreUndone);
    return Str(txtUndoneExceptChanged) + QStringLiteral("\r\r") + kept.join(QStringLiteral("\r"));
}

UndoOutcome UndoLastRestore() {
    UndoOutcome outcome;
    const Journal journal = readJournal();
    if (!journal.exists) {
        outcome.failure = Str(txtNothingToUndo);
        return outcome;
    }
    try {
        if (journal.newFormat &&
            (journal.sourceId != sourceId() || journal.drives != platform::pathMapper().driveList())) {
            outcome.failure =
                Str(txtUndoOtherRegistry) + u' ' + journal.sourceText +
                (journal.drives.isEmpty() ? QString() : QStringLiteral(" (") + journal.drives + u')') +
                QStringLiteral("\r\r") + Str(txtRegistryInUse) + u' ' + platform::registry().description();
            return outcome;
        }
        if (!journal.undoBegun)
            note({QStringLiteral("undo")});
        outcome.kept = replay();
    } catch (const VbError& error) {
        outcome.failure = error.description();
    } catch (const std::exception& error) {
        outcome.failure = QString::fromUtf8(error.what());
    }
    return outcome;
}

} // namespace stowline
