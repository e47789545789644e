#include "archive/ZipComment.h"
#include "archive/ZipCompressor.h"
#include "archive/cmpZIP.h"
#include "foundation/modError.h"
#include "tests/support/TestEnvironment.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>
#include <sys/mount.h>
#include <unistd.h>
#include <zip.h>

using namespace stowline;
using stowline::test::readFile;
using stowline::test::writeFile;

namespace {

QByteArray mailText(qsizetype size, quint32 seed) {
    static const QList<QByteArray> words{"Subject:", "meeting", "tomorrow", "Regards,", "invoice", "the",
                                         "attached", "please",  "From:",    "review",   "draft",   "\r\n"};
    QRandomGenerator random(seed);
    QByteArray text;
    while (text.size() < size)
        text += words[random.bounded(words.size())] + ' ';
    return text.left(size);
}

QByteArray noise(qsizetype size, quint32 seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    random.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

// path relative to the folder -> SHA-1 of its content, for every file below it
QMap<QString, QByteArray> digestTree(const QString& folder) {
    QMap<QString, QByteArray> digests;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        digests[QDir(folder).relativeFilePath(path)] =
            QCryptographicHash::hash(readFile(path), QCryptographicHash::Sha1).toHex();
    }
    return digests;
}

// The same digests as an outside reader (Python's zipfile) sees the archive's members.
QMap<QString, QByteArray> digestArchiveWithPython(const QString& archive) {
    QProcess python;
    python.start(
        QStringLiteral("python3"),
        {QStringLiteral("-c"),
         QStringLiteral("import zipfile,sys,hashlib\n"
                        "z = zipfile.ZipFile(sys.argv[1])\n"
                        "for i in z.infolist():\n"
                        "    if not i.is_dir(): print(hashlib.sha1(z.read(i)).hexdigest(), i.filename)"),
         archive});
    python.waitForFinished();
    QMap<QString, QByteArray> digests;
    for (const QByteArray& line : python.readAllStandardOutput().split('\n'))
        if (!line.isEmpty())
            digests[QString::fromUtf8(line.mid(41))] = line.left(40);
    return digests;
}

bool outsideReadersAccept(const QString& archive) {
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-tqq"), archive});
    unzip.waitForFinished();
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-m"), QStringLiteral("zipfile"), QStringLiteral("-t"), archive});
    python.waitForFinished();
    const QByteArray said = python.readAllStandardOutput() + python.readAllStandardError();
    return unzip.exitCode() == 0 && python.exitCode() == 0 && !said.contains("corrupted");
}

QMap<QString, int> methodsInCentralDirectory(const QString& archive) {
    QMap<QString, int> methods;
    int error = 0;
    zip_t* zip = zip_open(QFile::encodeName(archive).constData(), ZIP_RDONLY, &error);
    for (zip_int64_t i = 0; zip && i < zip_get_num_entries(zip, 0); ++i) {
        zip_stat_t st;
        zip_stat_index(zip, static_cast<zip_uint64_t>(i), 0, &st);
        methods[QString::fromUtf8(st.name)] = st.comp_method;
    }
    if (zip)
        zip_discard(zip);
    return methods;
}

// Records every event of a run as one line; can ask for a cancel after a number of questions.
struct EventLog {
    QStringList lines;
    QList<QPair<double, double>> stats;
    int cancelAtQuestion = -1;
    int questions = 0;

    explicit EventLog(cmpZIP& zip) {
        QObject::connect(&zip, &cmpZIP::FileStartedCompressing, &zip,
                         [this](const QString& p) { lines << u"start " + QFileInfo(p).fileName(); });
        QObject::connect(&zip, &cmpZIP::FileStartedDecompressing, &zip,
                         [this](const QString& p) { lines << u"start " + QFileInfo(p).fileName(); });
        QObject::connect(&zip, &cmpZIP::Statistics, &zip, [this](double whole, double current) {
            stats << qMakePair(whole, current);
            lines << QStringLiteral("stats");
        });
        QObject::connect(&zip, &cmpZIP::OnError, &zip,
                         [this](int code) { lines << u"error " + QString::number(code); });
        QObject::connect(&zip, &cmpZIP::ProcessEnded, &zip, [this] { lines << QStringLiteral("end"); });
        QObject::connect(&zip, &cmpZIP::ProcessMessages, &zip, [this](qint16& cancel) {
            if (++questions == cancelAtQuestion)
                cancel = -1;
        });
    }

    // Each file starts once and has statistics before the next starts; the whole-run share never
    // falls; both reach 100; the end comes last.
    void verifyOrder(int files) const {
        QVERIFY(!lines.isEmpty());
        QCOMPARE(lines.last(), QStringLiteral("end"));
        QCOMPARE(lines.count(QStringLiteral("end")), 1);
        QCOMPARE(lines.filter(QStringLiteral("start ")).size(), files);
        QCOMPARE(lines.filter(QStringLiteral("start ")).removeDuplicates(), 0);
        QString previous;
        for (const QString& line : lines) {
            QVERIFY2(!(line.startsWith(u"start") && previous.startsWith(u"start")),
                     "a file without statistics");
            QVERIFY2(line != u"stats" || !previous.isEmpty(), "statistics before the first file started");
            previous = line;
        }
        for (qsizetype i = 1; i < stats.size(); ++i)
            QVERIFY(stats[i].first >= stats[i - 1].first);
        QCOMPARE(stats.last(), qMakePair(100.0, 100.0));
    }
};

} // namespace

class ZipComponentTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::TestEnvironment> m_env;
    QString m_source;
    QString m_archive;

    void compress(cmpZIP& zip, int level) {
        zip.Options = 1;
        zip.TempFolder = m_env->tempRoot();
        zip.ArchiveFile = m_archive;
        zip.CompressionLevel = static_cast<qint16>(level);
        zip.SourceFolder = m_source;
        zip.Compress();
    }

    void extract(cmpZIP& zip, const QString& folder, const QString& spec = QStringLiteral("*.*")) {
        zip.Options = 8;
        zip.FileSpec = spec;
        zip.ExtractFolder = folder;
        zip.ArchiveFile = m_archive;
        zip.Extract();
    }

    QStringList filesIn(const QString& folder) const {
        QStringList names;
        QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            names << QDir(folder).relativeFilePath(it.next());
        names.sort();
        return names;
    }

private slots:
    void init() {
        m_env = std::make_unique<test::TestEnvironment>();
        m_source = m_env->path(QStringLiteral("source"));
        m_archive = m_env->path(QStringLiteral("out/data.zip"));
        QDir().mkpath(m_env->path(QStringLiteral("out")));
        writeFile(m_source + u"/Inbox.dbx",
                  mailText(2'600'000, 1) + noise(1'300'000, 2) + mailText(900'000, 3));
        writeFile(m_source + u"/photo.zip", noise(300'000, 4));
        writeFile(m_source + u"/Folders/Sub folder/note.txt", mailText(5'000, 5));
        QFile::setPermissions(m_source + u"/Folders/Sub folder/note.txt",
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        writeFile(m_source + u"/Folders/empty.dat", {});
        writeFile(m_source + QStringLiteral("/Folders/日本語 名前.eml"), mailText(700, 6));
        QDir().mkpath(m_source + u"/Empty folder");
        QVERIFY(QFile::link(m_source + u"/Inbox.dbx", m_source + u"/link.dbx"));
        writeFile(m_env->path(QStringLiteral("elsewhere/secret.txt")), "not part of the source");
        QVERIFY(QFile::link(m_env->path(QStringLiteral("elsewhere")), m_source + u"/elsewhere"));
    }
    void cleanup() { m_env.reset(); }

    void roundTripIsByteExactAndReadableByOthers_data() {
        QTest::addColumn<int>("level");
        QTest::newRow("stored") << 0;
        QTest::newRow("fastest") << 1;
        QTest::newRow("best") << 9;
    }
    void roundTripIsByteExactAndReadableByOthers() {
        QFETCH(int, level);
        cmpZIP zip;
        EventLog log(zip);
        compress(zip, level);
        log.verifyOrder(5);

        QVERIFY(outsideReadersAccept(m_archive));
        QMap<QString, QByteArray> expected = digestTree(m_source);
        expected.remove(QStringLiteral("link.dbx")); // links are not stored
        QCOMPARE(digestArchiveWithPython(m_archive), expected);

        const QString target = m_env->path(QStringLiteral("restored/"));
        log.lines.clear();
        log.stats.clear();
        extract(zip, target);
        log.verifyOrder(5);
        QCOMPARE(digestTree(target), expected);
        QVERIFY(QDir(target + u"Empty folder").exists());
        QCOMPARE(QFileInfo(target + u"Folders/Sub folder/note.txt").permissions(),
                 QFileInfo(m_source + u"/Folders/Sub folder/note.txt").permissions());

        const QMap<QString, int> methods = methodsInCentralDirectory(m_archive);
        QCOMPARE(methods.value(QStringLiteral("Inbox.dbx")), level == 0 ? ZIP_CM_STORE : ZIP_CM_DEFLATE);
        QCOMPARE(methods.value(QStringLiteral("Folders/Sub folder/note.txt")),
                 level == 0 ? ZIP_CM_STORE : ZIP_CM_DEFLATE);
        QCOMPARE(methods.value(QStringLiteral("photo.zip")), ZIP_CM_STORE); // deflate would not pay
        QVERIFY(!methods.contains(QStringLiteral("Folders/")));
        QVERIFY(methods.contains(QStringLiteral("Empty folder/")));
    }

    void zip64RecordsAreAcceptedByOthers() {
        struct Quiet : ZipRunEvents {
            void fileStarted(const QString&) override {}
            void statistics(double, double) override {}
            bool cancelRequested() override { return false; }
        } events;
        ZipCompressor(ZipCompressSettings{m_source, m_archive, 6, 2, true}, events).run();
        QVERIFY(outsideReadersAccept(m_archive));
        QCOMPARE(digestArchiveWithPython(m_archive).size(), 5);
    }

    void extractsOneMemberWhateverItsSeparatorAndCase() {
        cmpZIP zip;
        compress(zip, 6);
        const QString target = m_env->path(QStringLiteral("one"));
        extract(zip, target, QStringLiteral("folders\\SUB FOLDER\\note.txt"));
        QCOMPARE(filesIn(target), QStringList{QStringLiteral("Folders/Sub folder/note.txt")});
        // an existing file of that name is replaced
        writeFile(target + u"/Folders/Sub folder/note.txt", "old");
        extract(zip, target + u'/', QStringLiteral("Folders/Sub folder/note.txt"));
        QCOMPARE(readFile(target + u"/Folders/Sub folder/note.txt"), mailText(5'000, 5));
    }

    void cancelLeavesNoArchiveNorPartialFile_data() {
        QTest::addColumn<bool>("whileCompressing");
        QTest::addColumn<int>("question");
        QTest::newRow("compress, before starting") << true << 1;
        QTest::newRow("compress, under way") << true << 2;
        QTest::newRow("extract, before starting") << false << 1;
        QTest::newRow("extract, under way") << false << 2;
    }
    void cancelLeavesNoArchiveNorPartialFile() {
        QFETCH(bool, whileCompressing);
        QFETCH(int, question);
        writeFile(m_source + u"/big.dbx", mailText(40'000'000, 7));
        cmpZIP zip;
        const QString target = m_env->path(QStringLiteral("restored"));
        if (!whileCompressing)
            compress(zip, 1);
        EventLog log(zip);
        log.cancelAtQuestion = question;
        if (whileCompressing) {
            compress(zip, 9);
            QCOMPARE(QDir(m_env->path(QStringLiteral("out"))).entryList(QDir::Files | QDir::Hidden),
                     QStringList());
        } else {
            extract(zip, target);
            if (question == 1)
                QCOMPARE(filesIn(target), QStringList());
            QVERIFY(filesIn(target).filter(QStringLiteral(".stowline-")).isEmpty());
        }
        QCOMPARE(log.lines.last(), QStringLiteral("end"));
        QCOMPARE(log.lines.count(QStringLiteral("end")), 1);
    }

    void failuresEndTheRunThenThrow_data() {
        QTest::addColumn<bool>("compressing");
        QTest::addColumn<QString>("archiveContent");
        QTest::addColumn<int>("number");
        QTest::newRow("missing source folder") << true << QString() << 76;
        QTest::newRow("missing archive") << false << QString() << 53;
        QTest::newRow("not a zip") << false << QStringLiteral("plain text, no archive") << 321;
    }
    void failuresEndTheRunThenThrow() {
        QFETCH(bool, compressing);
        QFETCH(QString, archiveContent);
        QFETCH(int, number);
        if (!archiveContent.isEmpty())
            writeFile(m_archive, archiveContent.toUtf8());
        cmpZIP zip;
        EventLog log(zip);
        try {
            if (compressing) {
                m_source = m_env->path(QStringLiteral("nowhere"));
                compress(zip, 1);
            } else {
                extract(zip, m_env->path(QStringLiteral("restored")));
            }
            QFAIL("no failure");
        } catch (const VbError& error) {
            QCOMPARE(error.number(), number);
        }
        QCOMPARE(log.lines.last(), QStringLiteral("end"));
        QCOMPARE(QDir(m_env->path(QStringLiteral("out"))).entryList(QDir::Files | QDir::Hidden).size(),
                 archiveContent.isEmpty() ? 0 : 1);
    }

    void unsafeMemberNamesAreRefusedBeforeAnythingIsWritten_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("parent") << QStringLiteral("../x");
        QTest::newRow("absolute") << QStringLiteral("/abs");
        QTest::newRow("drive") << QStringLiteral("C:\\x");
        QTest::newRow("backslash parent") << QStringLiteral("a\\..\\..\\x");
    }
    void unsafeMemberNamesAreRefusedBeforeAnythingIsWritten() {
        QFETCH(QString, name);
        int error = 0;
        zip_t* out = zip_open(QFile::encodeName(m_archive).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        for (const QString& member : {QStringLiteral("good.txt"), name}) {
            static const char data[] = "payload";
            zip_file_add(out, member.toUtf8().constData(), zip_source_buffer(out, data, 7, 0),
                         ZIP_FL_ENC_UTF_8);
        }
        QCOMPARE(zip_close(out), 0);

        const QString outer = m_env->path(QStringLiteral("jail"));
        const QString target = outer + u"/inner/target";
        QDir().mkpath(target);
        cmpZIP zip;
        EventLog log(zip);
        try {
            extract(zip, target);
            QFAIL("unsafe member extracted");
        } catch (const VbError& failure) {
            QCOMPARE(failure.number(), 75);
            QVERIFY(failure.description().endsWith(name));
        }
        QCOMPARE(filesIn(outer), QStringList());
        QVERIFY(!QFile::exists(QStringLiteral("/abs")));
        QVERIFY(!QFile::exists(m_env->path(QStringLiteral("x"))));
        QCOMPARE(log.lines.last(), QStringLiteral("end"));
    }

    void damagedMemberIsReportedAndLeavesNoFile() {
        cmpZIP zip;
        compress(zip, 1);
        QByteArray bytes = readFile(m_archive);
        const qsizetype photo = bytes.indexOf(noise(300'000, 4).left(64)); // stored: found as it is
        QVERIFY(photo > 0);
        bytes[photo + 1000] = static_cast<char>(bytes[photo + 1000] ^ 0x55);
        writeFile(m_archive, bytes);
        const QString target = m_env->path(QStringLiteral("restored"));
        try {
            extract(zip, target);
            QFAIL("damage not noticed");
        } catch (const VbError& failure) {
            QCOMPARE(failure.number(), 321);
            QVERIFY(failure.description().endsWith(QStringLiteral("photo.zip")));
        }
        QVERIFY(!filesIn(target).contains(QStringLiteral("photo.zip")));
        QVERIFY(filesIn(target).filter(QStringLiteral(".stowline-")).isEmpty());
    }

    void laterMemberOfTheSameNameWins() {
        int error = 0;
        zip_t* out = zip_open(QFile::encodeName(m_archive).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        const QByteArray big = mailText(3'000'000, 8);
        zip_file_add(out, "dir\\x.txt", zip_source_buffer(out, big.constData(), big.size(), 0), 0);
        zip_file_add(out, "other.txt", zip_source_buffer(out, "b", 1, 0), 0);
        zip_file_add(out, "dir/x.txt", zip_source_buffer(out, "second", 6, 0), ZIP_FL_OVERWRITE);
        QCOMPARE(zip_close(out), 0);
        cmpZIP zip;
        const QString target = m_env->path(QStringLiteral("restored"));
        extract(zip, target);
        QCOMPARE(readFile(target + u"/dir/x.txt"), QByteArray("second"));
    }

    void commentSurvivesRewritesAndCopies() {
        cmpZIP zip;
        QCOMPARE(zip.GetComment(m_env->path(QStringLiteral("missing.zip"))), QString());
        writeFile(m_archive, "not a zip");
        QCOMPARE(zip.GetComment(m_archive), QString());

        compress(zip, 1);
        QCOMPARE(zip.GetComment(m_archive), QString());
        const QByteArray before = readFile(m_archive);
        zip.SetComment(m_archive, QStringLiteral("a much longer comment than three characters"));
        zip.SetComment(m_archive, QStringLiteral("101"));
        QCOMPARE(zip.GetComment(m_archive), QStringLiteral("101"));
        QVERIFY(outsideReadersAccept(m_archive));
        const QByteArray after = readFile(m_archive);
        QCOMPARE(after.size(), before.size() + 3);
        QVERIFY(after.startsWith(before.chopped(2))); // only the comment length and text changed

        const QString copy = m_env->path(QStringLiteral("copy.stw"));
        QVERIFY(QFile::copy(m_archive, copy));
        QCOMPARE(zip.GetComment(copy), QStringLiteral("101"));
        zip.SetComment(copy, QStringLiteral("Grüße"));
        QCOMPARE(zip.GetComment(copy), QStringLiteral("Grüße"));

        // a comment written in the Windows-1252 code page by an older version
        WriteArchiveComment(copy, QByteArray("caf\xe9 \x80"));
        QCOMPARE(zip.GetComment(copy), QStringLiteral("café €"));
    }

    void fullDiskReportsTempFolderErrorThenThrows_data() {
        QTest::addColumn<bool>("compressing");
        QTest::newRow("compress") << true;
        QTest::newRow("extract") << false;
    }
    void fullDiskReportsTempFolderErrorThenThrows() {
        QFETCH(bool, compressing);
        if (::geteuid() != 0)
            QSKIP("mounting a small file system needs root");
        const QString mountPoint = m_env->path(QStringLiteral("small"));
        QDir().mkpath(mountPoint);
        if (::mount("tmpfs", QFile::encodeName(mountPoint).constData(), "tmpfs", 0, "size=1m") != 0)
            QSKIP("cannot mount a tmpfs here");
        const auto unmount =
            qScopeGuard([&] { ::umount2(QFile::encodeName(mountPoint).constData(), MNT_DETACH); });
        cmpZIP zip;
        if (compressing)
            m_archive = mountPoint + u"/data.zip";
        else
            compress(zip, 1);
        EventLog log(zip);
        try {
            if (compressing)
                compress(zip, 1);
            else
                extract(zip, mountPoint + u"/restored");
            QFAIL("no failure on a full disk");
        } catch (const VbError& failure) {
            QCOMPARE(failure.number(), 61);
            QVERIFY(failure.alreadyReported()); // OnError had a receiver
        }
        QCOMPARE(log.lines.mid(log.lines.size() - 2),
                 (QStringList{QStringLiteral("error 10"), QStringLiteral("end")}));
        QCOMPARE(filesIn(mountPoint).filter(QRegularExpression(QStringLiteral("(\\.part|\\.stowline-)"))),
                 QStringList());
        if (compressing)
            QCOMPARE(filesIn(mountPoint), QStringList());
    }
};

QTEST_MAIN(ZipComponentTest)
#include "ZipComponentTest.moc"
