#include "restore/modRSWAB.h"

#include "archive/ArchiveLayout.h"
#include "archive/RunContext.h"
#include "foundation/ProgressView.h"
#include "foundation/RegEdit.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "foundation/modSystemPath.h"
#include "foundation/modTempPath.h"
#include "platform/Platform.h"
#include "restore/RestoreGuard.h"
#include "restore/RestorePlan.h"
#include "restore/RestoreSteps.h"

namespace stowline {

namespace {

const QString kWabFileNameKey = QStringLiteral("Software\\Microsoft\\WAB\\WAB4\\Wab File Name");

// The folder that holds the address book file; "/" for a file in the root.
QString parentFolder(const QString& filePath) {
    const qsizetype cut = std::max(filePath.lastIndexOf(u'/'), filePath.lastIndexOf(u'\\'));
    if (cut < 0)
        return {};
    return cut == 0 ? filePath.left(1) : filePath.left(cut);
}

bool refusedBeforeStart(Questions& ask, const QString& workspace, ItemZip& data) {
    Refusal refusal = CheckRegFile(workspace + layout::WabKeyMember,
                                   QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\WAB4"));
    if (!refusal.refused())
        refusal = CheckZipFile(data);
    if (!refusal.refused())
        return false;
    ShowRefusal(ask, Str(txtAddressBookNotRestored), refusal, txtNothingOfItemChanged);
    return true;
}

// The planned file, or, when the plan found the recorded folder unusable, the recorded file name in
// a folder the person picks (theirs to choose).
QString addressBookFileOf(Questions& ask, const RestorePlan& plan) {
    if (plan.addressBookAvailable)
        return plan.addressBookFile;
    const QString fileName = FileNamePart(plan.addressBookRecorded);
    QString addressBookFile;
    QString shown = plan.addressBookRecorded;
    do {
        const QString text = Str(txtCannotRestoreAddressBook) + QStringLiteral("\r\r") +
                             (shown.isEmpty() ? Str(txtNoFolderRecorded) : shown) + QStringLiteral("\r\r") +
                             Str(txtSelectInNextDialog);
        ask.tell(Questions::Notice::AddressBookLocationMissing, text);
        const QString folder = AskForLocation(ask);
        addressBookFile = folder + (folder.endsWith(u'/') ? QString() : QStringLiteral("/")) + fileName;
        shown = addressBookFile;
    } while (!LocationUsable(parentFolder(addressBookFile)) || RecordedPath(addressBookFile).isEmpty());
    return addressBookFile;
}

} // namespace

bool WAB_Extract(const RestorePlan& plan, RunContext& run) {
    bool completed = false;
    TRAP_BEGIN("modRSWAB:WAB_Extract")
        STEP(1) run.progress.setStatus(Str(txtRestoringAddressBook));
        STEP(2) const QString workspace = WorkspaceFolder();
        ItemZip data = ItemZipOf(plan.archivePath, layout::WabDataMember);
        STEP(3) if (refusedBeforeStart(run.ask, workspace, data)) {
            completed = true;
            return true;
        }
        STEP(4) const QString importFailure = ImportRegFile(workspace + layout::WabKeyMember);
        StopIfFailureReported();
        if (!importFailure.isEmpty()) {
            StopRestore(run.ask, Str(txtAddressBookNotRestored), Str(txtNotImported) + u' ' + importFailure);
            return false;
        }
        STEP(5) RegEdit& reg = regAccess();
        STEP(6) reg.RootKey = RegEdit::HKEY_CURRENT_USER;
        STEP(9) const QString addressBookFile = addressBookFileOf(run.ask, plan);
        if (!plan.addressBookAvailable) {
            STEP(10) reg.KeyPath = kWabFileNameKey;
            STEP(11) if (reg.Exists(1)) {
                reg.ValueName = QString();
                reg.ValueType = 1;
                reg.Value = RecordedPath(addressBookFile);
                STEP(12) reg.WriteValue(0);
            }
        }
        STEP(13) QString folder = parentFolder(addressBookFile);
        if (!folder.endsWith(u'/'))
            folder += u'/';
        STEP(15)
        if (!UnpackKept(run, data, folder, Str(txtAddressBookNotRestored)))
            return false;
        run.notes << Str(txtAddressBookRestoredTo) + u' ' + addressBookFile;
        if (run.notesFolder.isEmpty())
            run.notesFolder = folder;
        STEP(16) completed = true;
    TRAP_END
    return completed;
}

} // namespace stowline
