#include "foundation/modTempPath.h"

#include "foundation/RegEdit.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "platform/Platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <array>
#include <cerrno>
#include <cmath>
#include <sys/stat.h>
#include <unistd.h>

namespace stowline {

namespace {

const QString kWorkspaceName = QStringLiteral("stowline");
constexpr qsizetype kFolderTableSize = 101;

QString withTrailingSlash(const QString& folder) {
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

bool folderExists(const QString& path) {
    return !path.isEmpty() && QFileInfo(path).isDir();
}

// A setting read as a 16-bit integer the classic way: rounded half to even, text must be a number.
int toInteger(const QVariant& value) {
    bool ok = false;
    const double number =
        value.typeId() == QMetaType::QString ? value.toString().trimmed().toDouble(&ok) : value.toDouble(&ok);
    if (!ok)
        Raise(13, QStringLiteral("Type mismatch"));
    const double rounded = std::nearbyint(number);
    if (rounded < -32768 || rounded > 32767)
        Raise(6, QStringLiteral("Overflow"));
    return static_cast<int>(rounded);
}

QStringList entriesOf(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

struct stat statOf(const QString& path) {
    struct stat info {};
    if (lstat(QFile::encodeName(path).constData(), &info) != 0)
        RaiseOsError(errno);
    return info;
}

// A deletion that is not forced stops at a read-only file or folder; checked before anything goes,
// because root could delete them anyway.
void requireDeletable(const QString& path) {
    const struct stat info = statOf(path);
    if (!S_ISLNK(info.st_mode) && (info.st_mode & S_IWUSR) == 0)
        RaiseOsError(EACCES);
    if (S_ISDIR(info.st_mode))
        for (const QString& name : entriesOf(path))
            requireDeletable(path + u'/' + name);
}

void removeTree(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    if (S_ISDIR(statOf(path).st_mode)) {
        for (const QString& name : entriesOf(path))
            removeTree(path + u'/' + name);
        if (rmdir(native.constData()) != 0)
            RaiseOsError(errno, true);
    } else if (unlink(native.constData()) != 0) {
        RaiseOsError(errno);
    }
}

void deleteFolderNotForced(const QString& folder) {
    requireDeletable(folder);
    removeTree(folder);
}

void makeFolder(const QString& path) {
    if (mkdir(QFile::encodeName(path).constData(), 0777) != 0)
        RaiseOsError(errno, true);
}

} // namespace

QString ParentFolderName(const QString& path) {
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(u'/'))
        trimmed.chop(1);
    const qsizetype slash = trimmed.lastIndexOf(u'/');
    if (trimmed == u"/" || slash < 0)
        return {};
    if (slash == 0)
        return QStringLiteral("/");
    QString parent = trimmed.left(slash);
    while (parent.size() > 1 && parent.endsWith(u'/'))
        parent.chop(1);
    return parent;
}

QString TempDir() {
    QString result;
    TRAP_BEGIN("modTempPath:TempDir")
        STEP(1) RegEdit& reg = RegTemp();
        STEP(2) reg.RootKey = RegEdit::HKEY_CURRENT_USER;
        STEP(3) reg.KeyPath = SettingsKey();
        STEP(4) reg.ValueName = QStringLiteral("CustomTemp");
        int customTemp = 0;
        STEP(5) if (reg.Exists(0)) {
            STEP(6) reg.ReadValue();
            STEP(7) customTemp = toInteger(reg.Value);
        }
        QString folder;
        STEP(8) if (customTemp == 1) {
            STEP(9) reg.ValueName = QStringLiteral("CustomTempFolder");
            STEP(10) reg.ReadValue();
            STEP(11) folder = reg.Value.toString();
            // A missing custom folder is never created: the system one silently takes its place.
            STEP(12) if (!QDir::isAbsolutePath(folder) || !folderExists(folder)) folder.clear();
        }
        STEP(13) if (folder.isEmpty()) folder = platform::system().tempFolder();
        STEP(14) result = withTrailingSlash(folder);
    TRAP_END
    return result;
}

void CreateTempFolder() {
    TRAP_BEGIN("modTempPath:CreateTempFolder")
        STEP(1) const QString root = TempDir();
        // TempDir has reported its own failure; a relative "stowline" must not appear elsewhere.
        STEP(2) if (root.isEmpty()) return;
        STEP(3) const QString workspace = root + kWorkspaceName;
        STEP(4) if (folderExists(workspace)) deleteFolderNotForced(workspace);
        STEP(5) makeFolder(workspace);
    TRAP_END
}

void DeleteTempFolder() {
    TRAP_BEGIN("modTempPath:DeleteTempFolder")
        STEP(1) const QString root = TempDir();
        STEP(2) if (root.isEmpty()) return;
        STEP(3) const QString workspace = root + kWorkspaceName;
        STEP(4) if (folderExists(workspace)) deleteFolderNotForced(workspace);
    TRAP_END
}

void CreateFolder(const QString& path) {
    TRAP_BEGIN("modTempPath:CreateFolder")
        // Entry 0 is the folder asked for, entries 1..100 its missing ancestors, nearest first.
        STEP(1) std::array<QString, kFolderTableSize> table;
        STEP(2) table[0] = path;
        qsizetype i = 0;
        while (i >= 0) {
            STEP(3) const QString parent = ParentFolderName(table[i]);
            STEP(4) if (!folderExists(table[i]) && !folderExists(parent)) {
                STEP(5) if (i + 1 >= kFolderTableSize) Raise(9, QStringLiteral("Subscript out of range"));
                STEP(6) table[++i] = parent;
            }
            else {
                STEP(7) if (!folderExists(table[i])) makeFolder(table[i]);
                STEP(8)-- i;
            }
        }
    TRAP_END
}

} // namespace stowline
