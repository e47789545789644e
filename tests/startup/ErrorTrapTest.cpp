#include "foundation/ProgressView.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "foundation/modTempPath.h"
#include "tests/support/TestEnvironment.h"
#include "ui/Windows.h"
#include "ui/frmError.h"
#include "ui/frmInterface.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

using namespace stowline;

namespace {

// A procedure in the shape every procedure of the program has.
int failingAt(int failingStep, int number, const char* description, int* reached) {
    int result = 0;
    TRAP_BEGIN("modTempPath:CreateTempFolder")
        for (int step = 1; step <= 8; ++step) {
            STEP(step) if (step == failingStep) throw VbError(number, QString::fromLatin1(description));
            *reached = step;
            result = step;
        }
    TRAP_END
    return result;
}

// Stands in for the progress window so that the host's handlers can be watched without the UI layer.
class ProgressRecorder : public ProgressView {
public:
    void setStatus(const QString& text) override { m_status = text; }
    void setFileLine(const QString& text) override { m_file = text; }
    void setBars(int upper, int lower) override { bars = {upper, lower}; }
    void setCloseEnabled(bool) override {}
    QString status() const override { return m_status; }
    QString fileLine() const override { return m_file; }
    QPair<int, int> bars;

private:
    QString m_status;
    QString m_file;
};

QStringList visibleWindowNames() {
    QStringList names;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible())
            names << w->objectName();
    return names;
}

} // namespace

class ErrorTrapTest : public QObject {
    Q_OBJECT
private slots:
    void stringTableIsWellFormed() { QCOMPARE(stringTableProblems(), QStringList()); }

    void trapReportsLocationLineAndStopsTheProcedure() {
        test::TestEnvironment env;
        int reached = 0;
        const int result = failingAt(6, 70, "Permission denied", &reached);
        QCOMPARE(reached, 5);
        QCOMPARE(result, 5); // the result as it stood
        QCOMPARE(LastError().procedure, QStringLiteral("modTempPath:CreateTempFolder"));
        QCOMPARE(LastError().line, qint16(6));
        QCOMPARE(LastError().number, 70);
        auto* window = qobject_cast<frmError*>(forms::find(QStringLiteral("frmError")));
        QVERIFY(window);
        QCOMPARE(window->findChild<QPlainTextEdit*>(QStringLiteral("txtError"))->toPlainText(),
                 QStringLiteral("Permission denied in modTempPath:CreateTempFolder at line 6"));
    }

    void osErrorsBecomeClassicNumbers() {
        QCOMPARE(osError(EACCES).number(), 70);
        QCOMPARE(osError(ENOENT).number(), 53);
        QCOMPARE(osError(ENOENT, true).description(), QStringLiteral("Path not found"));
        QCOMPARE(osError(ENOSPC).description(), QStringLiteral("Disk full"));
    }

    void crashWindowIsTheOnlyWindowLeft() {
        test::TestEnvironment env;
        auto* hub = new QWidget;
        forms::add(QStringLiteral("frmMain"), hub);
        hub->show();
        auto* progress = new QWidget;
        forms::add(QStringLiteral("frmProgress"), progress);
        progress->show();
        int reached = 0;
        failingAt(2, 5, "Invalid procedure call or argument", &reached);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(visibleWindowNames(), QStringList{QStringLiteral("frmError")});
        QVERIFY(!forms::find(QStringLiteral("frmMain")));
    }

    void reportAddressIsComposedExactly() {
        test::TestEnvironment env;
        int reached = 0;
        failingAt(6, 70, "Permission denied", &reached);
        const QString address = frmError::reportAddress();
        QVERIFY(address.startsWith(QStringLiteral("mailto:Velmora Bug Report <") + BugMailAddress() +
                                   QStringLiteral(">?subject=Error report: Stowline 1.0.375&Body=")));
        QVERIFY2(
            address.endsWith(QStringLiteral("&Body=modTempPath:CreateTempFolder, line 6, error number 70, "
                                            "Permission denied, Windows version=4.10.67766222")),
            qPrintable(address));
    }

    void everyCrashButtonEndsTheProgram_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("mails");
        QTest::addColumn<int>("reboots");
        QTest::newRow("report") << QStringLiteral("cmdReport") << 1 << 0;
        QTest::newRow("reboot") << QStringLiteral("cmdReboot") << 0 << 1;
        QTest::newRow("exit") << QStringLiteral("cmdExit") << 0 << 0;
    }

    void everyCrashButtonEndsTheProgram() {
        QFETCH(QString, button);
        QFETCH(int, mails);
        QFETCH(int, reboots);
        test::TestEnvironment env;
        int reached = 0;
        failingAt(1, 53, "File not found", &reached);
        auto* window = forms::find(QStringLiteral("frmError"));
        QVERIFY(window);
        bool ended = false;
        try {
            window->findChild<QPushButton*>(button)->click();
        } catch (const platform::ProgramEnded&) {
            ended = true;
        }
        QVERIFY(ended);
        QCOMPARE(env.shell.opened.size(), mails);
        QCOMPARE(env.system.rebootRequests, reboots);
    }

    void fullTempFolderBecomesError407() {
        test::TestEnvironment env;
        ProgressRecorder view;
        frmInterface host(view);
        emit host.zip().OnError(10);
        QCOMPARE(LastError().number, 407);
        QCOMPARE(LastError().procedure, QStringLiteral("frmInterface:cmpZIP_OnError"));
        QVERIFY(LastError().description.startsWith(
            QStringLiteral("Stowline does not have enough free diskspace")));
        LastError().number = 0;
        emit host.zip().OnError(3);
        QCOMPARE(LastError().number, 0);
    }

    void hostMovesTheProgressWindowAndEndsACancelledRun() {
        test::TestEnvironment env;
        ProgressRecorder recorder;
        ProgressRecorder* view = &recorder;
        frmInterface host(recorder);
        emit host.zip().FileStartedCompressing(QStringLiteral("/data/Mail Store/Inbox.dbx"));
        QCOMPARE(view->fileLine(), QStringLiteral("File: Inbox.dbx"));
        emit host.zip().FileStartedDecompressing(QStringLiteral("{ID}\\Sent.dbx"));
        QCOMPARE(view->fileLine(), QStringLiteral("File: Sent.dbx"));
        emit host.zip().Statistics(37.9, 100);
        QCOMPARE(view->bars, qMakePair(37, 100));

        emit host.zip().ProcessEnded(); // not cancelled: the run goes on
        host.run().cancel.request();
        QVERIFY(host.zip().Cancel && host.zip().Cancel->requested());
        QVERIFY(CreateTempFolder());
        QDir().mkpath(TempDir() + QStringLiteral("stowline/leftover"));
        QVERIFY_THROWS_EXCEPTION(platform::ProgramEnded, emit host.zip().ProcessEnded());
        QVERIFY(!QDir(TempDir() + QStringLiteral("stowline")).exists());
    }

    void reportedFailureKeepsTheRecordOnScreen() {
        test::TestEnvironment env;
        HandleError(QStringLiteral("frmInterface:cmpZIP_OnError"), 2, 407, QStringLiteral("full"));
        TRAP_BEGIN("modCreateArchive:CreateArchive")
            STEP(3) throw VbError(61, QStringLiteral("Disk full"), VbError::Reported);
        TRAP_END
        QCOMPARE(LastError().number, 407);
    }
};

QTEST_MAIN(ErrorTrapTest)
#include "ErrorTrapTest.moc"
