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
using platform::DriveKind;
using platform::MsgAnswer;
using stowline::test::DrivesDouble;
using stowline::test::DriveSpec;
using stowline::test::TestEnvironment;

namespace {

QString prompt(const QString& firstLine, const QString& drive) {
    return firstLine + u' ' + drive + QStringLiteral("\rWould you like to try again?");
}

// A small real tmpfs with a blank in its name; only root may mount one.
bool mountSmallTmpfs(const QString& mountPoint) {
    QDir().mkpath(mountPoint);
    return geteuid() == 0 &&
           QProcess::execute(QStringLiteral("mount"),
                             {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                              QStringLiteral("size=64k"), QStringLiteral("tmpfs"), mountPoint}) == 0;
}

void fillUp(const QString& folder) {
    QFile filler(folder + QStringLiteral("/filler"));
    QVERIFY(filler.open(QIODevice::WriteOnly));
    const QByteArray block(4096, 'x');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
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
        QTest::addColumn<QString>("firstLine");
        QTest::addColumn<QString>("drive");
        const auto row = [](const char* path, const char* firstLine, const char* drive) {
            QTest::newRow(path) << QString::fromUtf8(path) << QString::fromUtf8(firstLine)
                                << QString::fromUtf8(drive);
        };
        row("Q:\\backup\\mail.stw", "The drive does not exist:", "Q:");
        row("\\\\server\\share\\mail.stw", "The drive does not exist:", "\\\\server\\share");
        row("/media/nothing/mail.stw", "The drive is not ready:", "/media/nothing");
        row("/declared/reader/mail.stw", "The drive is not ready:", "SD");
        row("/declared/full/mail.stw", "Stowline could not write to the drive:", "FULL");
    }
    void checkWritePromptsUntilNo() {
        QFETCH(QString, path);
        QFETCH(QString, firstLine);
        QFETCH(QString, drive);
        TestEnvironment env;
        DrivesDouble drives;
        drives.declare(QStringLiteral("SD"), {QStringLiteral("/declared/reader/")},
                       DriveSpec{.kind = DriveKind::Removable, .ready = false});
        drives.declare(QStringLiteral("FULL"), {QStringLiteral("/declared/full/")},
                       DriveSpec{.availableBytes = 0});
        env.dialogs.answerMessage(MsgAnswer::No);

        QVERIFY(!CheckWrite(path));

        QCOMPARE(env.dialogs.calls.size(), 1);
        const test::DialogCall& call = env.dialogs.calls.first();
        QCOMPARE(call.text, prompt(firstLine, drive));
        QCOMPARE(call.title, QStringLiteral("Stowline error"));
        QCOMPARE(call.buttons, platform::MsgButtons::YesNo);
        QCOMPARE(call.icon, platform::MsgIcon::Exclamation);
    }

    void checkWriteRestartsAfterYesAndCreatesFolder() {
        TestEnvironment env;
        DrivesDouble drives;
        const QString volume = env.path(QStringLiteral("vol"));
        drives.declare(QStringLiteral("USB"), {volume},
                       DriveSpec{.availableBytes = 1, .existsAfter = 1, .readyAfter = 1});
        env.dialogs.answerMessage(MsgAnswer::Yes);
        env.dialogs.answerMessage(MsgAnswer::Yes);

        QVERIFY(CheckWrite(volume + QStringLiteral("/backups/2026/mail.stw")));

        QCOMPARE(env.dialogs.calls.size(), 2);
        QCOMPARE(env.dialogs.calls[0].text,
                 prompt(QStringLiteral("The drive does not exist:"), QStringLiteral("USB")));
        QCOMPARE(env.dialogs.calls[1].text,
                 prompt(QStringLiteral("The drive is not ready:"), QStringLiteral("USB")));
        QCOMPARE(drives.log.count(QStringLiteral("exists USB")), 3); // every round starts from the first test
        QVERIFY(QFileInfo(volume + QStringLiteral("/backups/2026")).isDir());
        QVERIFY(!QFileInfo::exists(volume + QStringLiteral("/backups/2026/mail.stw")));
    }

    void shareSpaceComesFromTotalFreeBytes() {
        TestEnvironment env;
        DrivesDouble drives;
        drives.declare(QStringLiteral("\\\\server\\share"), {QStringLiteral("\\\\server\\share\\")},
                       DriveSpec{.kind = DriveKind::Remote, .availableBytes = 5, .totalFreeBytes = 7});
        QCOMPARE(GetFreeDiskSpace(QStringLiteral("\\\\server\\share\\dir\\mail.stw")), 7.0);
        QVERIFY(drives.log.contains(QStringLiteral("totalFree \\\\server\\share")));
        QCOMPARE(GetFreeDiskSpace(QStringLiteral("relative/mail.stw")), 0.0);
        QCOMPARE(ErrProcedure, QStringLiteral("modDiskSpace:GetFreeDiskSpace"));
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

    void fullTmpfsCannotBeWritten() {
        TestEnvironment env;
        const QString mountPoint = env.path(QStringLiteral("small disk"));
        if (!mountSmallTmpfs(mountPoint))
            QSKIP("mounting a tmpfs needs root");
        auto unmount = qScopeGuard([&] { QProcess::execute(QStringLiteral("umount"), {mountPoint}); });
        const QString drive = QFileInfo(mountPoint).canonicalFilePath();
        const QString target = drive + QStringLiteral("/new/mail.stw");
        platform::LinuxDrives drives;
        QCOMPARE(drives.driveName(target), drive);
        QCOMPARE(drives.kind(drive), DriveKind::RamDisk);
        QVERIFY(GetFreeDiskSpace(target) > 0);

        fillUp(drive);
        env.dialogs.answerMessage(MsgAnswer::No);

        QCOMPARE(GetFreeDiskSpace(target), 0.0);
        QVERIFY(!CheckWrite(target));
        QCOMPARE(env.dialogs.calls.value(0).text,
                 prompt(QStringLiteral("Stowline could not write to the drive:"), drive));
    }
};

QTEST_MAIN(DriveChecksTest)
#include "DriveChecksTest.moc"
