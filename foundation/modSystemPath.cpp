#include "foundation/modSystemPath.h"

#include "foundation/RegEdit.h"
#include "foundation/modError.h"
#include "platform/Platform.h"
#include "platform/RegistrySource.h"

#include <QFileInfo>

namespace stowline {

namespace {

const QString kShellFoldersKey =
    QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");

QString shellFolderValueName(int csidl) {
    if (csidl == CSIDL_PERSONAL)
        return QStringLiteral("Personal");
    if (csidl == CSIDL_FAVORITES)
        return QStringLiteral("Favorites");
    return {};
}

// A private cursor, so that callers' own registry steps on the shared instances are not disturbed.
QString registeredFolder(const QString& valueName) {
    RegEdit reg;
    reg.RootKey = RegEdit::HKEY_CURRENT_USER;
    reg.KeyPath = kShellFoldersKey;
    reg.ValueName = valueName;
    if (!reg.Exists(1) || !reg.Exists(0))
        return {};
    reg.ReadValue();
    return LocalPath(reg.Value.toString());
}

QString desktopFolder(int csidl) {
    if (!platform::pathMapper().isNative())
        return LocalPath(csidl == CSIDL_PERSONAL ? QStringLiteral("%USERPROFILE%\\Documents")
                                                 : QStringLiteral("%USERPROFILE%\\Favorites"));
    if (csidl == CSIDL_PERSONAL)
        return platform::system().documentsFolder();
    return platform::system().homeFolder() + QStringLiteral("/Favorites");
}

QString withoutTrailingSlash(QString folder) {
    while (folder.size() > 1 && folder.endsWith(u'/'))
        folder.chop(1);
    return folder;
}

} // namespace

namespace {
template <class Work> QString onMapper(Work&& work) {
    try {
        return work(platform::pathMapper()).value_or(QString());
    } catch (const platform::RegistryError& error) {
        throw VbError(Err::DeviceIO, error.message());
    }
}
} // namespace

QString SystemPath(int csidl) {
    QString result;
    TRAP_BEGIN("modSystemPath:SystemPath")
        STEP(1) const QString valueName = shellFolderValueName(csidl);
        STEP(2) if (valueName.isEmpty()) return result;
        STEP(3) QString folder = registeredFolder(valueName);
        STEP(4) if (folder.isEmpty()) folder = desktopFolder(csidl);
        STEP(5) folder = withoutTrailingSlash(folder);
        // Like the shell query, a special folder that is not there gives no path at all.
        STEP(6) if (QFileInfo(folder).isDir()) result = folder;
    TRAP_END
    return result;
}

QString LocalPath(const QString& recorded) {
    return onMapper([&](const platform::PathMapper& mapper) { return mapper.toLocal(recorded); });
}

QString RecordedPath(const QString& local) {
    return onMapper([&](const platform::PathMapper& mapper) { return mapper.toRecorded(local); });
}

} // namespace stowline
