#include "scheduler/modCommandLine.h"

#include "archive/ArchiveLayout.h"
#include "archive/IdentityCatalog.h"
#include "archive/PhaseLog.h"
#include "archive/ZipCompressor.h"
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
#include "scheduler/modScheduleRules.h"
#include "ui/DialogQuestions.h"
#include "ui/RunWorker.h"
#include "ui/Windows.h"
#include "ui/WizardPage.h"
#include "ui/frmInterface.h"
#include "ui/frmProgress.h"
#include "ui/frmRS_Choice.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDirIterator>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPointer>
#include <QPushButton>
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

// With a display, the crash report stays until the user answers it (each answer ends the program).
void waitForCrashReport() {
    QWidget* report = forms::find(QStringLiteral("frmError"));
    const QString platformName = QGuiApplication::platformName();
    if (!report || platformName == u"offscreen" || platformName == u"minimal")
        return;
    QEventLoop loop;
    QObject::connect(report, &QObject::destroyed, &loop, &QEventLoop::quit);
    loop.exec();
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

frmProgress& showScheduledProgress() {
    frmProgress& window = ShowProgress();
    window.setTitle(Str(txtScheduledBackup));
    window.closeButton().hide();
    window.cancelButton().show();
    return window;
}

// Queued behind the progress already reported, so the window sees the collecting end first; a
// window unloaded meanwhile (a failure was reported) is left alone.
void disableCancel(const QPointer<frmProgress>& window) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [window] {
            if (window)
                window->cancelButton().setEnabled(false);
        },
        Qt::QueuedConnection);
}

// Saved only when the archive now at its path was written by this run.
bool archiveWrittenSince(const QString& archivePath, const QDateTime& start) {
    const QFileInfo archive(archivePath);
    // Two seconds: the modification time of a FAT medium is that coarse.
    return archive.isFile() && archive.lastModified() >= start.addSecs(-2);
}

// Only runs that got as far as collecting are recorded: a run that was not due did nothing.
void recordScheduledRun(const QDateTime& start, const QString& archivePath, const QString& items,
                        const SavedArchive& saved, ScheduledRunStatus status) {
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
    platform::appendRunRecord(record);
}

void ScheduledBackup() {
    ScheduledRunStatus status = RunSucceeded;
    QString archivePath;
    QDateTime runStart;
    QString collected;
    SavedArchive saved;
    TRAP_BEGIN("modCommandLine:ScheduledBackup")
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
        DialogQuestions ask;
        STEP(18) if (!CheckWrite(archivePath, ask) || !CreateTempFolder(ask)) {
            STEP(19) launchMailerIfSet();
            status = failureTrapped() ? RunFailed : ArchiveNotWritten;
            recordScheduledRun(runStart, archivePath, schedule->items, saved, status);
            STEP(20) endRun(status, archivePath);
        }
        QPointer<frmProgress> shownWindow;
        const RunWork work = [&](RunContext& run) {
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
                STEP(28) disableCancel(shownWindow);
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
        if (platform::runsUnattended()) {
            // No display, nobody to see the window: it is not made, let alone drawn.
            UnattendedProgress progress;
            frmInterface host(progress);
            work(host.run());
        } else {
            STEP(22) shownWindow = &showScheduledProgress();
            // Collecting and saving run on a worker: the window stays live and its Cancel answers.
            RunAndWait(*shownWindow, work);
        }
    TRAP_END
    if (failureTrapped())
        status = RunFailed;
    if (runStart.isValid())
        recordScheduledRun(runStart, archivePath, collected, saved, status);
    waitForCrashReport();
    launchMailerIfSet();
    endRun(status, archivePath);
}

bool isScheduledRun(const QString& commandLine) { return commandLine.left(2).toUpper() == u"/S"; }

void RestoreStart(const QString& commandLine) {
    TRAP_BEGIN("modCommandLine:RestoreStart")
        STEP(1) const QString archivePath = RestorePathOf(commandLine);
        STEP(2)
        OpenRestoreWizard(archivePath, Str(txtArchiveNotFound) + u' ' + archivePath,
                          txtSchedulerNotAnArchive);
    TRAP_END
}

} // namespace

QString RestorePathOf(const QString& commandLine) {
    QString result;
    TRAP_BEGIN("modCommandLine:RestorePathOf")
        // Too short to hold a path: no archive, which the caller reports as not found.
        STEP(1) if (commandLine.size() < 5) return result;
        STEP(2) result = commandLine.mid(4, commandLine.size() - 5);
    TRAP_END
    return result;
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
    TRAP_BEGIN("modCommandLine:ScanArchiveFolder")
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

void Command_Input(const QString& commandLine) {
    TRAP_BEGIN("modCommandLine:Command_Input")
        STEP(1) const QString switchText = commandLine.left(2).toUpper();
        STEP(2) if (isScheduledRun(commandLine)) ScheduledBackup();
        STEP(3) if (switchText == u"/R") RestoreStart(commandLine);
    TRAP_END
}

void Command_InputAfterFailure(const QString& commandLine) {
    if (!isScheduledRun(commandLine))
        return;
    recordScheduledRun(QDateTime::currentDateTime(), QString(), QString(), SavedArchive{}, RunFailed);
    waitForCrashReport();
    endRun(RunFailed);
}

} // namespace stowline
