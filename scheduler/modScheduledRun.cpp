#include "scheduler/modScheduledRun.h"

#include "archive/ArchiveLayout.h"
#include "archive/ArchivePassphrase.h"
#include "archive/IdentityCatalog.h"
#include "archive/PhaseLog.h"
#include "archive/ZipCompressor.h"
#include "archive/ZipDecrypt.h"
#include "backup/modBKIEFCheck.h"
#include "backup/modBKIEFCompress.h"
#include "backup/modBKIdentityCheck.h"
#include "backup/modBKIdentityCompress.h"
#include "backup/modBKWABCheck.h"
#include "backup/modBKWABCompress.h"
#include "backup/modSaveArchive.h"
#include "foundation/ProgressView.h"
#include "foundation/RegEdit.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modCheckWrite.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "foundation/modSettings.h"
#include "foundation/modSystemPath.h"
#include "foundation/modTempPath.h"
#include "platform/Platform.h"
#include "platform/RunLedger.h"
#include "restore/RestoreUndo.h"
#include "scheduler/modScheduleRules.h"
#include "ui/DialogQuestions.h"
#include "ui/frmInterface.h"

#include <QDateTime>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace stowline {

namespace {

// The progress of a run nobody watches: it keeps the lines and draws nothing.
class UnattendedProgress : public ProgressView {
public:
    void setStatus(const QString& text) override { m_status = text; }
    void setFileLine(const QString& text) override { m_fileLine = text; }
    void setBars(int, int) override {}
    void setCloseEnabled(bool) override {}
    QString status() const override { return m_status; }
    QString fileLine() const override { return m_fileLine; }

private:
    QString m_status;
    QString m_fileLine;
};

class Unattended : public ScheduledRunView {
public:
    void run(const std::function<void(RunContext&)>& work) override {
        UnattendedProgress progress;
        frmInterface host(progress);
        work(host.run());
    }
};

struct Schedule {
    int scheduleCode = 0;
    int deleteCode = 0;
    QString items;
    QString stem;
    QString folder;
};

// A code that is not a number counts as "any other": always due, never deleted.
int codeOf(const QString& stored) { return StoredNumber(stored).value_or(0); }

void launchMailerIfSet() {
    if (LaunchOESetting == 1)
        Launch_OE();
}

bool failureTrapped() { return LastError().number != 0 || !LastError().procedure.isEmpty(); }

[[noreturn]] void endRun(ScheduledRunStatus status, const QString& archivePath = {}) {
    if (status == RunFailed && failureTrapped())
        std::fprintf(stderr, "%s\n",
                     qPrintable(Str(txtFailed) + LastError().description + Str(txtSchedulerIn) +
                                LastError().procedure + Str(txtSchedulerAtLine) +
                                QString::number(LastError().line)));
    else if (status == ArchiveNotWritten)
        std::fprintf(stderr, "%s\n", qPrintable(Str(txtNotWritten) + archivePath));
    platform::system().endProgram(status);
    std::abort(); // endProgram never returns
}

// The five values in their order; none when one is missing.
std::optional<Schedule> readSchedule(RegEdit& reg) {
    QStringList values;
    for (const char* name : {"Schedule", "Delete", "Items", "Filename", "Pathname"}) {
        const std::optional<QString> value = ReadSetting(reg, QString::fromLatin1(name));
        if (!value)
            return std::nullopt;
        values << *value;
    }
    return Schedule{codeOf(values[0]), codeOf(values[1]), values[2], values[3],
                    ArchiveFolderOnDisk(values[4])};
}

// Every availability check runs whether or not its item is selected. Returns the flags of the items
// collected, so that the archive never claims an item it does not hold; none when a registry key
// could not be exported.
std::optional<QString> collectItems(const QString& items, const QString& archivePath, RunContext& run) {
    using layout::ArchiveItem, layout::ItemPresent;
    IdentityCatalog catalog;
    // The address book's key is exported and the Favorites are walked while the identities' keys are.
    const bool addressBookFound = WAB_Check();
    std::optional<KeyExport> addressBookExport;
    if (addressBookFound && ItemPresent(items, ArchiveItem::AddressBook))
        addressBookExport = WAB_StartExport();
    ZipFolderWalk favoritesWalk =
        ItemPresent(items, ArchiveItem::Favorites) ? IEF_StartWalk(archivePath) : ZipFolderWalk{};
    const bool identities = Identity_Check(catalog) && ItemPresent(items, ArchiveItem::Identities);
    if (identities) {
        catalog.selectAll(true);
        if (!Identity_Compress(catalog, run))
            return std::nullopt;
    }
    const bool favorites = !failureTrapped() && IEF_Check() && ItemPresent(items, ArchiveItem::Favorites);
    if (favorites)
        IEF_Compress(run, std::move(favoritesWalk));
    // The other folders are walked while the address book is exported.
    StartListingNestedArchives(run.zip.NestedArchives, archivePath);
    const bool addressBook =
        !failureTrapped() && addressBookFound && ItemPresent(items, ArchiveItem::AddressBook);
    if (addressBook && !WAB_Compress(run, addressBookExport))
        return std::nullopt;
    return layout::ItemFlags(identities, favorites, addressBook);
}

// Saved only when the archive now at its path was written by this run.
bool archiveWrittenSince(const QString& archivePath, const QDateTime& start) {
    const QFileInfo archive(archivePath);
    // Two seconds: the modification time of a FAT medium is that coarse.
    return archive.isFile() && archive.lastModified() >= start.addSecs(-2);
}

// Only runs that got as far as collecting are recorded: a run that was not due did nothing.
void recordScheduledRun(const QDateTime& start, const QString& archivePath, const QString& items,
                        const SavedArchive& saved, ScheduledRunStatus status, const QString& problem = {}) {
    platform::RunRecord record;
    record.kind = platform::RunRecord::Kind::Scheduled;
    record.start = start;
    record.end = QDateTime::currentDateTime();
    record.archive = archivePath;
    record.items = items;
    record.size = saved.placed ? saved.size : -1;
    record.exitStatus = status;
    if (saved.placed && !saved.verify.ok()) {
        record.outcome = platform::RunRecord::Outcome::VerifyFailed;
        record.detail = VerifyFailureText(archivePath, saved.verify);
    } else if (status == RunSucceeded) {
        record.outcome = platform::RunRecord::Outcome::Succeeded;
    } else {
        record.outcome = status == ArchiveNotWritten ? platform::RunRecord::Outcome::NotWritten
                                                     : platform::RunRecord::Outcome::Failed;
    }
    if (!problem.isEmpty())
        record.detail = problem;
    platform::appendRunRecord(record);
}

} // namespace

void ScheduledBackup(ScheduledRunView& view) {
    ScheduledRunStatus status = RunSucceeded;
    QString archivePath;
    QDateTime runStart;
    QString collected;
    SavedArchive saved;
    TRAP_BEGIN("modScheduledRun:ScheduledBackup")
        STEP(1) LastError().number = 0;
        LastError().procedure.clear();
        STEP(2) if (SchedulerDisableSetting == 1) {
            STEP(3) launchMailerIfSet();
            STEP(4) endRun(RunSucceeded);
        }
        STEP(5) RegEdit& reg = regAccess();
        reg.RootKey = RegEdit::HKEY_CURRENT_USER;
        reg.KeyPath = SettingsKey();
        STEP(6) if (!reg.Exists(1)) {
            STEP(7)
            platform::dialogs().messageBox(Str(txtRunWizardAgain), platform::MsgButtons::OK,
                                           platform::MsgIcon::Critical, Str(txtSchedulerErrorTitle));
            STEP(8) endRun(ScheduleMissing);
        }
        STEP(9) const std::optional<Schedule> schedule = readSchedule(reg);
        STEP(10) if (!schedule) endRun(ScheduleMissing);
        STEP(11) const QDate today = platform::system().today();
        STEP(12) archivePath = ScheduledArchiveName(schedule->folder, schedule->stem, today);
        STEP(13)
        const QDate newest = ScanArchiveFolder(schedule->folder, schedule->stem, schedule->deleteCode, today);
        STEP(14) const std::optional<QDate> due = DueDate(schedule->scheduleCode, newest);
        STEP(15) if (due && today < *due) {
            STEP(16) launchMailerIfSet();
            STEP(17) endRun(RunSucceeded);
        }
        runStart = QDateTime::currentDateTime();
        // A half-restored profile backed up would stand for a whole one, and push older archives out.
        if (const QString unfinished = UnfinishedJournal(); !unfinished.isEmpty()) {
            platform::dialogs().messageBox(
                Str(txtNoBackupWhileHalfRestored) + QStringLiteral("\r\r") + unfinished,
                platform::MsgButtons::OK, platform::MsgIcon::Critical, Str(txtSchedulerErrorTitle));
            recordScheduledRun(runStart, archivePath, schedule->items, saved, ArchiveNotWritten);
            endRun(ArchiveNotWritten, archivePath);
        }
        // An archive that is to be encrypted is never written in the clear instead.
        QByteArray passphrase;
        STEP(31) if (EncryptSetting()) {
            const UnattendedPassphrase found = FindUnattendedPassphrase();
            STEP(32) if (found.passphrase.isEmpty()) {
                std::fprintf(stderr, "%s\n", qPrintable(found.problem));
                recordScheduledRun(runStart, archivePath, schedule->items, saved, RunFailed, found.problem);
                launchMailerIfSet();
                endRun(RunFailed);
            }
            passphrase = found.passphrase;
            AddArchivePassphrase(passphrase); // the read-back after writing needs it
        }
        DialogQuestions ask;
        STEP(18) if (!CheckWrite(archivePath, ask) || !CreateTempFolder(ask)) {
            STEP(19) launchMailerIfSet();
            status = failureTrapped() ? RunFailed : ArchiveNotWritten;
            recordScheduledRun(runStart, archivePath, schedule->items, saved, status);
            STEP(20) endRun(status, archivePath);
        }
        const auto work = [&](RunContext& run) {
            std::optional<QString> items;
            STEP(23) {
                const PhaseLog phase("collect");
                items = collectItems(schedule->items, archivePath, run);
            }
            // Nobody answers the crash report of an unattended run: a failure while collecting ends it
            // here, so that an archive missing an item never replaces a complete one.
            if (failureTrapped() || !items) {
                status = failureTrapped() ? RunFailed : ArchiveNotWritten; // an export's failure was told
                DeleteTempFolder();
                return;
            }
            collected = *items;
            STEP(24) if (!collected.contains(u'1')) {
                STEP(25)
                platform::dialogs().messageBox(Str(txtSchedulerNoItems), platform::MsgButtons::OK,
                                               platform::MsgIcon::Critical, AppTitle());
                STEP(26) DeleteTempFolder();
                STEP(27) status = ArchiveNotWritten;
            }
            else {
                run.zip.Passphrase = passphrase;
                STEP(28) view.savingStarts();
                const QDateTime saveStart = QDateTime::currentDateTime();
                STEP(29) {
                    const PhaseLog phase("save");
                    saved = SaveArchive(archivePath, collected, run);
                }
                STEP(30) if (!archiveWrittenSince(archivePath, saveStart)) status = ArchiveNotWritten;
                if (saved.placed && !saved.verify.ok())
                    status = RunFailed;
            }
        };
        STEP(22) view.run(work);
    TRAP_END
    if (failureTrapped())
        status = RunFailed;
    if (runStart.isValid())
        recordScheduledRun(runStart, archivePath, collected, saved, status);
    view.waitForCrashReport();
    launchMailerIfSet();
    endRun(status, archivePath);
}

void ScheduledRunAfterFailure(ScheduledRunView& view) {
    recordScheduledRun(QDateTime::currentDateTime(), QString(), QString(), SavedArchive{}, RunFailed);
    view.waitForCrashReport();
    endRun(RunFailed);
}

ScheduledRunView& UnattendedRunView() {
    static Unattended view;
    return view;
}

QString ArchiveFolderOnDisk(const QString& recorded) {
    const QString local = LocalPath(recorded);
    return local.isEmpty() ? recorded : local;
}

QString ArchiveFolderRecorded(const QString& local) {
    const QString recorded = RecordedPath(local);
    return recorded.isEmpty() ? local : recorded;
}

QDate ScanArchiveFolder(const QString& folder, const QString& stem, int deleteCode, QDate today) {
    QDate newest = ZeroDate();
    TRAP_BEGIN("modScheduledRun:ScanArchiveFolder")
        STEP(1) if (folder.isEmpty()) return newest;
        STEP(2) const std::optional<QDate> cutoff = DeleteCutoff(deleteCode, today);
        STEP(3) QDirIterator files(folder, QDir::Files | QDir::Hidden | QDir::System);
        while (files.hasNext()) {
            STEP(4) const QFileInfo file(files.nextFileInfo());
            STEP(5) const std::optional<QDate> date = ScheduleFileDate(file.fileName(), stem);
            STEP(6) if (!date) continue;
            STEP(7) if (*date > newest) newest = *date;
            // Not forced: a read-only archive is the user's way of keeping it.
            STEP(8)
            if (cutoff && *date <= *cutoff && file.permissions().testFlag(QFileDevice::WriteOwner))
                QFile::remove(file.filePath());
        }
    TRAP_END
    return newest;
}

} // namespace stowline
