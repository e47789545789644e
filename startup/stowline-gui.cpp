#include "platform/Heap.h"
#include "startup/AppIdentity.h"
#include "startup/CommandLineOptions.h"
#include "startup/MailCommand.h"
#include "startup/ReportCommands.h"
#include "startup/StartSteps.h"
#include "startup/frmMain.h"
#include "ui/QtDialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QTextStream>
#include <cstdio>

namespace {

// An unattended run (/S from cron or a systemd timer) has no display to open.
void chooseOffscreenWithoutDisplay() {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // The toolkit's own warnings about the missing display would only clutter a cron mail.
        if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
            qputenv("QT_LOGGING_RULES", "default.warning=false;qt.*.warning=false");
    }
}

// The text names the registry's file, shown as it is.
void plainMessage(QMessageBox::Icon icon, const QString& text) {
    QMessageBox box(icon, QStringLiteral("Stowline"), text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool registryOpens() {
    const std::optional<QString> failure = stowline::RegistryFailure();
    if (!failure)
        return true;
    std::fprintf(stderr, "stowline: %s\n", qPrintable(*failure));
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        plainMessage(QMessageBox::Critical, *failure);
    return false;
}

// A second Stowline on the same store would be a second writer: it says so and ends.
stowline::platform::RegistryStoreLock lockStoreOrSay() {
    QString refusal;
    stowline::platform::RegistryStoreLock lock = stowline::LockStore(refusal);
    if (!lock) {
        std::fprintf(stderr, "stowline: %s\n", qPrintable(refusal));
        if (QGuiApplication::platformName() != QLatin1String("offscreen"))
            plainMessage(QMessageBox::Information, refusal);
    }
    return lock;
}

using MailCommand = int (*)(const stowline::CommandLineOptions&, QTextStream&, QTextStream&);

MailCommand mailCommandFor(stowline::CommandLineOptions::Action action) {
    using Action = stowline::CommandLineOptions::Action;
    switch (action) {
    case Action::ExportMail:
        return stowline::ExportMailCommand;
    case Action::FindMail:
        return stowline::FindMailCommand;
    case Action::UploadMail:
        return stowline::UploadMailCommand;
    default:
        return nullptr;
    }
}

} // namespace

int main(int argc, char* argv[]) {
    stowline::platform::shareOneHeap();
    chooseOffscreenWithoutDisplay();
    stowline::PinLocalTimeZone();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("stowline"));
    // Offscreen nobody sees a window or answers a dialog: messages go to stderr, questions are declined.
    const bool windowsShown = QGuiApplication::platformName() != QLatin1String("offscreen");
    stowline::SetUpApplicationIdentity(windowsShown);
    if (windowsShown)
        stowline::InstallWindowDialogs();
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    const stowline::CommandLineOptions options = stowline::parseCommandLine(arguments);
    QTextStream out(stdout), err(stderr);
    if (const std::optional<int> status = stowline::answerCommandLine(options, out, err))
        return *status;
    stowline::ChooseRegistrySource(options);
    using Action = stowline::CommandLineOptions::Action;
    if (options.action == Action::Verify)
        return stowline::VerifyCommand(options.verifyFile, out, err);
    // An archive is read on its own; the profile's mail needs its registry.
    const auto mailCommand = mailCommandFor(options.action);
    if (mailCommand && !options.mailArchive.isEmpty())
        return mailCommand(options, out, err);
    if (!registryOpens())
        return stowline::RegistryUnusable;
    if (options.action == Action::Status)
        return stowline::StatusCommand(out);
    if (mailCommand)
        return mailCommand(options, out, err);
    const stowline::platform::RegistryStoreLock storeLock = lockStoreOrSay();
    if (!storeLock)
        return stowline::AlreadyRunning;
    if (options.action == Action::UndoRestore)
        return stowline::UndoRestoreCommand(out, err);
    stowline::frmMain::Load(stowline::commandLineText(options.switchArguments));
    return QApplication::exec();
}
