#include "platform/RegistryStore.h"

#include "foundation/RegEdit.h"
#include "foundation/modError.h"
#include "tests/support/TestEnvironment.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTest>
#include <cstdio>
#include <memory>
#include <sqlite3.h>

using namespace stowline;
using namespace Qt::StringLiterals;
using platform::Hive;
using platform::RegistryValue;

namespace {

// In child mode this binary writes one value, says so, and waits to be killed.
constexpr char ChildModeVariable[] = "STOWLINE_REGISTRY_TEST_CHILD";

int childWriteAndWait() {
    RegEdit reg;
    reg.KeyPath = QStringLiteral("Software\\Killed");
    reg.ValueName = QStringLiteral("Written");
    reg.Value = QStringLiteral("before the kill");
    reg.WriteValue();
    std::puts("written");
    std::fflush(stdout);
    std::getchar(); // blocks until the parent kills us
    return 0;
}

QString regFileWithValues(const QString& key, int count) {
    QString text = QStringLiteral("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\%1]\r\n").arg(key);
    for (int i = 0; i < count; ++i)
        text += QStringLiteral("\"v%1\"=\"%1\"\r\n").arg(i);
    return text;
}

int vbErrorNumber(const std::function<void()>& work) {
    try {
        work();
    } catch (const VbError& error) {
        return error.number();
    }
    return 0;
}

} // namespace

class RegistryStoreTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_env = std::make_unique<test::TestEnvironment>();
        resetRegistryInstances();
    }
    void cleanup() { m_env.reset(); }

    void namesCompareWithoutCaseAndKeepIt_data() {
        QTest::addColumn<QString>("created");
        QTest::addColumn<QString>("lookedUp");
        QTest::addColumn<bool>("same");
        QTest::newRow("ascii") << "Identities"
                               << "IDENTITIES" << true;
        QTest::newRow("latin-1") << QString::fromUtf8("Ärger Über") << QString::fromUtf8("äRGER üBER")
                                 << true;
        QTest::newRow("greek final sigma") << QString::fromUtf8("ΟΔΟΣ") << QString::fromUtf8("οδος") << true;
        QTest::newRow("cyrillic") << QString::fromUtf8("Почта") << QString::fromUtf8("ПОЧТА") << true;
        QTest::newRow("sharp s is not ss") << QString::fromUtf8("Straße") << "STRASSE" << false;
        QTest::newRow("different names") << "Mail"
                                         << "Mails" << false;
    }
    void namesCompareWithoutCaseAndKeepIt() {
        QFETCH(QString, created);
        QFETCH(QString, lookedUp);
        QFETCH(bool, same);
        RegEdit& reg = regAccess();
        reg.KeyPath = QStringLiteral("Software\\") + created;
        reg.ValueName = created;
        reg.Value = QStringLiteral("first");
        reg.WriteValue();

        reg.KeyPath = QStringLiteral("software\\") + lookedUp;
        reg.ValueName = lookedUp;
        QCOMPARE(reg.Exists(1), same);
        QCOMPARE(reg.Exists(0), same);
        reg.Value = QStringLiteral("second");
        reg.WriteValue();

        reg.KeyPath = QStringLiteral("Software");
        const QStringList expectedKeys = same ? QStringList{created} : QStringList{created, lookedUp};
        const QStringList keys = reg.GetSubKeys();
        QCOMPARE(QSet<QString>(keys.cbegin(), keys.cend()),
                 QSet<QString>(expectedKeys.cbegin(), expectedKeys.cend()));
        reg.KeyPath = QStringLiteral("Software\\") + created;
        QCOMPARE(reg.GetValues().first().name, created);
        reg.ValueName = created;
        reg.ReadValue();
        QCOMPARE(reg.Value.toString(), same ? QStringLiteral("second") : QStringLiteral("first"));
    }

    void valuesRoundTripByType_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariant>("written");
        QTest::addColumn<QVariant>("read");
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("REG_SZ") << 1 << QVariant(QString::fromUtf8("Jörg's \"mail\""))
                                << QVariant(QString::fromUtf8("Jörg's \"mail\""))
                                << QByteArray("J\xc3\xb6rg's \"mail\"");
        QTest::newRow("REG_SZ from a number")
            << 1 << QVariant(9) << QVariant(QStringLiteral("9")) << QByteArray("9");
        QTest::newRow("REG_EXPAND_SZ kept unexpanded")
            << 2 << QVariant(QStringLiteral("%TEMP%\\x")) << QVariant(QStringLiteral("%TEMP%\\x"))
            << QByteArray("%TEMP%\\x");
        QTest::newRow("REG_BINARY, lower-case in")
            << 3 << QVariant(QStringLiteral("00ff10ab")) << QVariant(QStringLiteral("00FF10AB"))
            << QByteArray("\x00\xff\x10\xab", 4);
        QTest::newRow("REG_BINARY empty") << 3 << QVariant(QString()) << QVariant(QString()) << QByteArray();
        QTest::newRow("REG_NONE") << 0 << QVariant(QStringLiteral("01")) << QVariant(QStringLiteral("01"))
                                  << QByteArray("\x01");
        QTest::newRow("REG_DWORD") << 4 << QVariant(26) << QVariant(qint64(26))
                                   << QByteArray("\x1a\0\0\0", 4);
        QTest::newRow("REG_DWORD -1")
            << 4 << QVariant(-1) << QVariant(qint64(4294967295)) << QByteArray("\xff\xff\xff\xff");
        QTest::newRow("REG_DWORD from text")
            << 4 << QVariant(QStringLiteral("258")) << QVariant(qint64(258)) << QByteArray("\x02\x01\0\0", 4);
        QTest::newRow("REG_QWORD") << 11 << QVariant(quint64(0x0102030405060708))
                                   << QVariant(quint64(0x0102030405060708))
                                   << QByteArray("\x08\x07\x06\x05\x04\x03\x02\x01");
        QTest::newRow("REG_MULTI_SZ")
            << 7 << QVariant(QStringList{QStringLiteral("a"), QString::fromUtf8("é")})
            << QVariant(QStringList{QStringLiteral("a"), QString::fromUtf8("é")})
            << QByteArray("a\0\xc3\xa9\0\0", 6);
    }
    void valuesRoundTripByType() {
        QFETCH(int, type);
        QFETCH(QVariant, written);
        QFETCH(QVariant, read);
        QFETCH(QByteArray, stored);
        RegEdit& reg = regAccess();
        reg.KeyPath = QStringLiteral("Types");
        reg.ValueName = QStringLiteral("v");
        reg.ValueType = type;
        reg.Value = written;
        reg.WriteValue();
        reg.Value.clear();
        reg.ReadValue();
        QCOMPARE(reg.Value, read);
        QCOMPARE(reg.GetValues(), (RegValueList{RegValue{QStringLiteral("v"), type, stored}}));

        // A copy through GetValues/PutValues keeps type and bytes.
        const RegValueList values = reg.GetValues();
        reg.KeyPath = QStringLiteral("Copy");
        reg.PutValues(values);
        QCOMPARE(reg.GetValues(), values);
    }

    void badWritesRaise_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<int>("expected");
        QTest::newRow("odd hex") << 3 << QVariant(u"ABC"_s) << 13;
        QTest::newRow("not hex") << 3 << QVariant(u"zz"_s) << 13;
        QTest::newRow("dword too big") << 4 << QVariant(qint64(1) << 32) << 6;
        QTest::newRow("dword not a number") << 4 << QVariant(u"ten"_s) << 13;
        QTest::newRow("unknown type") << 9 << QVariant(u"x"_s) << 5;
    }
    void badWritesRaise() {
        QFETCH(int, type);
        QFETCH(QVariant, value);
        QFETCH(int, expected);
        RegEdit& reg = regAccess();
        reg.KeyPath = u"Software"_s;
        reg.ValueType = type;
        reg.Value = value;
        QCOMPARE(vbErrorNumber([&] { reg.WriteValue(); }), expected);
        QVERIFY(!reg.Exists(0));
    }

    void misuseRaisesInvalidCall() {
        RegEdit& reg = regAccess();
        reg.KeyPath = u"Nowhere"_s;
        QCOMPARE(vbErrorNumber([&] { reg.ReadValue(); }), 5);
        reg.KeyPath = QString();
        QCOMPARE(vbErrorNumber([&] { reg.DeleteKey(); }), 5);
        reg.RootKey = qint32(0x80000000);
        QCOMPARE(vbErrorNumber([&] { reg.Exists(1); }), 5);
    }

    void deleteKeyRemovesTheSubtreeOnly() {
        RegEdit& reg = regAccess();
        for (const char* path : {"Tree\\Gone\\Deep\\Deeper", "Tree\\Gone\\Side", "Tree\\Gonex"}) {
            reg.KeyPath = QString::fromLatin1(path);
            reg.ValueName = QStringLiteral("v");
            reg.Value = QStringLiteral("x");
            reg.WriteValue();
        }
        reg.KeyPath = QStringLiteral("TREE\\gone");
        reg.DeleteKey();
        reg.DeleteKey(); // a second time is harmless
        reg.KeyPath = QStringLiteral("Tree");
        QCOMPARE(reg.GetSubKeys(), QStringList{u"Gonex"_s});
        reg.KeyPath = QStringLiteral("Tree\\Gone\\Deep\\Deeper");
        QVERIFY(!reg.Exists(1));
        QCOMPARE(reg.CountEntries(0), 0);
        QVERIFY(reg.GetValues().isEmpty());
    }

    void foreignFileIsRefusedUntouched_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("sqlite"); // when set, SQL that makes another program's database
        QTest::newRow("text") << QByteArray("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\x]\r\n") << QByteArray();
        QTest::newRow("short binary") << QByteArray("\x00\x01\x02", 3) << QByteArray();
        QTest::newRow("sqlite header only")
            << QByteArray("SQLite format 3\0", 16).leftJustified(4096, '\0') << QByteArray();
        QTest::newRow("other database") << QByteArray() << QByteArray("CREATE TABLE keys (id INTEGER);");
        QTest::newRow("other database, WAL")
            << QByteArray() << QByteArray("PRAGMA journal_mode=WAL; CREATE TABLE keys (id INTEGER);");
    }
    void foreignFileIsRefusedUntouched() {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, sqlite);
        const QString file = m_env->registryFile();
        test::writeFile(file, content);
        if (!sqlite.isEmpty()) {
            sqlite3* db = nullptr;
            QCOMPARE(sqlite3_open(file.toUtf8().constData(), &db), SQLITE_OK);
            QCOMPARE(sqlite3_exec(db, sqlite.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(db);
            content = test::readFile(file);
        }
        platform::reopenRegistry();
        try {
            regAccess().Exists(1);
            QFAIL("a foreign file was accepted");
        } catch (const VbError& error) {
            QCOMPARE(error.number(), 57);
            QVERIFY2(error.description().contains(file), qPrintable(error.description()));
            QVERIFY(!error.description().contains(u'\n'));
        }
        QVERIFY_THROWS_EXCEPTION(platform::RegistryError, platform::RegistryStore{file});
        QCOMPARE(test::readFile(file), content);
        QVERIFY(!QFile::exists(file + u"-wal"_s));
        QVERIFY(!QFile::exists(file + u"-shm"_s));
    }

    void emptyOrMissingFileStartsFresh() {
        test::writeFile(m_env->registryFile(), QByteArray());
        platform::reopenRegistry();
        RegEdit& reg = regAccess();
        reg.KeyPath = QStringLiteral("Fresh");
        reg.CreateKey();
        QVERIFY(reg.Exists(1));

        qputenv("STOWLINE_REGISTRY", m_env->path(QStringLiteral("new/folder/reg.db")).toUtf8());
        platform::reopenRegistry();
        QVERIFY(!reg.Exists(1));
        reg.CreateKey();
        QVERIFY(QFile::exists(m_env->path(QStringLiteral("new/folder/reg.db"))));
    }

    void concurrentWritersLoseNothing() {
        constexpr int Children = 4;
        constexpr int ValuesPerChild = 300;
        constexpr int ParentValues = 60;
        RegEdit& reg = regAccess();
        reg.KeyPath = QStringLiteral("Concurrent");
        reg.CreateKey(); // the store exists before the children start
        std::vector<std::unique_ptr<QProcess>> children;
        for (int i = 0; i < Children; ++i) {
            const QString file = m_env->path(QStringLiteral("child%1.reg").arg(i));
            test::writeFile(
                file,
                regFileWithValues(QStringLiteral("Concurrent\\Child%1").arg(i), ValuesPerChild).toUtf8());
            auto& child = children.emplace_back(std::make_unique<QProcess>());
            child->start(test::TestEnvironment::binary(QStringLiteral("stowline-regedit")),
                         {QStringLiteral("/s"), file});
        }
        reg.KeyPath = QStringLiteral("Concurrent\\Parent");
        for (int i = 0; i < ParentValues; ++i) {
            reg.ValueName = QStringLiteral("p%1").arg(i);
            reg.Value = i;
            reg.WriteValue();
        }
        for (auto& child : children) {
            QVERIFY(child->waitForFinished(60000));
            QCOMPARE(child->exitCode(), 0);
        }
        QCOMPARE(reg.CountEntries(0), ParentValues);
        for (int i = 0; i < Children; ++i) {
            reg.KeyPath = QStringLiteral("Concurrent\\Child%1").arg(i);
            QCOMPARE(reg.CountEntries(0), ValuesPerChild);
        }
    }

    void writeSurvivesTheWriterBeingKilled() {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(ChildModeVariable), QStringLiteral("1"));
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForReadyRead(30000));
        QCOMPARE(child.readAllStandardOutput().trimmed(), QByteArray("written"));
        child.kill(); // SIGKILL: no chance to close the store
        QVERIFY(child.waitForFinished(30000));

        platform::reopenRegistry();
        RegEdit& reg = regAccess();
        reg.KeyPath = QStringLiteral("software\\killed");
        reg.ValueName = QStringLiteral("written");
        reg.ReadValue();
        QCOMPARE(reg.Value.toString(), QStringLiteral("before the kill"));
    }

private:
    std::unique_ptr<test::TestEnvironment> m_env;
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsSet(ChildModeVariable))
        return childWriteAndWait();
    QApplication app(argc, argv);
    RegistryStoreTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "RegistryStoreTest.moc"
