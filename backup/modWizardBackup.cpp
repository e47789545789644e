#include "backup/modWizardBackup.h"

#include "backup/modBKIEFCompress.h"
#include "backup/modBKIdentityCompress.h"
#include "backup/modBKWABCompress.h"
#include "backup/modSaveArchive.h"
#include "foundation/Strings.h"
#include "foundation/modCheckWrite.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "foundation/modTempPath.h"

namespace stowline {

namespace {

constexpr int txtCouldNotCreate = 523;

// Calls collect when the item is chosen; the flag records the call, not its success.
QChar collectIfChosen(const BackupChoice& choice, BackupItem item, void (*collect)()) {
    if (!choice.itemChosen(item))
        return u'0';
    collect();
    return u'1';
}

} // namespace

void WizardBackup(const QString& destination, const BackupChoice& choice) {
    TRAP_BEGIN("modWizardBackup:WizardBackup")
        STEP(1) DoEvents();
        STEP(2) if (!CheckWrite(destination) || !CreateTempFolder()) {
            STEP(3) progress().setStatus(Str(txtCouldNotCreate));
            STEP(4) progress().setFileLine(QStringLiteral(" "));
            STEP(5) DoEvents();
        }
        else {
            QString flags;
            STEP(7) flags += collectIfChosen(choice, ItemIdentities, Identity_Compress);
            STEP(8) flags += collectIfChosen(choice, ItemFavorites, IEF_Compress);
            STEP(9) flags += collectIfChosen(choice, ItemAddressBook, WAB_Compress);
            STEP(10) SaveArchive(destination, flags);
        }
        STEP(11) progress().setCloseEnabled(true);
    TRAP_END
}

} // namespace stowline
