#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "foundation/modTempPath.h"
#include "tests/support/RecordingProgress.h"
#include "tests/support/TestEnvironment.h"
#include "ui/Windows.h"
#include "ui/frmError.h"

#include <QApplication>
#include <QDir>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

using namespace stowline;
using namespace Qt::StringLiterals;

namespace {

// A procedure in the shape every procedure of the program has, failing at its sixth step.
int failingAtStepSix() {
    int result = 0;
    TRAP_BEGIN("modTempPath:CreateTempFolder")
        for (int step = 1; step <= 8; ++step) {
            STEP(step)
            if (step == 6)
                throw VbError(70, u"Permission denied"_s);
            result = step;
        }
    TRAP_END
    return result;
}

} // namespace

class ErrorTrapTest : public QObject {
    Q_OBJECT
private slots:
    void stringTableIsWellFormed() { QCOMPARE(stringTableProblems(), QStringList()); }

    // A trapped error stops the procedure, leaves the crash window alone on screen with where it happened,
    // and each of its buttons ends the program.
    void crash_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("mails");
        QTest::addColumn<int>("reboots");
        QTest::newRow("report") << u"cmdReport"_s << 1 << 0;
        QTest::newRow("reboot") << u"cmdReboot"_s << 0 << 1;
        QTest::newRow("exit") << u"cmdExit"_s << 0 << 0;
    }
    void crash() {
        QFETCH(QString, button);
        QFETCH(int, mails);
        QFETCH(int, reboots);
        test::TestEnvironment env;
        for (const QString& name : {u"frmMain"_s, u"frmProgress"_s}) {
            forms::add(name, new QWidget);
            forms::find(name)->show();
        }
        QCOMPARE(failingAtStepSix(), 5); // the result as it stood
        QCOMPARE(LastError().procedure + u' ' + QString::number(LastError().line) + u' ' +
                     QString::number(LastError().number),
                 u"modTempPath:CreateTempFolder 6 70"_s);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QStringList visible;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible())
                visible << w->objectName();
        QCOMPARE(visible, QStringList{u"frmError"_s});
        QVERIFY(!forms::find(u"frmMain"_s));
        auto* window = qobject_cast<frmError*>(forms::find(u"frmError"_s));
        QCOMPARE(window->findChild<QPlainTextEdit*>(u"txtError"_s)->toPlainText(),
                 u"Permission denied in modTempPath:CreateTempFolder at line 6"_s);
        const QString address = frmError::reportAddress();
        QVERIFY(address.startsWith(u"mailto:Velmora Bug Report <"_s + BugMailAddress() +
                                   u">?subject=Error report: Stowline 1.0.375&Body="_s));
        QVERIFY2(address.endsWith(u"&Body=modTempPath:CreateTempFolder, line 6, error number 70, "
                                  u"Permission denied, Windows version=4.10.67766222"_s),
                 qPrintable(address));
        QVERIFY_THROWS_EXCEPTION(platform::ProgramEnded, window->findChild<QPushButton*>(button)->click());
        QCOMPARE(env.shell.opened.size(), mails);
        QCOMPARE(env.system.rebootRequests, reboots);
    }

    void osErrorsBecomeClassicNumbers() {
        QCOMPARE(osError(EACCES).number(), 70);
        QCOMPARE(osError(ENOENT).number(), 53);
        QCOMPARE(osError(ENOENT, true).description(), u"Path not found"_s);
        QCOMPARE(osError(ENOSPC).description(), u"Disk full"_s);
    }

    // The host shows the zip run's progress, turns a full temporary folder into error 407 and ends a
    // cancelled run, its workspace cleared.
    void hostFollowsTheZipRun() {
        test::TestEnvironment env;
        test::RecordingProgress view;
        frmInterface& host = view.host;
        emit host.zip().FileStartedCompressing(u"/data/Mail Store/Inbox.dbx"_s);
        QCOMPARE(view.fileLine(), u"File: Inbox.dbx"_s);
        emit host.zip().FileStartedDecompressing(u"{ID}\\Sent.dbx"_s);
        QCOMPARE(view.fileLine(), u"File: Sent.dbx"_s);
        emit host.zip().Statistics(37.9, 100);
        QCOMPARE(view.bars, qMakePair(37, 100));

        LastError().number = 0;
        emit host.zip().OnError(3); // other errors are the run's own to raise
        QCOMPARE(LastError().number, 0);
        emit host.zip().OnError(10);
        QCOMPARE(LastError().number, 407);
        QVERIFY(LastError().description.startsWith(u"Stowline does not have enough free diskspace"_s));

        emit host.zip().ProcessEnded(); // not cancelled: the run goes on
        host.run().cancel.request();
        QVERIFY(host.zip().Cancel && host.zip().Cancel->requested());
        QVERIFY(CreateTempFolder(env.questions));
        QDir().mkpath(TempDir() + u"stowline/leftover"_s);
        QVERIFY_THROWS_EXCEPTION(platform::ProgramEnded, emit host.zip().ProcessEnded());
        QVERIFY(!QDir(TempDir() + u"stowline"_s).exists());
    }

    void reportedFailureKeepsTheRecordOnScreen() {
        test::TestEnvironment env;
        HandleError(u"frmInterface:cmpZIP_OnError"_s, 2, 407, u"full"_s);
        TRAP_BEGIN("modCreateArchive:CreateArchive")
            STEP(3) throw VbError(61, u"Disk full"_s, VbError::Reported);
        TRAP_END
        QCOMPARE(LastError().number, 407);
    }
};

QTEST_MAIN(ErrorTrapTest)
#include "ErrorTrapTest.moc"
