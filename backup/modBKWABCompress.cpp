#include "backup/modBKWABCompress.h"

#include "archive/ArchiveLayout.h"
#include "archive/PhaseLog.h"
#include "archive/RunContext.h"
#include "archive/cmpZIP.h"
#include "backup/modBKWABCheck.h"
#include "foundation/ProgressView.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modAppRunning.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "foundation/modTempPath.h"
#include "platform/PrivateFiles.h"

#include <QFileInfo>

namespace stowline {

KeyExport::KeyExport(const QString& file, const QString& key)
    : m_key(key), m_command(QStringLiteral("regedit /e /a \"") + file + QStringLiteral("\" ") + key) {}

bool KeyExport::finish(Questions& ask) {
    const QString failure = wait();
    if (failure.isEmpty())
        return true;
    ask.tell(Questions::Notice::KeyNotExported, Str(txtKeyNotExported) + QStringLiteral("\r\r") + m_key +
                                                    QStringLiteral("\r\r") + failure +
                                                    QStringLiteral("\r\r") + Str(txtOlderArchiveKept));
    return false;
}

void CreateItemFolder(const QString& folder) {
    // The workspace starts empty, so a folder already there means something else wrote into it.
    if (QFileInfo::exists(folder))
        Raise(Err::FileExists);
    if (const int error = platform::makePrivateFolder(folder))
        RaiseOsError(error, true);
}

std::optional<KeyExport> WAB_StartExport() {
    std::optional<KeyExport> started;
    TRAP_BEGIN("modBKWABCompress:WAB_StartExport")
        STEP(3) const QString folder = TempDir() + QStringLiteral("stowline/") + layout::WabFolder;
        STEP(4) CreateItemFolder(folder);
        STEP(5)
        started.emplace(TempDir() + QStringLiteral("stowline/") + layout::WabKeyMember,
                        QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\WAB4"));
    TRAP_END
    return started;
}

bool WAB_Compress(RunContext& run, std::optional<KeyExport>& started) {
    bool exported = false;
    TRAP_BEGIN("modBKWABCompress:WAB_Compress")
        STEP(1) run.progress.setStatus(Str(txtCompressingAddressBook));
        STEP(2) if (!started) return false;
        STEP(5) {
            const PhaseLog phase("regedit export address book");
            if (!started->finish(run.ask))
                return false;
        }
        exported = true;
        // Zipped straight into the backup archive when that is written.
        STEP(6)
        run.zip.NestedArchives.push_back({QByteArray(layout::WabDataMember.data()),
                                          QFileInfo(AddressBookFile()).absolutePath(),
                                          CompressionLevelSetting});
    TRAP_END
    return exported;
}

} // namespace stowline
