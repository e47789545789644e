#include "archive/ArchiveVerify.h"

#include "archive/ZipCodec.h"
#include "archive/ZipExtractor.h"
#include "archive/ZipFormat.h"
#include "archive/ZipLibzip.h"
#include "foundation/modError.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace stowline;
using namespace stowline::test;

namespace {

const QString kId = u"{11111111-2222-3333-4444-555555555555}"_s;

QByteArray flipped(QByteArray bytes, qsizetype at) {
    bytes[at] = static_cast<char>(bytes[at] ^ 0x20);
    return bytes;
}

// The member's CRC changed alike in its local header and the central directory, as if its data had
// changed after the CRC was taken: every size still agrees.
QByteArray withOtherCrc(QByteArray zip, const QByteArray& member) {
    for (const auto& [signature, crcAt, nameAt] :
         {std::tuple{"PK\x03\x04", 14, 30}, {"PK\x01\x02", 16, 46}}) {
        for (qsizetype at = zip.indexOf(signature); at >= 0; at = zip.indexOf(signature, at + 4))
            if (zip.mid(at + nameAt, member.size()) == member)
                zip[at + crcAt] = static_cast<char>(zip[at + crcAt] ^ 0x01);
    }
    return zip;
}

using zipformat::put16;
using zipformat::put32;

// A stored member's local header with its data, or its central record.
struct Record {
    QByteArray name, data;
    quint32 offset = 0;
    quint16 flags = 0, method = 0;
    quint32 crc = Crc32(0, data.constData(), size_t(data.size())), size = quint32(data.size());
};
QByteArray record(const Record& r, bool central) {
    QByteArray h = central ? QByteArray("PK\1\2\x14\0", 6) : QByteArray("PK\3\4");
    for (const quint16 field : {quint16(20), r.flags, r.method, quint16(0), quint16(0x21)})
        put16(h, field);
    for (const quint32 field : {r.crc, r.size, r.size})
        put32(h, field);
    put32(h, quint32(r.name.size()));
    if (!central)
        return h + r.name + r.data;
    h += QByteArray(10, '\0');
    put32(h, r.offset);
    return h + r.name;
}

// Two stored Favorites written record by record, so that the records can disagree: fault names the
// field of b.url's central record that differs from its local header, or "hidden header" points
// b.url at a local header hidden inside a.url's data.
QByteArray craftedZip(const QString& fault) {
    const Record hidden{"b.url", "[InternetShortcut]\r\nURL=file:///home/evil\r\n"};
    const QByteArray aStart = "[InternetShortcut]\r\nURL=https://a.example/\r\n";
    const Record a{"a.url", aStart + record(hidden, false)};
    QByteArray zip = record(a, false);
    Record b{"b.url", "[InternetShortcut]\r\nURL=https://b.example/\r\n", quint32(zip.size())};
    zip += record(b, false);
    if (fault == u"hidden header")
        b = Record{hidden.name, hidden.data, quint32(zipformat::LocalHeaderSize + 5 + aStart.size())};
    b.name = fault == u"name" ? "c.url" : b.name;
    b.method = fault == u"method" ? zipformat::MethodDeflate : 0;
    b.size += fault == u"sizes" ? 1 : 0;
    b.crc ^= fault == u"crc" ? 1 : 0;
    b.flags = fault == u"flags" ? zipformat::FlagUtf8Names : 0;
    const QByteArray directory = record(a, true) + record(b, true);
    QByteArray end("PK\5\6\0\0\0\0\2\0\2\0", 12);
    put32(end, quint32(directory.size()));
    put32(end, quint32(zip.size()));
    return zip + directory + end + QByteArray(2, '\0');
}

bool unpacks(const ZipExtractSettings& settings) {
    struct : ZipRunEvents {
        void fileStarted(const QString&) override {}
        void statistics(double, double) override {}
        bool cancelRequested() override { return false; }
    } events;
    try {
        return ZipExtractor(settings, events).run() == ZipRunOutcome::Completed;
    } catch (const VbError&) {
        return false;
    }
}

} // namespace

class ArchiveVerifyTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    QByteArray m_mail = QByteArray("From: someone\r\nSubject: hello\r\n\r\n").repeated(2000);
    QByteArray m_reg = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Identities\\" + kId.toLatin1() +
                       "]\r\n\"Username\"=\"Main\"\r\n\r\n";

    QString path(const QString& name) const { return m_env->path(name); }

    // An archive as a backup writes it: registry file, inner zip of the store, index.
    QByteArray archiveBytes(const QByteArray& innerZip, const QByteArray& reg, bool stored = true) {
        return writeZip(path(u"outer.stw"_s),
                        {{kId + u"/ident_key.reg"_s, reg},
                         {kId + u"/ident_data.zip"_s, innerZip},
                         {u"ident.idx"_s, "\"Main\",\"" + kId.toLatin1() + "\"\r\n"}},
                        "111", stored);
    }
    // Long enough for deflate to pay, so the member is deflated even where small ones are stored.
    QByteArray longReg() const {
        QByteArray reg = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Identities\\" + kId.toLatin1() + "]\r\n";
        for (int i = 0; i < 100; ++i)
            reg += "\"Value" + QByteArray::number(i) + "\"=\"the same text\"\r\n";
        return reg + "\r\n";
    }
    QByteArray innerZip(bool stored) {
        return writeZip(path(u"inner.zip"_s), {{u"Inbox.dbx"_s, m_mail}}, "111", stored);
    }

private slots:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void damage_data() {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("member");
        QTest::addColumn<int>("reason");
        const QString reg = kId + u"/ident_key.reg"_s;
        QTest::newRow("sound") << u"none"_s << QString() << 0;
        QTest::newRow("sound, inner members stored") << u"stored"_s << QString() << 0;
        // The inner zip is damaged before it was packed: the outer CRC agrees, the inner one not.
        QTest::newRow("byte flipped in an inner zip")
            << u"inner"_s << kId + u"/ident_data.zip: Inbox.dbx"_s << 1202;
        // Packed again, it is read as a stream, not in place: only the check of its stored member's CRC
        // sees this.
        QTest::newRow("byte flipped in an inner zip packed again")
            << u"inner, packed again"_s << kId + u"/ident_data.zip: Inbox.dbx"_s << 1202;
        QTest::newRow("byte flipped in the archive file") << u"outer"_s << reg << 1202;
        // Deflated data is inflated here rather than by libzip, so only our own CRC check sees this.
        QTest::newRow("deflated member whose CRC disagrees") << u"crc"_s << reg << 1202;
        QTest::newRow("truncated archive") << u"truncated"_s << QString() << 1201;
        QTest::newRow("registry file that does not parse") << u"reg"_s << reg << 1204;
        QTest::newRow("registry key deeper than Windows allows") << u"deep"_s << reg << 1204;
        QTest::newRow("inner member that is no zip") << u"nozip"_s << kId + u"/ident_data.zip"_s << 1203;
    }
    void damage() {
        QFETCH(QString, damage);
        QFETCH(QString, member);
        QFETCH(int, reason);
        // inner members stored or deflated
        const QByteArray inner = innerZip(damage == u"stored" || damage == u"inner, packed again");
        QByteArray bytes;
        if (damage.startsWith(u"inner"))
            bytes = archiveBytes(flipped(inner, inner.size() / 3), m_reg, damage == u"inner");
        else if (damage == u"reg")
            bytes = archiveBytes(inner, "not a registry file\r\n");
        else if (damage == u"deep")
            bytes = archiveBytes(inner, m_reg + "[HKEY_CURRENT_USER\\Identities\\" + kId.toLatin1() +
                                            QByteArray("\\k").repeated(511) + "]\r\n");
        else if (damage == u"nozip")
            bytes = archiveBytes("PK\x03\x04 short", m_reg);
        else if (damage == u"crc")
            bytes = withOtherCrc(archiveBytes(inner, longReg(), false), (kId + u"/ident_key.reg"_s).toUtf8());
        else
            bytes = archiveBytes(inner, m_reg);
        if (damage == u"outer")
            bytes = flipped(bytes, bytes.indexOf("Username") + 1);
        if (damage == u"truncated")
            bytes.chop(30);
        writeFile(path(u"outer.stw"_s), bytes);

        const VerifyResult result = VerifyArchive(path(u"outer.stw"_s));
        QCOMPARE(result.member, member);
        QCOMPARE(result.reasonId, reason);
        // The check after a backup skips only what the outer CRC already vouches for.
        if (damage != u"inner")
            QCOMPARE(VerifyArchive(path(u"outer.stw"_s), VerifyDepth::Placed).member, member);

        // The exit status scripts test.
        QCOMPARE(runProgram(u"stowline"_s, {u"--verify"_s, path(u"outer.stw"_s)}).status, reason ? 1 : 0);
    }

    // One reading of a zip for every reader: a central record that disagrees with its local header or
    // points inside another member's data makes the zip damaged for --verify, for the listing before
    // the plan and for the unpack alike, as an inner zip (read in place or streamed) or as the archive.
    void oneReadingOfAZip_data() {
        QTest::addColumn<QString>("fault");
        for (const char* fault : {"none", "hidden header", "name", "method", "sizes", "crc", "flags"})
            QTest::newRow(fault) << QString::fromLatin1(fault);
    }
    void oneReadingOfAZip() {
        QFETCH(QString, fault);
        const bool sound = fault == u"none";
        const QByteArray zip = craftedZip(fault);
        const QString inner = u"ief/ief_data.zip"_s;
        const QString outer = path(u"outer.stw"_s);
        for (const bool stored : {false, true}) {
            writeZip(outer, {{inner, zip}, {u"ident.idx"_s, "\r\n"}}, "001", stored);
            const VerifyResult result = VerifyArchive(outer);
            QVERIFY2(sound ? result.member.isEmpty() : result.member.startsWith(inner),
                     qPrintable(result.member));
            QCOMPARE(result.reasonId, sound ? 0 : 1203);
        }
        QCOMPARE(runProgram(u"stowline"_s, {u"--verify"_s, outer}).status, sound ? 0 : 1);
        QCOMPARE(InnerZipMemberEntries(outer, inner).has_value(), sound);
        QCOMPARE(unpacks({outer, path(u"favorites"_s), u"*.*"_s, 1, nullptr, inner}), sound);

        const QString alone = path(u"alone.zip"_s);
        writeFile(alone, zip);
        QCOMPARE(ZipMemberEntries(alone).has_value(), sound);
        QCOMPARE(VerifyArchive(alone).reasonId, sound ? 0 : 1201);
        ZipExtractSettings unpackAlone;
        unpackAlone.archiveFile = alone;
        unpackAlone.extractFolder = path(u"unpacked"_s);
        QCOMPARE(unpacks(unpackAlone), sound);
    }

    // The check reads a registry file as the import does, whatever its size and however its lines fall
    // on the stream's chunks: the same verdict from --verify's check, the restore's reading and
    // stowline-regedit /s, for long-lined files of both formats and for the importer's own samples.
    void registryFileReadAsImported_data() {
        QTest::addColumn<QByteArray>("reg");
        // count values of one long line each, its end the only one or none at the file's end
        const auto lines = [](int count, int length, const QByteArray& text, const QByteArray& end = "\r\n") {
            QByteArray reg = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Identities\\" + kId.toLatin1() + "]\r\n";
            for (int i = 0; i < count; ++i)
                reg +=
                    "\"v" + QByteArray::number(i) + "\"=\"" + text.repeated(length / text.size()) + '"' + end;
            return reg;
        };
        for (const int length : {211, 70000})
            QTest::newRow(qPrintable(u"lines of %1 bytes"_s.arg(length)))
                << lines(300000 / length + 2, length, "x");
        QTest::newRow("broken after the first chunk")
            << lines(400, 211, "w") + "\"broken\"=\"unterminated\r\n";
        const QString text = QString::fromLatin1(lines(500, 211, "u", "\r"))
                                 .replace(u"REGEDIT4"_s, u"Windows Registry Editor Version 5.00"_s);
        QTest::newRow("version 5, wide, lone CR ends")
            << "\xff\xfe" + QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        const QDir samples(QStringLiteral(STOWLINE_SOURCE_DIR "/tests/fuzz/corpus/RegFile"));
        for (const QString& name : samples.entryList({u"*.reg"_s}, QDir::Files))
            QTest::newRow(qPrintable(name)) << readFile(samples.filePath(name));
    }
    void registryFileReadAsImported() {
        QFETCH(QByteArray, reg);
        writeFile(path(u"in.reg"_s), reg);
        const bool imported = runProgram(u"stowline-regedit"_s, {u"/s"_s, path(u"in.reg"_s)}).status == 0;
        for (const bool stored : {false, true}) { // read in chunks of 64 KiB, or as they inflate
            archiveBytes(innerZip(false), reg, stored);
            const VerifyResult verified = VerifyArchive(path(u"outer.stw"_s), VerifyDepth::Placed);
            QVERIFY2(verified.ok() == imported && (imported || verified.reasonId == 1204),
                     qPrintable(verified.detail));
            QCOMPARE(ParseRegMember(path(u"outer.stw"_s), kId + u"/ident_key.reg"_s, [](const RegFileOp&) {}),
                     imported);
        }
    }

    // After a backup only the outer CRC vouches for an inner zip's bytes, read in windows: a sound one
    // passes, a byte flipped past the first window is seen.
    void storedInnerZipDamagedAfterPacking() {
        const QByteArray big =
            writeZip(path(u"inner.zip"_s), {{u"Inbox.dbx"_s, m_mail.repeated(260)}}, "111", true);
        const QByteArray bytes = archiveBytes(big, m_reg);
        QVERIFY(VerifyArchive(path(u"outer.stw"_s), VerifyDepth::Placed).ok());
        writeFile(path(u"outer.stw"_s), flipped(bytes, bytes.indexOf(big) + big.size() - 1000));
        const VerifyResult result = VerifyArchive(path(u"outer.stw"_s), VerifyDepth::Placed);
        QCOMPARE(result.member, kId + u"/ident_data.zip"_s);
        QCOMPARE(result.reasonId, 1202);
    }
};

QTEST_MAIN(ArchiveVerifyTest)
#include "ArchiveVerifyTest.moc"
