#include "archive/ArchiveVerify.h"
#include "archive/ZipCompressor.h"
#include "archive/ZipDecrypt.h"
#include "archive/ZipExtractor.h"
#include "foundation/modError.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <utility>
#include <zip.h>

using namespace Qt::StringLiterals;
using namespace stowline;

namespace {

const QByteArray kPassphrase = "correct horse battery staple";

class QuietEvents : public ZipRunEvents {
public:
    void fileStarted(const QString&) override {}
    void statistics(double, double) override {}
    bool cancelRequested() override { return false; }
};

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Every file below the folder with its bytes, by relative path.
QMap<QString, QByteArray> filesBelow(const QString& folder) {
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(folder).relativeFilePath(path), readFile(path));
    }
    return files;
}

// Runs a tool we did not write; its exit status, its output kept for a failure's message.
int tool(const QString& program, const QStringList& arguments, QByteArray* output = nullptr) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    process.waitForFinished(120000);
    if (output)
        *output = process.readAll();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// Offset of the first encrypted data byte after the salt and verifier of a member.
qsizetype dataOffsetOf(const QByteArray& zip, const QByteArray& member) {
    for (qsizetype at = zip.indexOf("PK\x03\x04"); at >= 0; at = zip.indexOf("PK\x03\x04", at + 4)) {
        const auto nameSize = static_cast<uchar>(zip[at + 26]) | static_cast<uchar>(zip[at + 27]) << 8;
        const auto extraSize = static_cast<uchar>(zip[at + 28]) | static_cast<uchar>(zip[at + 29]) << 8;
        if (zip.mid(at + 30, nameSize) == member)
            return at + 30 + nameSize + extraSize + 18;
    }
    return -1;
}

// Changes five bytes in the middle of a member's encrypted data in the file itself, same size, same
// time, as a forger would: counter mode changes the plaintext alike, and this pattern (the CRC-32
// polynomial) leaves the CRC of any bytes it is XORed onto as it was.
void forgeMiddle(const QString& archive, const QByteArray& member) {
    zip_t* zip = zip_open(QFile::encodeName(archive).constData(), ZIP_RDONLY, nullptr);
    zip_stat_t stat;
    QVERIFY(zip && zip_stat(zip, member.constData(), 0, &stat) == 0);
    zip_discard(zip);
    const qsizetype at = dataOffsetOf(readFile(archive), member) + qsizetype(stat.comp_size - 28) / 2;
    QFile file(archive);
    const QDateTime modified = QFileInfo(archive).lastModified();
    QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(at));
    QByteArray bytes = file.read(5);
    const char pattern[] = {0x41, 0x06, 0x71, char(0xDB), 0x01};
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(bytes[i] ^ pattern[i]);
    QVERIFY(file.seek(at) && file.write(bytes) == 5);
    QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
}

// Why a member could not be read whole by a MemberReader; ZIP_ER_OK when it could.
int readFailure(const QString& archive, const QByteArray& member) {
    zip_t* zip = zip_open(QFile::encodeName(archive).constData(), ZIP_RDONLY, nullptr);
    int failure = ZIP_ER_OK;
    {
        MemberReader reader(zip, zip_uint64_t(zip_name_locate(zip, member.constData(), 0)));
        char piece[4096];
        zip_int64_t n = 0;
        while ((n = reader.read(piece, sizeof piece)) > 0) {
        }
        if (n < 0 || !reader.isOpen())
            failure = zip_error_code_zip(reader.error());
    }
    zip_discard(zip);
    return failure;
}

} // namespace

class ZipEncryptionTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QMap<QString, QByteArray> m_source;      // the archive's own files
    QMap<QString, QByteArray> m_innerSource; // the files of its nested archive

    QString path(const QString& name) const { return m_dir.filePath(name); }

    // An archive as a backup writes it: small and large files, one that does not shrink, and an
    // inner zip made on the fly whose large file spans several slices.
    QString writeArchive(const QByteArray& passphrase, bool zip64 = false) {
        const QString archive = path(u"backup.stw"_s);
        ZipCompressSettings settings{path(u"source"_s), archive, 1};
        settings.passphrase = passphrase;
        settings.forceZip64 = zip64;
        settings.comment = "111";
        settings.nested.push_back({"ident/ident_data.zip", path(u"inner"_s), 1});
        QuietEvents events;
        ZipCompressor(settings, events).run();
        return archive;
    }

    // Extracts with our extractor; the outcome text, empty when it completed.
    QString extract(const QString& archive, const QString& folder, const QString& innerMember = {}) {
        ZipExtractSettings settings{archive, folder};
        settings.innerMember = innerMember;
        QuietEvents events;
        try {
            ZipExtractor(settings, events).run();
        } catch (const VbError& failure) {
            return failure.description();
        }
        return {};
    }

private slots:
    void initTestCase() {
        auto* random = QRandomGenerator::global();
        QByteArray noise(300 * 1024, Qt::Uninitialized);
        random->fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        QByteArray mail;
        for (int i = 0; i < 20000; ++i)
            mail += "From: someone " + QByteArray::number(i) + "\r\nSubject: note\r\n\r\nhello\r\n";
        QByteArray reg = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Identities]\r\n"; // long enough to be deflated
        for (int i = 0; i < 300; ++i)
            reg += "\"Value" + QByteArray::number(i) + "\"=\"text\"\r\n";
        m_source = {{u"ident.idx"_s, "\"Main\",\"{1}\"\r\n"},
                    {u"ident/ident_key.reg"_s, reg},
                    {u"version.txt"_s, "1.0\r\n"},
                    {u"pictures.bin"_s, noise}};
        m_innerSource = {{u"Inbox.dbx"_s, mail}, {u"photo.jpg"_s, noise}, {u"small.txt"_s, "x"}};
        for (auto it = m_source.cbegin(); it != m_source.cend(); ++it)
            writeFile(path(u"source/"_s + it.key()), it.value());
        for (auto it = m_innerSource.cbegin(); it != m_innerSource.cend(); ++it)
            writeFile(path(u"inner/"_s + it.key()), it.value());
    }
    void init() {
        ForgetArchivePassphrases();
        QFile::remove(path(u"backup.stw"_s));
        QDir(path(u"out"_s)).removeRecursively();
    }

    // What we write, 7-Zip and bsdtar extract whole; the inner zip, with its sizes after the data,
    // opens in 7-Zip too.
    void toolsExtractWhatWeWrite_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<bool>("zip64");
        QTest::newRow("7zz") << u"7zz"_s << false;
        QTest::newRow("bsdtar") << u"bsdtar"_s << false;
        // Zip64 sizes beside the AES field in every header of the archive, and Zip64 end records.
        QTest::newRow("7zz, Zip64 records") << u"7zz"_s << true;
        QTest::newRow("bsdtar, Zip64 records") << u"bsdtar"_s << true;
    }
    void toolsExtractWhatWeWrite() {
        QFETCH(QString, program);
        QFETCH(bool, zip64);
        const QString archive = writeArchive(kPassphrase, zip64);
        const QString out = path(u"out"_s);
        QDir().mkpath(out);
        const QString pass = QString::fromUtf8(kPassphrase);
        const QStringList arguments =
            program == u"7zz" ? QStringList{u"x"_s, u"-p"_s + pass, u"-o"_s + out, archive}
                              : QStringList{u"-x"_s, u"--passphrase"_s, pass, u"-C"_s, out, u"-f"_s, archive};
        QByteArray output;
        QCOMPARE(tool(program, arguments, &output), 0);
        QMap<QString, QByteArray> extracted = filesBelow(out);
        const QByteArray innerZip = extracted.take(u"ident/ident_data.zip"_s);
        QCOMPARE(extracted, m_source);
        writeFile(path(u"inner.zip"_s), innerZip);
        QCOMPARE(tool(u"7zz"_s, {u"x"_s, u"-o"_s + path(u"out/inner"_s), path(u"inner.zip"_s)}, &output), 0);
        QCOMPARE(filesBelow(path(u"out/inner"_s)), m_innerSource);
        // Wrong passphrase: the tools refuse too.
        QVERIFY(tool(u"7zz"_s, {u"t"_s, u"-pwrong"_s, archive}) != 0);
    }

    // What 7-Zip and bsdtar write encrypted, our extractor and check read, and the reverse: ours.
    void weReadWhatToolsWrite_data() {
        QTest::addColumn<QString>("writer");
        QTest::newRow("ours") << u"ours"_s;
        QTest::newRow("7zz") << u"7zz"_s;
        QTest::newRow("bsdtar") << u"bsdtar"_s;
    }
    void weReadWhatToolsWrite() {
        QFETCH(QString, writer);
        const QString archive = path(u"backup.stw"_s);
        const QString pass = QString::fromUtf8(kPassphrase);
        if (writer == u"ours")
            writeArchive(kPassphrase);
        else if (writer == u"7zz")
            QCOMPARE(tool(u"7zz"_s, {u"a"_s, u"-tzip"_s, u"-mem=AES256"_s, u"-p"_s + pass, archive,
                                     path(u"source"_s) + u"/*"_s}),
                     0);
        else
            QCOMPARE(tool(u"bsdtar"_s,
                          {u"-c"_s, u"--format"_s, u"zip"_s, u"--options"_s, u"zip:encryption=aes256"_s,
                           u"--passphrase"_s, pass, u"-f"_s, archive, u"-C"_s, path(u"source"_s), u"."_s}),
                     0);
        AddArchivePassphrase("another one");
        AddArchivePassphrase(kPassphrase);
        QCOMPARE(TryArchivePassphrase(archive, kPassphrase), PassphraseFit::Fits);
        // bsdtar streams: beside a data descriptor its local headers give the uncompressed size alone.
        QCOMPARE(VerifyArchive(archive).reasonId, 0);
        QCOMPARE(extract(archive, path(u"out"_s)), QString());
        QMap<QString, QByteArray> extracted = filesBelow(path(u"out"_s));
        extracted.remove(u"ident/ident_data.zip"_s);
        QCOMPARE(extracted, m_source);
        if (writer == u"ours") {
            QCOMPARE(extract(archive, path(u"out/inner"_s), u"ident/ident_data.zip"_s), QString());
            QCOMPARE(filesBelow(path(u"out/inner"_s)), m_innerSource);
        }
    }

    // A change in any member is found by its authentication code, and nothing of it written; the
    // check after writing is not fooled by a change that keeps the CRC.
    void changedByteIsFound_data() {
        QTest::addColumn<QByteArray>("member");
        for (const char* member :
             {"ident.idx", "ident/ident_key.reg", "version.txt", "pictures.bin", "ident/ident_data.zip"})
            QTest::newRow(member) << QByteArray(member);
    }
    void changedByteIsFound() {
        QFETCH(QByteArray, member);
        const QString archive = writeArchive(kPassphrase);
        forgeMiddle(archive, member);
        AddArchivePassphrase(kPassphrase);
        const VerifyResult result = VerifyArchive(archive);
        QCOMPARE(result.member, QString::fromUtf8(member));
        QCOMPARE(result.reasonId, 1900);
        // The check after a backup, which authenticates on its workers, finds it too.
        ForgetArchivePassphrases();
        AddArchivePassphrase(kPassphrase);
        QCOMPARE(VerifyArchive(archive, VerifyDepth::Placed).reasonId, 1900);
        {
            // Nor does authenticating ahead, as a restore does, let it through: waited for or not.
            const AuthenticationAhead ahead(archive, {QString::fromUtf8(member)});
            QVERIFY(!extract(archive, path(u"out"_s)).isEmpty());
        }
        QVERIFY(!QFile::exists(path(u"out/"_s) + QString::fromUtf8(member)));
        QVERIFY(tool(u"7zz"_s, {u"t"_s, u"-p"_s + QString::fromUtf8(kPassphrase), archive}) != 0);
    }

    // A member authenticated as a restore does, then changed in the file (another process, a share
    // serving other bytes), is refused when read afterwards, read whole or in place, and nothing of
    // the changed bytes is written.
    void changedAfterAuthenticationIsRefused_data() {
        QTest::addColumn<QByteArray>("member");
        QTest::newRow("stored, several chunks") << QByteArray("pictures.bin");
        QTest::newRow("deflated registry file") << QByteArray("ident/ident_key.reg");
        QTest::newRow("inner zip read in place") << QByteArray("ident/ident_data.zip");
    }
    void changedAfterAuthenticationIsRefused() {
        QFETCH(QByteArray, member);
        const QString archive = writeArchive(kPassphrase);
        AddArchivePassphrase(kPassphrase);
        { const AuthenticationAhead ahead(archive, {QString::fromUtf8(member)}); }
        forgeMiddle(archive, member);
        QCOMPARE(readFailure(archive, member), ZIP_ER_CRC);
        const bool inner = member.endsWith(".zip");
        const QString out = path(u"out"_s);
        QVERIFY(!extract(archive, out, inner ? QString::fromUtf8(member) : QString()).isEmpty());
        QMap<QString, QByteArray> written = filesBelow(out);
        written.remove(u"ident/ident_data.zip"_s);
        for (auto it = written.cbegin(); it != written.cend(); ++it)
            QCOMPARE(it.value(), (inner ? m_innerSource : m_source).value(it.key()));
    }

    // A plain deflated member read through our own inflater: whole when intact, refused when its
    // bytes do not give the CRC recorded for it (as libzip refuses it).
    void plainMemberByCodec_data() {
        QTest::addColumn<bool>("crcChanged");
        QTest::newRow("intact") << false;
        QTest::newRow("recorded CRC changed") << true;
    }
    void plainMemberByCodec() {
        QFETCH(bool, crcChanged);
        const QByteArray text = m_innerSource.value(u"Inbox.dbx"_s);
        const QString archive = path(u"plain.zip"_s);
        QFile::remove(archive);
        zip_t* writing = zip_open(QFile::encodeName(archive).constData(), ZIP_CREATE, nullptr);
        zip_source_t* source = zip_source_buffer(writing, text.constData(), zip_uint64_t(text.size()), 0);
        QVERIFY(zip_file_add(writing, "Inbox.dbx", source, 0) == 0);
        QVERIFY(zip_set_file_compression(writing, 0, ZIP_CM_DEFLATE, 1) == 0);
        QVERIFY(zip_close(writing) == 0);
        if (crcChanged) {
            QByteArray bytes = readFile(archive);
            for (const auto& [signature, crcAt] :
                 {std::pair{"PK\x03\x04", 14}, std::pair{"PK\x01\x02", 16}}) {
                const qsizetype at = bytes.indexOf(signature) + crcAt;
                bytes[at] = static_cast<char>(bytes[at] ^ 0x01);
            }
            writeFile(archive, bytes);
        }
        zip_t* reading = zip_open(QFile::encodeName(archive).constData(), ZIP_RDONLY, nullptr);
        QVERIFY(reading);
        MemberReader reader(reading, 0, 0, MemberReader::Inflate::ByCodec);
        QByteArray read(text.size() + 1, Qt::Uninitialized);
        qsizetype done = 0;
        zip_int64_t n = 0;
        while ((n = reader.read(read.data() + done, zip_uint64_t(read.size() - done))) > 0)
            done += n;
        QCOMPARE(n < 0, crcChanged);
        if (crcChanged)
            QCOMPARE(zip_error_code_zip(reader.error()), ZIP_ER_CRC);
        else
            QCOMPARE(read.left(done), text);
        zip_discard(reading);
    }

    // A wrong passphrase, or none, is told as such and writes nothing.
    void wrongPassphraseWritesNothing_data() {
        QTest::addColumn<QByteArray>("given");
        QTest::addColumn<int>("reason");
        QTest::newRow("wrong") << QByteArray("wrong") << 1901;
        QTest::newRow("none") << QByteArray() << 1902;
    }
    void wrongPassphraseWritesNothing() {
        QFETCH(QByteArray, given);
        QFETCH(int, reason);
        const QString archive = writeArchive(kPassphrase);
        AddArchivePassphrase(given);
        QCOMPARE(VerifyArchive(archive).reasonId, reason);
        QCOMPARE(TryArchivePassphrase(archive, given), PassphraseFit::Wrong);
        QVERIFY(!extract(archive, path(u"out"_s)).isEmpty());
        QVERIFY(filesBelow(path(u"out"_s)).isEmpty());
    }
};

QTEST_GUILESS_MAIN(ZipEncryptionTest)
#include "ZipEncryptionTest.moc"
