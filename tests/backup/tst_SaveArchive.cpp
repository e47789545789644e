#include "backup/modSaveArchive.h"
#include "foundation/modTempPath.h"
#include "tests/backup/BackupTestSupport.h"
#include "tests/support/DrivesDouble.h"

#include <QDir>
#include <QTest>

using namespace stowline;
using namespace stowline::test;
using platform::DriveKind;

namespace {

constexpr int payloadSize = 1000;
// The workspace as CreateArchive measures it: the payload and the two version files
// ("1,0,375" and "4,10,1", each with CR LF).
constexpr double workspaceSize = payloadSize + 9 + 8;

QString substituted(QString text, const QString& temporaryArchive) {
    return text.replace(QStringLiteral("%T"), temporaryArchive);
}

QStringList substituted(const QStringList& texts, const QString& temporaryArchive) {
    QStringList result;
    for (const QString& text : texts)
        result << substituted(text, temporaryArchive);
    return result;
}

} // namespace

class tst_SaveArchive : public QObject {
    Q_OBJECT
private slots:
    void placement_data();
    void placement();
};

void tst_SaveArchive::placement_data() {
    QTest::addColumn<int>("destinationKind");
    QTest::addColumn<double>("destinationFree");
    QTest::addColumn<int>("tempKind");
    QTest::addColumn<double>("tempFree");
    QTest::addColumn<bool>("destinationFolderExists");
    QTest::addColumn<QStringList>("statuses"); // %T: the temporary archive
    QTest::addColumn<QString>("message");      // "" = none
    QTest::addColumn<bool>("archiveAtDestination");
    QTest::addColumn<bool>("temporaryKept");

    const int fixed = int(DriveKind::Fixed);
    const QString saving = QStringLiteral("Saving backup: backup.stw");
    const QString creating = QStringLiteral("Creating backup: backup.stw");
    QTest::newRow("fixed, free space equal to the workspace")
        << fixed << workspaceSize << fixed << 1e12 << true
        << QStringList{saving, QStringLiteral("Saving backup: Done!")} << QString() << true << false;
    QTest::newRow("fixed, one byte short")
        << fixed << workspaceSize - 1 << fixed << 1e12 << true
        << QStringList{saving, QStringLiteral("Could not save backup!")}
        << QStringLiteral("Stowline needs more free diskspace to save the backup on drive: DEST") << false
        << false;

    const QList<QPair<DriveKind, QString>> kinds{{DriveKind::Removable, QStringLiteral("removable drive")},
                                                 {DriveKind::Remote, QStringLiteral("remote drive")},
                                                 {DriveKind::CDRom, QStringLiteral("CD drive")},
                                                 {DriveKind::RamDisk, QStringLiteral("ramdisk")},
                                                 {DriveKind::Unknown, QStringLiteral("unknown media")}};
    for (const auto& [kind, words] : kinds) {
        const QString prefix = QStringLiteral("Saving backup to ") + words;
        QTest::newRow(qPrintable(words + QStringLiteral(", copied")))
            << int(kind) << 1e9 << fixed << 1e12 << true
            << QStringList{creating, prefix + QStringLiteral(": Please wait..."),
                           prefix + QStringLiteral(": Done!")}
            << QString() << true << false;
    }
    const QString removableWait = QStringLiteral("Saving backup to removable drive: Please wait...");
    QTest::newRow("removable, too small: the temporary archive stays")
        << int(DriveKind::Removable) << 1.0 << fixed << 1e12 << true
        << QStringList{creating, removableWait, QStringLiteral("Backup saved as: %T")}
        << QStringLiteral("There is not enough free space to save the backup on drive: DEST\r\r"
                          "The backup has been saved as: %T")
        << false << true;
    QTest::newRow("removable, copy fails: the temporary archive stays")
        << int(DriveKind::Removable) << 1e9 << fixed << 1e12 << false
        << QStringList{creating, removableWait, QStringLiteral("Saving backup: Done!")}
        << QStringLiteral("Stowline could not save the backup to the drive you selected.\r"
                          "Your backup has been saved as: %T")
        << false << true;
    QTest::newRow("removable, temporary root one byte short")
        << int(DriveKind::Removable) << 1e9 << int(DriveKind::RamDisk) << workspaceSize - 1 << true
        << QStringList{creating, QStringLiteral("Could not create backup!")}
        << QStringLiteral("Stowline needs more free diskspace to create the backup on drive:  TEMP") << false
        << false;
}

void tst_SaveArchive::placement() {
    QFETCH(int, destinationKind);
    QFETCH(double, destinationFree);
    QFETCH(int, tempKind);
    QFETCH(double, tempFree);
    QFETCH(bool, destinationFolderExists);
    QFETCH(QStringList, statuses);
    QFETCH(QString, message);
    QFETCH(bool, archiveAtDestination);
    QFETCH(bool, temporaryKept);
    TestEnvironment env;
    DrivesDouble drives;
    drives.declare(QStringLiteral("TEMP"), {env.tempRoot()},
                   {DriveKind(tempKind), true, true, tempFree, tempFree});
    drives.declare(QStringLiteral("DEST"), {env.path(QStringLiteral("dest"))},
                   {DriveKind(destinationKind), true, true, destinationFree, destinationFree});
    const QString folder =
        env.path(destinationFolderExists ? QStringLiteral("dest") : QStringLiteral("dest/missing"));
    const QString destination = folder + QStringLiteral("/backup.stw");
    if (destinationFolderExists)
        writeFile(destination, "an older backup");
    RecordingProgress& progress = RecordingProgress::load();
    CreateTempFolder();
    writeFile(TempDir() + QStringLiteral("stowline/ief/ief_data.zip"), QByteArray(payloadSize, 'x'));
    if (!message.isEmpty())
        env.dialogs.answerMessage(platform::MsgAnswer::OK);

    SaveArchive(destination, QStringLiteral("101"));

    const QStringList leftInTemp = QDir(env.tempRoot()).entryList({QStringLiteral("*.stw")}, QDir::Files);
    QCOMPARE(leftInTemp.size(), temporaryKept ? 1 : 0);
    const QString temporary = temporaryKept ? env.tempRoot() + u'/' + leftInTemp.first() : QString();
    QCOMPARE(progress.statuses, substituted(statuses, temporary));
    QCOMPARE(progress.fileLine(), QStringLiteral(" "));
    QCOMPARE(env.dialogs.calls.size(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty()) {
        QCOMPARE(env.dialogs.calls[0].text, substituted(message, temporary));
        QCOMPARE(env.dialogs.calls[0].title, QStringLiteral("Stowline error"));
        QCOMPARE(env.dialogs.calls[0].icon, platform::MsgIcon::Critical);
    }
    QVERIFY(!QFileInfo::exists(TempDir() + QStringLiteral("stowline")));
    // An older file at a fixed destination goes before the space test; elsewhere only a copy replaces it.
    const bool olderLeft =
        destinationFolderExists && !archiveAtDestination && destinationKind != int(DriveKind::Fixed);
    QCOMPARE(readFile(destination) == "an older backup", olderLeft);
    QCOMPARE(QFileInfo::exists(destination), archiveAtDestination || olderLeft);
    const QString archive = archiveAtDestination ? destination : temporary;
    if (!archive.isEmpty()) {
        const ForeignZipView view = readWithPython(archive);
        QVERIFY(view.intact);
        QCOMPARE(view.comment, QStringLiteral("101"));
        QCOMPARE(view.members.keys(),
                 (QStringList{QStringLiteral("ief/ief_data.zip"), QStringLiteral("stowline_version.txt"),
                              QStringLiteral("windows_version.txt")}));
    }
}

QTEST_MAIN(tst_SaveArchive)
#include "tst_SaveArchive.moc"
