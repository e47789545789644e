#include "scheduler/modCommandLine.h"

#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "platform/Dialogs.h"
#include "platform/Platform.h"
#include "ui/RunWorker.h"
#include "ui/Windows.h"
#include "ui/frmProgress.h"
#include "ui/frmRS_Choice.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QPointer>
#include <QPushButton>

namespace stowline {

namespace {

// With a display, the crash report stays until the user answers it (each answer ends the program).
void waitForAnsweredCrashReport() {
    QWidget* report = forms::find(QStringLiteral("frmError"));
    const QString platformName = QGuiApplication::platformName();
    if (!report || platformName == u"offscreen" || platformName == u"minimal")
        return;
    QEventLoop loop;
    QObject::connect(report, &QObject::destroyed, &loop, &QEventLoop::quit);
    loop.exec();
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

// The run in the progress window; collecting and saving run on a worker, so that the window stays
// live and its Cancel answers.
class WindowRunView : public ScheduledRunView {
public:
    void run(const std::function<void(RunContext&)>& work) override {
        m_window = &showScheduledProgress();
        RunAndWait(*m_window, work);
    }
    void savingStarts() override { disableCancel(m_window); }
    void waitForCrashReport() override { waitForAnsweredCrashReport(); }

private:
    QPointer<frmProgress> m_window;
};

ScheduledRunView& scheduledRunView() {
    if (platform::runsUnattended())
        return UnattendedRunView();
    static WindowRunView view;
    return view;
}

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

void Command_Input(const QString& commandLine) {
    TRAP_BEGIN("modCommandLine:Command_Input")
        STEP(1) const QString switchText = commandLine.left(2).toUpper();
        STEP(2) if (IsScheduledRun(commandLine)) ScheduledBackup(scheduledRunView());
        STEP(3) if (switchText == u"/R") RestoreStart(commandLine);
    TRAP_END
}

void Command_InputAfterFailure(const QString& commandLine) {
    if (IsScheduledRun(commandLine))
        ScheduledRunAfterFailure(scheduledRunView());
}

} // namespace stowline
