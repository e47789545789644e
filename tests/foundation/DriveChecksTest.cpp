#include "foundation/modCheckWrite.h"
#include "foundation/modDiskSpace.h"
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
using stowline::test::DrivesDouble;
using stowline::test::DriveSpec;
using stowline::test::TestEnvironment;

namespace {

QString prompt(const QString& firstLine, const QString& drive) {
    return firstLine + u' ' + drive + u"\rWould you like to try again?"_s;
}

QStringList texts(const QList<test::DialogCall>& calls) {
    QStringList shown;
    for (const test::DialogCall& call : calls)
        shown << call.text;
    return shown;
}

} // namespace

class DriveChecksTest : public QObject {
    Q_OBJECT

private slots:
    void init() { ErrProcedure.clear(); }

    void largeIntegerHalvesAreUnsigned() {
        QCOMPARE(CLargeInt(-1, 0), 4294967295.0);
        QCOMPARE(CLargeInt(0, 1), 4294967296.0);
        QCOMPARE(CLargeInt(qint32(0x80000000), -1), 18446744071562067968.0);
    }

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

        QVERIFY(!CheckWrite(path));

        QCOMPARE(texts(env.dialogs.calls), QStringList{problem + u"\rWould you like to try again?"_s});
        const test::DialogCall& call = env.dialogs.calls.first();
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

        QVERIFY(CheckWrite(volume + u"/backups/2026/mail.stw"_s));

        QCOMPARE(texts(env.dialogs.calls), (QStringList{prompt(u"The drive does not exist:"_s, u"USB"_s),
                                                        prompt(u"The drive is not ready:"_s, u"USB"_s)}));
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
        QCOMPARE(ErrProcedure, u"modDiskSpace:GetFreeDiskSpace"_s);
    }

    void machineDrives_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("drive");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<bool>("ready");
        QTest::addColumn<int>("kind");
        const auto row = [](const char* path, const char* drive, bool exists, bool ready, DriveKind kind) {
            QTest::newRow(path) << QString::fromUtf8(path) << QString::fromUtf8(drive) << exists << ready
                                << int(kind);
        };
        row("/no-such-folder/x", "/", true, true, DriveKind::Fixed);
        row("/dev/shm/x", "/dev/shm", true, true, DriveKind::RamDisk);
        row("Q:\\x", "Q:", false, false, DriveKind::Unknown);
        row("/media/nothing/x", "/media/nothing", true, false, DriveKind::Removable);
        row("/run/media/someone/STICK/a/b", "/run/media/someone/STICK", true, false, DriveKind::Removable);
    }
    void machineDrives() {
        QFETCH(QString, path);
        QFETCH(QString, drive);
        QFETCH(bool, exists);
        QFETCH(bool, ready);
        QFETCH(int, kind);
        platform::LinuxDrives drives;
        QCOMPARE(drives.driveName(path), drive);
        QCOMPARE(drives.exists(drive), exists);
        QCOMPARE(drives.isReady(drive), ready);
        QCOMPARE(int(drives.kind(drive)), kind);
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
        QVERIFY(!CheckWrite(target));
        QCOMPARE(texts(env.dialogs.calls),
                 QStringList{prompt(u"Stowline could not write to the drive:"_s, drive)});
    }
};

QTEST_MAIN(DriveChecksTest)
#include "DriveChecksTest.moc"
