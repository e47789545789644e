#include "archive/SourcePrefetch.h"
#include "archive/ZipComment.h"
#include "archive/ZipCompressor.h"
#include "archive/ZipDirectoryDigest.h"
#include "archive/cmpZIP.h"
#include "foundation/modError.h"
#include "tests/support/TestEnvironment.h"

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <unistd.h>
#include <zip.h>

using namespace stowline;
using namespace Qt::StringLiterals;
using stowline::test::hashesOfFolder;
using stowline::test::readFile;
using stowline::test::writeFile;
using stowline::test::writeZip;

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

// The archive as outside readers see it: unzip -t, libzip's consistency check (local headers agree
// with the directory, Zip64 sizes in their order too) and Python's zipfile test it; Python gives, per
// member, its compression method and (files only) its SHA-256. Empty when any of them refuses it.
struct SeenByPython {
    QMap<QString, QByteArray> digests;
    QMap<QString, int> methods; // folders too
};
SeenByPython readWithPython(const QString& archive) {
    SeenByPython seen;
    int error = 0;
    zip_t* checked = zip_open(QFile::encodeName(archive).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (checked)
        zip_discard(checked);
    if (!checked || QProcess::execute(u"unzip"_s, {u"-tqq"_s, archive}) != 0)
        return seen;
    QProcess python;
    python.start(u"python3"_s, {u"-c"_s,
                                u"import zipfile,sys,hashlib\nz = zipfile.ZipFile(sys.argv[1])\n"
                                "assert z.testzip() is None\nfor i in z.infolist(): "
                                "print(i.compress_type, hashlib.sha256(z.read(i)).hexdigest(), i.filename)"_s,
                                archive});
    python.waitForFinished(120000);
    for (const QByteArray& line : python.readAllStandardOutput().split('\n')) {
        const qsizetype space = line.indexOf(' ');
        if (space <= 0 || python.exitCode() != 0)
            continue;
        const QString name = QString::fromUtf8(line.mid(space + 66));
        seen.methods[name] = line.left(space).toInt();
        if (!name.endsWith(u'/'))
            seen.digests[name] = line.mid(space + 1, 64);
    }
    return seen;
}

// What work raised; number 0 when it raised nothing.
VbError raisedBy(const std::function<void()>& work) {
    try {
        work();
    } catch (const VbError& error) {
        return error;
    }
    return VbError(0, QString());
}

// Records every event of a run as one line; can cancel the run at its first event.
struct EventLog {
    QStringList lines;
    QList<QPair<double, double>> stats;
    CancelToken cancel;
    bool cancelAtFirstEvent = false;

    explicit EventLog(cmpZIP& zip) {
        zip.Cancel = &cancel;
        const auto started = [this](const QString& p) {
            lines << u"start " + QFileInfo(p).fileName();
            if (cancelAtFirstEvent)
                cancel.request();
        };
        QObject::connect(&zip, &cmpZIP::FileStartedCompressing, &zip, started);
        QObject::connect(&zip, &cmpZIP::FileStartedDecompressing, &zip, started);
        QObject::connect(&zip, &cmpZIP::Statistics, &zip, [this](double whole, double current) {
            stats << qMakePair(whole, current);
            lines << u"stats"_s;
            if (cancelAtFirstEvent)
                cancel.request();
        });
        QObject::connect(&zip, &cmpZIP::OnError, &zip,
                         [this](int code) { lines << u"error " + QString::number(code); });
        QObject::connect(&zip, &cmpZIP::ProcessEnded, &zip, [this] { lines << u"end"_s; });
    }

    // The run ended once, at the very end.
    void verifyEnded() const {
        QCOMPARE(lines.value(lines.size() - 1), u"end"_s);
        QCOMPARE(lines.count(u"end"_s), 1);
    }

    // Each file starts once and has statistics before the next starts; the whole-run share never
    // falls; both reach 100.
    void verifyOrder(int files) const {
        verifyEnded();
        QCOMPARE(lines.filter(u"start "_s).size(), files);
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

    void extract(cmpZIP& zip, const QString& folder, const QString& description = u"*.*"_s) {
        zip.Options = 8;
        zip.FileSpec = description;
        zip.ExtractFolder = folder;
        zip.ArchiveFile = m_archive;
        zip.Extract();
    }

    static QStringList filesIn(const QString& folder) { return hashesOfFolder(folder).keys(); }

    // How much of the file's range is in the page cache.
    static qint64 residentBytes(int fd, qint64 offset, qint64 length) {
        void* map = ::mmap(nullptr, static_cast<size_t>(length), PROT_READ, MAP_SHARED, fd, offset);
        if (map == MAP_FAILED)
            return -1;
        const qint64 page = ::sysconf(_SC_PAGESIZE);
        std::vector<unsigned char> pages(static_cast<size_t>((length + page - 1) / page));
        qint64 resident = ::mincore(map, static_cast<size_t>(length), pages.data()) == 0 ? 0 : -1;
        for (const unsigned char flags : pages)
            resident += resident >= 0 && (flags & 1) ? page : 0;
        ::munmap(map, static_cast<size_t>(length));
        return resident;
    }

private slots:
    void init() {
        m_env = std::make_unique<test::TestEnvironment>();
        m_source = m_env->path(u"source"_s);
        m_archive = m_env->path(u"out/data.zip"_s);
        QDir().mkpath(m_env->path(u"out"_s));
        // Attachments inside slices and at the end of the last one: stored blocks among deflated ones.
        writeFile(m_source + u"/Inbox.dbx",
                  mailText(2'600'000, 1) + noise(1'300'000, 2) + mailText(900'000, 3) + noise(100'000, 7));
        writeFile(m_source + u"/photo.zip", noise(300'000, 4));
        writeFile(m_source + u"/Folders/Sub folder/note.txt", mailText(5'000, 5));
        QFile::setPermissions(m_source + u"/Folders/Sub folder/note.txt",
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        writeFile(m_source + u"/Folders/empty.dat", {});
        writeFile(m_source + u"/Folders/日本語 名前.eml"_s, mailText(700, 6));
        QDir().mkpath(m_source + u"/Empty folder");
        QVERIFY(QFile::link(m_source + u"/Inbox.dbx", m_source + u"/link.dbx"));
        writeFile(m_env->path(u"elsewhere/secret.txt"_s), "not part of the source");
        QVERIFY(QFile::link(m_env->path(u"elsewhere"_s), m_source + u"/elsewhere"));
    }
    void cleanup() { m_env.reset(); }

    // Archives written through ISA-L are read back through zlib and the other way round.
    void roundTripIsByteExactAndReadableByOthers_data() {
        QTest::addColumn<int>("level");
        QTest::addColumn<QByteArray>("writer");
        QTest::addColumn<QByteArray>("reader");
        QTest::newRow("stored") << 0 << QByteArray("isal") << QByteArray("zlib");
        for (const int level : {1, 3, 6, 9}) {
            QTest::addRow("level %d, isal then zlib", level)
                << level << QByteArray("isal") << QByteArray("zlib");
            QTest::addRow("level %d, zlib then isal", level)
                << level << QByteArray("zlib") << QByteArray("isal");
        }
    }
    void roundTripIsByteExactAndReadableByOthers() {
        QFETCH(int, level);
        QFETCH(QByteArray, writer);
        QFETCH(QByteArray, reader);
        QFile::setPermissions(m_source + u"/Inbox.dbx",
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        const auto restoreDeflate = qScopeGuard([] { qunsetenv("STOWLINE_DEFLATE"); });
        qputenv("STOWLINE_DEFLATE", writer);
        cmpZIP zip;
        EventLog log(zip);
        compress(zip, level);
        log.verifyOrder(5);
        QMap<QString, QByteArray> expected = hashesOfFolder(m_source);
        expected.remove(u"link.dbx"_s); // links are not stored
        const SeenByPython seen = readWithPython(m_archive);
        QCOMPARE(seen.digests, expected);
        const int deflated = level == 0 ? ZIP_CM_STORE : ZIP_CM_DEFLATE;
        QCOMPARE(seen.methods.value(u"Inbox.dbx"_s), deflated);
        QCOMPARE(seen.methods.value(u"Folders/Sub folder/note.txt"_s), deflated);
        QCOMPARE(seen.methods.value(u"photo.zip"_s), ZIP_CM_STORE); // deflate would not pay
        QVERIFY(!seen.methods.contains(u"Folders/"_s) && seen.methods.contains(u"Empty folder/"_s));

        // A target closed to others gets files closed to others, whatever they were when packed.
        const QString target = m_env->path(u"restored/"_s);
        QDir().mkpath(target);
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                          QFile::ReadGroup | QFile::ExeGroup);
        qputenv("STOWLINE_DEFLATE", reader);
        EventLog extraction(zip);
        extract(zip, target);
        extraction.verifyOrder(5);
        QCOMPARE(hashesOfFolder(target), expected);
        QVERIFY(QDir(target + u"Empty folder").exists());
        QCOMPARE(QFileInfo(target + u"Folders/Sub folder/note.txt").permissions(),
                 QFileInfo(m_source + u"/Folders/Sub folder/note.txt").permissions());
        QCOMPARE(QFileInfo(target + u"Inbox.dbx").permissions() & (QFile::ReadOther | QFile::WriteOther),
                 QFile::Permissions());
    }

    // Both end records are accepted by others, and the directory digest covers exactly the bytes
    // zipinfo says the directory holds.
    void endRecordsAreAcceptedByOthers_data() {
        QTest::addColumn<bool>("zip64");
        QTest::newRow("plain") << false;
        QTest::newRow("zip64") << true;
    }
    void endRecordsAreAcceptedByOthers() {
        QFETCH(bool, zip64);
        struct Quiet : ZipRunEvents {
            void fileStarted(const QString&) override {}
            void statistics(double, double) override {}
            bool cancelRequested() override { return false; }
        } events;
        ZipCompressor(ZipCompressSettings{m_source, m_archive, 6, 2, zip64}, events).run();
        QCOMPARE(readWithPython(m_archive).digests.size(), 5);

        QProcess zipinfo;
        zipinfo.start(u"zipinfo"_s, {u"-v"_s, m_archive});
        QVERIFY(zipinfo.waitForFinished(60000));
        const QRegularExpressionMatch directory =
            QRegularExpression(u"central directory is (\\d+) .*?beginning of the zipfile\\s+is (\\d+)"_s,
                               QRegularExpression::DotMatchesEverythingOption)
                .match(QString::fromUtf8(zipinfo.readAllStandardOutput()));
        QVERIFY(directory.hasMatch());
        const QByteArray bytes =
            readFile(m_archive).mid(directory.captured(2).toLongLong(), directory.captured(1).toLongLong());
        QCOMPARE(ZipDirectoryDigest(m_archive), QCryptographicHash::hash(bytes, QCryptographicHash::Sha256));
        writeFile(m_archive, bytes); // a directory without its end record is no zip
        QCOMPARE(ZipDirectoryDigest(m_archive), QByteArray());
    }

    void extractsMembersWhateverTheirSeparatorAndCase() {
        cmpZIP zip;
        compress(zip, 6);
        const QString target = m_env->path(u"one"_s);
        extract(zip, target, u"folders\\SUB FOLDER\\note.txt"_s);
        QCOMPARE(filesIn(target), QStringList{u"Folders/Sub folder/note.txt"_s});
        // an existing file of that name is replaced
        writeFile(target + u"/Folders/Sub folder/note.txt", "old");
        extract(zip, target + u'/', u"Folders/Sub folder/note.txt"_s);
        QCOMPARE(readFile(target + u"/Folders/Sub folder/note.txt"), mailText(5'000, 5));

        // Older archives name folders with backslashes; of two members of one name the later wins.
        writeZip(
            m_archive,
            {{u"dir\\x.txt"_s, mailText(3'000'000, 8)}, {u"other.txt"_s, "b"}, {u"dir/x.txt"_s, "second"}},
            {}, true);
        extract(zip, target);
        QCOMPARE(readFile(target + u"/dir/x.txt"), QByteArray("second"));
    }

    void stoppedRunsEndOnceAndLeaveNoHalfFile_data() {
        QTest::addColumn<bool>("compressing");
        QTest::addColumn<int>("cancelAt");   // 1: before the run starts, 2: at its first event; 0: never
        QTest::addColumn<int>("number");     // error thrown; 0 for none
        QTest::addColumn<QString>("member"); // extracted after good.txt; a name it is refused for
        QTest::newRow("compress, cancel before starting") << true << 1 << 0 << QString();
        QTest::newRow("compress, cancel under way") << true << 2 << 0 << QString();
        QTest::newRow("extract, cancel before starting") << false << 1 << 0 << QString();
        QTest::newRow("extract, cancel under way") << false << 2 << 0 << QString();
        QTest::newRow("missing source folder") << true << 0 << 76 << QString();
        QTest::newRow("missing archive") << false << 0 << 53 << QString();
        QTest::newRow("not a zip") << false << 0 << 321 << QString();
        QTest::newRow("compress, full disk") << true << 0 << 61 << QString();
        QTest::newRow("extract, full disk") << false << 0 << 61 << QString();
        QTest::newRow("member with a parent") << false << 0 << 75 << u"../x"_s;
        QTest::newRow("absolute member") << false << 0 << 75 << u"/abs"_s;
        QTest::newRow("member on a drive") << false << 0 << 75 << u"C:\\x"_s;
        QTest::newRow("member with a backslash parent") << false << 0 << 75 << u"a\\..\\..\\x"_s;
        // only the checksum can tell
        QTest::newRow("member with damaged data") << false << 0 << 321 << u"photo.zip"_s;
    }
    void stoppedRunsEndOnceAndLeaveNoHalfFile() {
        QFETCH(bool, compressing);
        QFETCH(int, cancelAt);
        QFETCH(int, number);
        QFETCH(QString, member);
        writeFile(m_source + u"/big.dbx", mailText(40'000'000, 7));
        cmpZIP zip;
        if (!member.isEmpty()) {
            QByteArray bytes =
                writeZip(m_archive, {{u"good.txt"_s, "payload"}, {member, noise(300'000, 4)}}, {}, true);
            if (number == 321)
                bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x55);
            writeFile(m_archive, bytes);
        } else if (!compressing && number != 53 && number != 321) {
            compress(zip, 1);
        }
        if (number == 321 && member.isEmpty())
            writeFile(m_archive, "plain text, no archive");
        if (number == 76)
            m_source = m_env->path(u"nowhere"_s);
        QString target = m_env->path(u"restored"_s);
        const QString small = m_env->path(u"small"_s); // a 1 MiB file system for the full disk
        QDir().mkpath(small);
        const auto unmount =
            qScopeGuard([&] { ::umount2(QFile::encodeName(small).constData(), MNT_DETACH); });
        if (number == 61) {
            if (::geteuid() != 0 ||
                ::mount("tmpfs", QFile::encodeName(small).constData(), "tmpfs", 0, "size=1m") != 0)
                QSKIP("mounting a small file system needs root");
            m_archive = compressing ? small + u"/data.zip"_s : m_archive;
            target = small + u"/restored"_s;
        }
        EventLog log(zip);
        if (cancelAt == 1)
            log.cancel.request();
        log.cancelAtFirstEvent = cancelAt == 2;

        const VbError failure = raisedBy([&] { compressing ? compress(zip, 9) : extract(zip, target); });

        QCOMPARE(failure.number(), number);
        log.verifyEnded();
        // a full temporary folder is reported through OnError before the run ends
        QCOMPARE(log.lines.value(log.lines.size() - 2) == u"error 10"_s && failure.alreadyReported(),
                 number == 61);
        QCOMPARE(filesIn(QFileInfo(m_archive).path()),
                 compressing || number == 53 ? QStringList() : QStringList{u"data.zip"_s});
        // nothing half written is left under a temporary name
        QCOMPARE(filesIn(target).filter(QRegularExpression(u"(\\.part|\\.stowline-)"_s)), QStringList());
        // An unsafe name is refused before anything is written; damaged data keeps what came before.
        if (cancelAt != 2 && number != 61)
            QCOMPARE(filesIn(target),
                     member.isEmpty() || number == 75 ? QStringList() : QStringList{u"good.txt"_s});
        QVERIFY(failure.description().endsWith(member));
        QVERIFY(!QFile::exists(u"/abs"_s) && !QFile::exists(m_env->path(u"x"_s)));
    }

    // Large sources are asked for a window ahead of the readers, and no further until they move on.
    void prefetchStaysAWindowAheadOfTheReaders() {
        constexpr qint64 MiB = 1 << 20;
        const QString path = m_env->path(u"big.dbx"_s);
        writeFile(path, QByteArray(40 * MiB, 'x'));
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        const auto closeFile = qScopeGuard([fd] { ::close(fd); });
        ::fdatasync(fd);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        if (residentBytes(fd, 0, 40 * MiB) > MiB)
            QSKIP("this file system keeps the file in memory");
        // Some slack: a machine that trims its page cache may take a few pages back meanwhile.
        SourcePrefetcher prefetcher({{QFile::encodeName(path), 0, 40 * MiB, 0}});
        QTRY_VERIFY(residentBytes(fd, 0, 16 * MiB) >= 15 * MiB);
        QVERIFY(residentBytes(fd, 20 * MiB, 20 * MiB) < MiB);
        prefetcher.reached(24 * MiB);
        QTRY_VERIFY(residentBytes(fd, 0, 40 * MiB) >= 38 * MiB);
    }

    void commentSurvivesRewrites() {
        cmpZIP zip;
        compress(zip, 1);
        QCOMPARE(zip.GetComment(m_archive), QString());
        const QByteArray before = readFile(m_archive);
        zip.SetComment(m_archive, u"a much longer comment than three characters"_s);
        zip.SetComment(m_archive, u"101"_s);
        QCOMPARE(zip.GetComment(m_archive), u"101"_s);
        const QByteArray after = readFile(m_archive);
        QCOMPARE(after.size(), before.size() + 3);
        QVERIFY(after.startsWith(before.chopped(2))); // only the comment length and text changed

        // The longest comment a zip can hold, and nothing beyond it.
        WriteArchiveComment(m_archive, QByteArray(0x10000, 'x'));
        QCOMPARE(zip.GetComment(m_archive).size(), 0xFFFF);
        QVERIFY(!readWithPython(m_archive).methods.isEmpty());
        // a comment written in the Windows-1252 code page by an older version
        WriteArchiveComment(m_archive, QByteArray("caf\xe9 \x80"));
        QCOMPARE(zip.GetComment(m_archive), u"café €"_s);
    }
};

QTEST_MAIN(ZipComponentTest)
#include "ZipComponentTest.moc"
