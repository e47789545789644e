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

bool refusedBeforeStart(Questions& ask, const QString& workspace) {
    Refusal refusal = CheckRegFile(workspace + layout::WabKeyMember,
                                   QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\WAB4"));
    if (!refusal.refused())
        refusal = CheckZipFile(workspace + layout::WabDataMember);
    if (!refusal.refused())
        return false;
    ShowRefusal(ask, Str(txtAddressBookNotRestored), refusal, txtNothingOfItemChanged);
    return true;
}

QString readRecordedLocation(RegEdit& reg) {
    reg.KeyPath = kWabFileNameKey;
    if (!reg.Exists(1))
        return {};
    reg.ValueName = QString();
    if (!reg.Exists(0))
        return {};
    reg.ReadValue();
    return reg.Value.toString();
}

// Returns whether the address book had to move.
bool settleLocation(Questions& ask, QString& addressBookFile, const QString& fileName,
                    const QString& recorded) {
    bool changed = false;
    QString shown = recorded;
    // The folder the person picks is theirs to choose; the one the archive records must be a safe one.
    while (!(changed ? LocationUsable(parentFolder(addressBookFile))
                     : RecordedLocationUsable(parentFolder(addressBookFile), FoldersOfThisRestore())) ||
           RecordedPath(addressBookFile).isEmpty()) {
        changed = true;
        const QString text = Str(txtCannotRestoreAddressBook) + QStringLiteral("\r\r") + shown +
                             QStringLiteral("\r\r") + Str(txtSelectInNextDialog);
        ask.tell(Questions::Notice::AddressBookLocationMissing, text);
        const QString folder = AskForLocation(ask);
        addressBookFile = folder + (folder.endsWith(u'/') ? QString() : QStringLiteral("/")) + fileName;
        shown = addressBookFile;
    }
    return changed;
}

} // namespace

bool WAB_Extract(RunContext& run) {
    bool completed = false;
    TRAP_BEGIN("modRSWAB:WAB_Extract")
        STEP(1) run.progress.setStatus(Str(txtRestoringAddressBook));
        STEP(2) const QString workspace = WorkspaceFolder();
        STEP(3) if (refusedBeforeStart(run.ask, workspace)) {
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
        STEP(7) const QString recordedFile = readRecordedLocation(reg);
        QString addressBookFile = LocalPath(recordedFile);
        STEP(8) const QString fileName = FileNamePart(recordedFile);
        STEP(9) if (settleLocation(run.ask, addressBookFile, fileName, recordedFile)) {
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
        if (!UnpackKept(run, workspace + layout::WabDataMember, folder, Str(txtAddressBookNotRestored)))
            return false;
        run.notes << Str(txtAddressBookRestoredTo) + u' ' + addressBookFile;
        if (run.notesFolder.isEmpty())
            run.notesFolder = folder;
        STEP(16) completed = true;
    TRAP_END
    return completed;
}

} // namespace stowline
