#include "restore/modRSIdentity.h"

#include "archive/ArchiveLayout.h"
#include "archive/RunContext.h"
#include "foundation/ProgressView.h"
#include "foundation/RegEdit.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modCLSID.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "foundation/modSystemPath.h"
#include "foundation/modTempPath.h"
#include "platform/Platform.h"
#include "restore/RestoreGuard.h"
#include "restore/RestorePlan.h"
#include "restore/RestoreSteps.h"
#include "restore/modCopyAccountKeys.h"

#include <optional>

namespace stowline {

namespace {

const QString kIdentities = QStringLiteral("Identities");
const QString kAccountManager = QStringLiteral("Software\\Microsoft\\Internet Account Manager");
const QString kNoIdentity = QStringLiteral("{00000000-0000-0000-0000-000000000000}");

QString identityKey(const QString& id) { return kIdentities + u'\\' + id; }

QString outlookKey(const QString& id) {
    return identityKey(id) + QStringLiteral("\\Software\\Microsoft\\Outlook Express\\5.0");
}

// Nothing of an identity is touched unless its ID, registry file and message store pass.
bool refusedBeforeStart(Questions& ask, const QString& name, const QString& id, ItemZip& store) {
    Refusal refusal;
    if (!IsIdentityId(id)) {
        refusal = {txtReasonBadId, u'"' + id + u'"'};
    } else {
        refusal = CheckRegFile(WorkspaceFolder() + layout::IdentityKeyMember(id),
                               QStringLiteral("HKEY_CURRENT_USER\\") + identityKey(id));
        if (!refusal.refused())
            refusal = CheckZipFile(store);
    }
    if (!refusal.refused())
        return false;
    ShowRefusal(ask, Str(txtIdentityNotRestored) + u' ' + name, refusal, txtNothingOfItemChanged);
    return true;
}

QString readText(RegEdit& reg, const QString& key, const QString& valueName) {
    reg.KeyPath = key;
    reg.ValueName = valueName;
    if (!reg.Exists(0))
        return {};
    reg.ReadValue();
    return reg.Value.toString();
}

void writeText(RegEdit& reg, const QString& key, const QString& valueName, const QString& text) {
    reg.KeyPath = key;
    reg.ValueName = valueName;
    reg.ValueType = 1;
    reg.Value = text;
    reg.WriteValue();
}

// The name of another identity that equals this one's ignoring letter case, if any.
std::optional<QString> clashingName(RegEdit& reg, const QString& id) {
    reg.KeyPath = kIdentities;
    const QStringList others = reg.GetSubKeys();
    for (const QString& other : others) {
        if (other == id)
            continue;
        reg.KeyPath = identityKey(other);
        reg.ValueName = QStringLiteral("Username");
        if (!reg.Exists(0))
            continue;
        reg.ReadValue();
        const QString otherName = reg.Value.toString();
        const QString ownName = readText(reg, identityKey(id), QStringLiteral("Username"));
        if (otherName.toUpper() == ownName.toUpper())
            return otherName;
    }
    return std::nullopt;
}

QString askForNewName(Questions& ask, const QString& otherName) {
    const QString prompt = Str(txtNameInUse) + QStringLiteral("\r\r\"") + otherName +
                           QStringLiteral("\"\r\r") + Str(txtEnterOtherName);
    QString answer;
    do {
        answer = ask.newName(prompt);
    } while (answer.isEmpty() || answer == otherName);
    return answer;
}

// Returns the name the identity ends up with.
QString settleNameClash(RegEdit& reg, const QString& id, const QString& name, RunContext& run) {
    QString settled = name;
    while (const std::optional<QString> otherName = clashingName(reg, id)) {
        settled = askForNewName(run.ask, *otherName);
        writeText(reg, identityKey(id), QStringLiteral("Username"), settled);
        run.progress.setStatus(Str(txtRestoringIdentity) + u' ' + settled);
    }
    return settled;
}

QString restoredNote(const QString& name, const QString& settledName, const QString& location) {
    // Quoted, as names may hold commas and spaces: "Work, Ltd." renamed to "Work (restored)".
    const auto quoted = [](const QString& text) -> QString { return u'\u201C' + text + u'\u201D'; };
    const QString who = settledName == name
                            ? quoted(name)
                            : QString(quoted(name) + u' ' + Str(txtRenamedTo) + u' ' + quoted(settledName));
    return who + u' ' + Str(txtRestoredTo) + u' ' + location;
}

// The planned folder, or, when the plan found the recorded one unusable, one the person picks (theirs
// to choose). A folder the registry's drives cannot record counts as unusable.
QString storeFolderOf(Questions& ask, const PlannedIdentity& planned) {
    if (planned.folderAvailable)
        return planned.storeFolder;
    QString location;
    QString shown = planned.recordedFolder;
    do {
        const QString text = Str(txtCannotRestoreIdentity) + u' ' + planned.name + QStringLiteral("\r\r") +
                             Str(txtLocationNotAvailable) + u' ' +
                             (shown.isEmpty() ? Str(txtNoFolderRecorded) : shown) + QStringLiteral("\r\r") +
                             Str(txtSelectInNextDialog);
        ask.tell(Questions::Notice::IdentityLocationMissing, text);
        location = AskForLocation(ask);
        shown = location;
    } while (!LocationUsable(location) || RecordedPath(location).isEmpty());
    return location;
}

enum class AccountsCase { CopyInto, ReplaceOwn, KeepApart };

AccountsCase accountsCase(RegEdit& reg, const QString& id) {
    reg.KeyPath = kAccountManager + QStringLiteral("\\Accounts");
    reg.ValueName = QStringLiteral("AssociatedID");
    bool accountsPresent = false;
    QString associated;
    if (reg.Exists(1) && reg.Exists(0)) {
        reg.ReadValue();
        associated = GetCLSID(reg.Value.toString());
        accountsPresent = reg.CountEntries(1) > 0;
    }
    if (!accountsPresent)
        return AccountsCase::CopyInto;
    return associated == id ? AccountsCase::ReplaceOwn : AccountsCase::KeepApart;
}

void writeIdentityManagerStart(RegEdit& reg) {
    RegInOneCommit([&] {
        writeText(reg, kIdentities, QStringLiteral("Last Username"), QString());
        writeText(reg, kIdentities, QStringLiteral("Last User ID"), kNoIdentity);
        writeText(reg, kIdentities, QStringLiteral("Start As"), kNoIdentity);
    });
}

} // namespace

bool Identity_Extract(const RestorePlan& plan, RunContext& run) {
    bool completed = false;
    TRAP_BEGIN("modRSIdentity:Identity_Extract")
        STEP(1) RegEdit& reg = regAccess();
        STEP(2) reg.RootKey = RegEdit::HKEY_CURRENT_USER;
        bool anyStarted = false;
        for (const PlannedIdentity& planned : plan.identities) {
            STEP(5) const QString& name = planned.name;
            STEP(6) const QString& id = planned.id;
            STEP(7) run.progress.setStatus(Str(txtRestoringIdentity) + u' ' + name);
            ItemZip store = ItemZipOf(plan.archivePath, layout::IdentityDataMember(id));
            STEP(8) if (refusedBeforeStart(run.ask, name, id, store)) continue;
            anyStarted = true;
            STEP(9) reg.KeyPath = identityKey(id);
            STEP(10) if (reg.Exists(1)) reg.DeleteKey();
            STEP(12)
            const QString importFailure = ImportRegFile(WorkspaceFolder() + layout::IdentityKeyMember(id));
            StopIfFailureReported();
            if (!importFailure.isEmpty()) {
                StopRestore(run.ask, Str(txtCannotRestoreIdentity) + u' ' + name,
                            Str(txtNotImported) + u' ' + importFailure);
                return false;
            }
            STEP(13) const QString settledName = settleNameClash(reg, id, name, run);
            STEP(17) const QString location = storeFolderOf(run.ask, planned);
            STEP(18) switch (accountsCase(reg, id)) {
            case AccountsCase::ReplaceOwn:
                STEP(19) reg.KeyPath = kAccountManager;
                STEP(20) reg.DeleteKey();
                [[fallthrough]];
            case AccountsCase::CopyInto:
                STEP(21) CopyAccountKeys(id);
                STEP(22) StopIfFailureReported();
                break;
            case AccountsCase::KeepApart:
                break;
            }
            STEP(23) reg.KeyPath = outlookKey(id);
            STEP(24) if (!planned.folderAvailable && reg.Exists(1)) {
                STEP(25) reg.ValueName = QStringLiteral("Store Root");
                STEP(26) reg.ValueType = 1;
                STEP(27) reg.Value = RecordedPath(location);
                STEP(28) reg.WriteValue(0);
            }
            STEP(31)
            if (!UnpackKept(run, store, location, Str(txtCannotRestoreIdentity) + u' ' + name))
                return false;
            run.notes << restoredNote(name, settledName, location);
            if (run.notesFolder.isEmpty())
                run.notesFolder = location;
        }
        // Written once per run, so the identity manager asks who starts next time.
        STEP(32) if (anyStarted) writeIdentityManagerStart(reg);
        STEP(33) completed = true;
    TRAP_END
    return completed;
}

} // namespace stowline
