#include "foundation/modCheckWrite.h"
#include "foundation/modDiskSpace.h"
#include "foundation/modGlobal.h"
#include "platform/LinuxDrives.h"
#include "tests/support/DrivesDouble.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
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

// A small real tmpfs; only root may mount one.
class SmallTmpfs {
public:
    explicit SmallTmpfs(const QString& mountPoint) : m_mountPoint(mountPoint) {
        QDir().mkpath(mountPoint);
        m_mounted = geteuid() == 0 &&
                    QProcess::execute(QStringLiteral("mount"),
                                      {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                       QStringLiteral("size=64k"), QStringLiteral("tmpfs"), mountPoint}) == 0;
    }
    ~SmallTmpfs() {
        if (m_mounted)
            QProcess::execute(QStringLiteral("umount"), {m_mountPoint});
    }
    bool mounted() const { return m_mounted; }
    void fill() const {
        QFile filler(m_mountPoint + QStringLiteral("/filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
    }

private:
    QString m_mountPoint;
    bool m_mounted = false;
};

} // namespace

class DriveChecksTest : public QObject {
    Q_OBJECT

private slots:
    void init() { ErrProcedure.clear(); }

    void largeIntegerHalvesAreUnsigned_data() {
        QTest::addColumn<int>("low");
        QTest::addColumn<int>("high");
        QTest::addColumn<double>("expected");
        QTest::newRow("low all ones") << -1 << 0 << 4294967295.0;
        QTest::newRow("one high") << 0 << 1 << 4294967296.0;
        QTest::newRow("zero") << 0 << 0 << 0.0;
        QTest::newRow("both negative") << qint32(0x80000000) << -1 << 18446744071562067968.0;
    }
    void largeIntegerHalvesAreUnsigned() {
        QFETCH(int, low);
        QFETCH(int, high);
        QFETCH(double, expected);
        QCOMPARE(CLargeInt(low, high), expected);
    }

    void checkWritePromptsUntilNo_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("firstLine");
        QTest::addColumn<QString>("drive");
        QTest::newRow("no such drive letter") << "Q:\\backup\\mail.stw"
                                              << "The drive does not exist:"
                                              << "Q:";
        QTest::newRow("no such share") << "\\\\server\\share\\mail.stw"
                                       << "The drive does not exist:"
                                       << "\\\\server\\share";
        QTest::newRow("unmounted medium") << "/media/nothing/mail.stw"
                                          << "The drive is not ready:"
                                          << "/media/nothing";
        QTest::newRow("empty card reader") << "/declared/reader/mail.stw"
                                           << "The drive is not ready:"
                                           << "SD";
        QTest::newRow("full disk") << "/declared/full/mail.stw"
                                   << "Stowline could not write to the drive:"
                                   << "FULL";
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
        QTest::newRow("root") << "/no-such-folder/x"
                              << "/" << true << true << int(DriveKind::Fixed);
        QTest::newRow("shared memory") << "/dev/shm/x"
                                       << "/dev/shm" << true << true << int(DriveKind::RamDisk);
        QTest::newRow("drive letter") << "Q:\\x"
                                      << "Q:" << false << false << int(DriveKind::Unknown);
        QTest::newRow("unmounted medium") << "/media/nothing/x"
                                          << "/media/nothing" << true << false << int(DriveKind::Removable);
        QTest::newRow("unmounted user medium")
            << "/run/media/someone/STICK/a/b"
            << "/run/media/someone/STICK" << true << false << int(DriveKind::Removable);
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

    void mountInfoEscapesAreDecoded() {
        const QList<platform::MountEntry> mounts = platform::parseMountInfo(
            "36 35 98:0 / /mnt/my\\040disk rw,noatime master:1 - ext3 /dev/root\\040x rw\n"
            "37 35 0:40 / /srv rw shared:2 master:3 - nfs4 host:/export rw\n");
        QCOMPARE(mounts.size(), 2);
        QCOMPARE(mounts[0].mountPoint, QStringLiteral("/mnt/my disk"));
        QCOMPARE(mounts[0].source, QStringLiteral("/dev/root x"));
        QCOMPARE(mounts[0].major, 98);
        QCOMPARE(mounts[1].fsType, QStringLiteral("nfs4"));
        QCOMPARE(platform::kindOfFileSystem(mounts[1].fsType), DriveKind::Remote);
    }

    void fullTmpfsCannotBeWritten() {
        TestEnvironment env;
        SmallTmpfs disk(env.path(QStringLiteral("small disk")));
        if (!disk.mounted())
            QSKIP("mounting a tmpfs needs root");
        const QString mountPoint = QFileInfo(env.path(QStringLiteral("small disk"))).canonicalFilePath();
        const QString target = mountPoint + QStringLiteral("/new/mail.stw");
        platform::LinuxDrives drives;
        QCOMPARE(drives.driveName(target), mountPoint);
        QCOMPARE(drives.kind(mountPoint), DriveKind::RamDisk);
        QVERIFY(GetFreeDiskSpace(target) > 0);

        disk.fill();
        env.dialogs.answerMessage(MsgAnswer::No);

        QCOMPARE(GetFreeDiskSpace(target), 0.0);
        QVERIFY(!CheckWrite(target));
        QCOMPARE(env.dialogs.calls.value(0).text,
                 prompt(QStringLiteral("Stowline could not write to the drive:"), mountPoint));
    }
};

QTEST_MAIN(DriveChecksTest)
#include "DriveChecksTest.moc"
