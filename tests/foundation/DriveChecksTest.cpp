#include "foundation/modCheckWrite.h"
#include "foundation/modDiskSpace.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "platform/LinuxDrives.h"
#include "tests/support/DrivesDouble.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <unistd.h>

using namespace stowline;
using namespace Qt::StringLiterals;
using platform::DriveKind;
using platform::MsgAnswer;
using namespace stowline::test;

namespace {

QString prompt(const QString& firstLine, const QString& drive) {
    return firstLine + u' ' + drive + u"\rWould you like to try again?"_s;
}

} // namespace

class DriveChecksTest : public QObject {
    Q_OBJECT

private slots:
    void init() { LastError().procedure.clear(); }

    void checkWritePromptsUntilNo_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("problem");
        QTest::newRow("letter") << u"Q:\\backup\\mail.stw"_s << u"The drive does not exist: Q:"_s;
        QTest::newRow("share") << u"\\\\server\\share\\mail.stw"_s
                               << u"The drive does not exist: \\\\server\\share"_s;
        QTest::newRow("empty media folder")
            << u"/media/nothing/mail.stw"_s << u"The drive is not ready: /media/nothing"_s;
        QTest::newRow("no space") << u"/declared/full/mail.stw"_s
                                  << u"Stowline could not write to the drive: FULL"_s;
    }
    void checkWritePromptsUntilNo() {
        QFETCH(QString, path);
        QFETCH(QString, problem);
        TestEnvironment env;
        DrivesDouble drives;
        drives.declare(u"FULL"_s, {u"/declared/full/"_s}, DriveSpec{.availableBytes = 0});
        env.dialogs.answerMessage(MsgAnswer::No);

        QVERIFY(!CheckWrite(path, env.questions));

        const DialogCall call = env.dialogs.calls.value(0); // a second prompt would find no answer
        QCOMPARE(call.text, problem + u"\rWould you like to try again?"_s);
        QVERIFY(call.title == u"Stowline error"_s && call.buttons == platform::MsgButtons::YesNo &&
                call.icon == platform::MsgIcon::Exclamation);
    }

    void checkWriteRestartsAfterYesAndCreatesFolder() {
        TestEnvironment env;
        DrivesDouble drives;
        const QString volume = env.path(u"vol"_s);
        drives.declare(u"USB"_s, {volume}, DriveSpec{.availableBytes = 1, .existsAfter = 1, .readyAfter = 1});
        env.dialogs.answerMessage(MsgAnswer::Yes);
        env.dialogs.answerMessage(MsgAnswer::Yes);

        QVERIFY(CheckWrite(volume + u"/backups/2026/mail.stw"_s, env.questions));

        QCOMPARE(env.dialogs.calls.size(), 2);
        QCOMPARE(env.dialogs.calls[0].text, prompt(u"The drive does not exist:"_s, u"USB"_s));
        QCOMPARE(env.dialogs.calls[1].text, prompt(u"The drive is not ready:"_s, u"USB"_s));
        QCOMPARE(drives.log.count(u"exists USB"_s), 3); // every round starts from the first test
        QVERIFY(QFileInfo(volume + u"/backups/2026"_s).isDir());
        QVERIFY(!QFileInfo::exists(volume + u"/backups/2026/mail.stw"_s));
    }

    void shareSpaceComesFromTotalFreeBytes() {
        TestEnvironment env;
        DrivesDouble drives;
        drives.declare(u"\\\\server\\share"_s, {u"\\\\server\\share\\"_s},
                       DriveSpec{.kind = DriveKind::Remote, .availableBytes = 5, .totalFreeBytes = 7});
        QCOMPARE(GetFreeDiskSpace(u"\\\\server\\share\\dir\\mail.stw"_s), 7.0);
        QCOMPARE(GetFreeDiskSpace(u"relative/mail.stw"_s), 0.0);
        QCOMPARE(LastError().procedure, u"modDiskSpace:GetFreeDiskSpace"_s);
    }

    void machineDrives_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected"); // drive: kind, exists, ready
        QTest::newRow("root") << u"/no-such-folder/x"_s << u"/: Fixed, exists, ready"_s;
        QTest::newRow("shared memory") << u"/dev/shm/x"_s << u"/dev/shm: RamDisk, exists, ready"_s;
        QTest::newRow("empty media folder")
            << u"/media/nothing/x"_s << u"/media/nothing: Removable, exists, not ready"_s;
        QTest::newRow("stick not plugged in") << u"/run/media/someone/STICK/a/b"_s
                                              << u"/run/media/someone/STICK: Removable, exists, not ready"_s;
    }
    void machineDrives() {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        static const QStringList kinds{u"Unknown"_s, u"Removable"_s, u"Fixed"_s,
                                       u"Remote"_s,  u"CDRom"_s,     u"RamDisk"_s};
        platform::LinuxDrives drives;
        const QString drive = drives.driveName(path);
        const bool ready = drives.isReady(drive);
        QCOMPARE(u"%1: %2, %3, %4"_s.arg(drive, kinds.value(int(drives.kind(drive))),
                                         drives.exists(drive) ? u"exists"_s : u"missing"_s,
                                         ready ? u"ready"_s : u"not ready"_s),
                 expected);
        QCOMPARE(drives.availableBytes(path) > 0, ready);
    }

    // A small real tmpfs with a blank in its name, filled up; only root may mount one.
    void fullTmpfsCannotBeWritten() {
        TestEnvironment env;
        const QString mountPoint = env.path(u"small disk"_s);
        QDir().mkpath(mountPoint);
        if (geteuid() != 0 || QProcess::execute(u"mount"_s, {u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=64k"_s,
                                                             u"tmpfs"_s, mountPoint}) != 0)
            QSKIP("mounting a tmpfs needs root");
        auto unmount = qScopeGuard([&] { QProcess::execute(u"umount"_s, {mountPoint}); });
        const QString drive = QFileInfo(mountPoint).canonicalFilePath();
        const QString target = drive + u"/new/mail.stw"_s;
        platform::LinuxDrives drives;
        QCOMPARE(drives.driveName(target), drive);
        QCOMPARE(drives.kind(drive), DriveKind::RamDisk);
        QVERIFY(GetFreeDiskSpace(target) > 0);

        QFile filler(drive + u"/filler"_s);
        QVERIFY(filler.open(QIODevice::WriteOnly));
        while (filler.write(QByteArray(4096, 'x')) == 4096 && filler.flush()) {
        }
        env.dialogs.answerMessage(MsgAnswer::No);

        QCOMPARE(GetFreeDiskSpace(target), 0.0);
        QVERIFY(!CheckWrite(target, env.questions));
        QCOMPARE(env.dialogs.calls.value(0).text, prompt(u"Stowline could not write to the drive:"_s, drive));
    }
};

QTEST_MAIN(DriveChecksTest)
#include "DriveChecksTest.moc"
