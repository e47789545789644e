#include "foundation/modTempPath.h"

#include "foundation/Questions.h"
#include "foundation/RegEdit.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "platform/Platform.h"
#include "platform/PrivateFiles.h"

#include <QDir>
#include <QFileInfo>
#include <array>
#include <cerrno>
#include <cmath>

namespace stowline {

namespace {

using platform::FolderPrivacy;

const QString kWorkspaceName = QStringLiteral("stowline");
constexpr qsizetype kFolderTableSize = 101;

QString withTrailingSlash(const QString& folder) { return folder.endsWith(u'/') ? folder : folder + u'/'; }

bool folderExists(const QString& path) { return !path.isEmpty() && QFileInfo(path).isDir(); }

// A setting read as a 16-bit integer the classic way: rounded half to even, text must be a number.
int toInteger(const QVariant& value) {
    bool ok = false;
    const double number =
        value.typeId() == QMetaType::QString ? value.toString().trimmed().toDouble(&ok) : value.toDouble(&ok);
    if (!ok)
        Raise(Err::TypeMismatch);
    const double rounded = std::nearbyint(number);
    if (rounded < -32768 || rounded > 32767)
        Raise(Err::Overflow);
    return static_cast<int>(rounded);
}

QString withoutTrailingSlash(QString folder) {
    while (folder.size() > 1 && folder.endsWith(u'/'))
        folder.chop(1);
    return folder;
}

void refuse(Questions& ask, const QString& path) {
    ask.tell(Questions::Notice::WorkspaceNotPrivate,
             Str(txtTempFolderNotPrivate) + u'\r' + path + QStringLiteral("\r\r") + Str(txtNothingWritten));
}

// A folder this user made, private or not: a leftover of an earlier run, never a link.
bool isOwnFolder(const QString& path) {
    const FolderPrivacy found = platform::folderPrivacy(path);
    return found == FolderPrivacy::Private || found == FolderPrivacy::OpenToOthers;
}

void makeFolder(const QString& path) {
    if (const int error = platform::makePrivateFolder(path))
        RaiseOsError(error, true);
}

bool isPrivate(const QString& folder) {
    return platform::folderPrivacy(withoutTrailingSlash(folder)) == FolderPrivacy::Private;
}

// The system temporary folder is made on first use; a folder of the user's choice is used as it is.
bool rootIsUsable(const QString& root, bool systemRoot) {
    if (!systemRoot)
        return true;
    const QString folder = withoutTrailingSlash(root);
    if (platform::folderPrivacy(folder) == FolderPrivacy::Missing)
        if (const int error = platform::makePrivateFolder(folder); error != 0 && error != EEXIST)
            RaiseOsError(error, true);
    return isPrivate(folder);
}

void removeTree(const QString& folder) {
    if (const int error = platform::removeFolderTree(folder))
        RaiseOsError(error);
}

// TempDir, and whether it is the system temporary folder rather than the user's own choice.
QString tempRoot(bool& systemRoot) {
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
        STEP(13) systemRoot = folder.isEmpty();
        STEP(14) if (systemRoot) folder = platform::system().tempFolder();
        STEP(15) result = withTrailingSlash(folder);
    TRAP_END
    return result;
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
    bool systemRoot = false;
    return tempRoot(systemRoot);
}

bool CreateTempFolder(Questions& ask) {
    bool created = false;
    TRAP_BEGIN("modTempPath:CreateTempFolder")
        bool systemRoot = false;
        STEP(1) const QString root = tempRoot(systemRoot);
        // TempDir has reported its own failure; a relative "stowline" must not appear elsewhere.
        STEP(2) if (root.isEmpty()) return created;
        STEP(3) if (!rootIsUsable(root, systemRoot)) {
            refuse(ask, withoutTrailingSlash(root));
            return created;
        }
        STEP(4) const QString workspace = root + kWorkspaceName;
        STEP(5) const FolderPrivacy found = platform::folderPrivacy(workspace);
        STEP(6) if (found == FolderPrivacy::NotAFolder || found == FolderPrivacy::OtherOwner) {
            refuse(ask, workspace);
            return created;
        }
        STEP(7) if (found != FolderPrivacy::Missing) removeTree(workspace);
        STEP(8) makeFolder(workspace);
        STEP(9) created = true;
    TRAP_END
    return created;
}

void DeleteTempFolder() {
    TRAP_BEGIN("modTempPath:DeleteTempFolder")
        bool systemRoot = false;
        STEP(1) const QString root = tempRoot(systemRoot);
        STEP(2) if (root.isEmpty()) return;
        // Nothing this program made can be below a temporary folder it would not use.
        STEP(3) if (systemRoot && !isPrivate(root)) return;
        STEP(4) const QString workspace = root + kWorkspaceName;
        STEP(5) if (isOwnFolder(workspace)) removeTree(workspace);
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
                STEP(5) if (i + 1 >= kFolderTableSize) Raise(Err::SubscriptOutOfRange);
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
