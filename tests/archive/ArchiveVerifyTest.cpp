#include "archive/ArchiveVerify.h"

#include "tests/support/TestEnvironment.h"

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
