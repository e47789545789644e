#include "platform/RegistryStore.h"

#include "foundation/RegEdit.h"
#include "foundation/modError.h"
#include "tests/support/TestEnvironment.h"

#include <QFile>
#include <QProcess>
#include <QTest>
#include <array>
#include <fcntl.h>
#include <future>
#include <sqlite3.h>
#include <stdexcept>
#include <sys/file.h>
#include <unistd.h>

using namespace stowline;
using namespace Qt::StringLiterals;
using platform::Hive;

namespace {

// What work raised; number 0 when it raised nothing.
VbError raised(const std::function<void()>& work) {
    try {
        work();
    } catch (const VbError& error) {
        return error;
    }
    return VbError(0, QString());
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
        const auto row = [](const char* name, const char* created, const char* lookedUp, bool same) {
            QTest::newRow(name) << QString::fromUtf8(created) << QString::fromUtf8(lookedUp) << same;
        };
        row("ascii", "Identities", "IDENTITIES", true);
        row("latin-1", "Ärger Über", "äRGER üBER", true);
        row("greek final sigma", "ΟΔΟΣ", "οδος", true);
        row("cyrillic", "Почта", "ПОЧТА", true);
        row("sharp s is not ss", "Straße", "STRASSE", false);
        row("different names", "Mail", "Mails", false);
    }
    void namesCompareWithoutCaseAndKeepIt() {
        QFETCH(QString, created);
        QFETCH(QString, lookedUp);
        QFETCH(bool, same);
        test::setValue(u"Software\\"_s + created, created, u"first"_s);
        RegEdit& reg = regAccess();
        reg.KeyPath = u"software\\"_s + lookedUp;
        reg.ValueName = lookedUp;
        QCOMPARE(reg.Exists(0), same);
        test::setValue(reg.KeyPath, lookedUp, u"second"_s);

        reg.KeyPath = u"Software"_s;
        QCOMPARE(reg.GetSubKeys().size(), same ? 1 : 2);
        QVERIFY(reg.GetSubKeys().contains(created));
        reg.KeyPath = u"Software\\"_s + created;
        QCOMPARE(reg.GetValues().first().name, created);
        reg.ValueName = created;
        reg.ReadValue();
        QCOMPARE(reg.Value.toString(), same ? u"second"_s : u"first"_s);
    }

    void valuesRoundTripByType_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariant>("written");
        QTest::addColumn<QVariant>("read");
        QTest::addColumn<QByteArray>("stored");
        // read: what ReadValue gives back, when it differs from what was written
        const auto row = [](const char* name, int type, const QVariant& written, const QByteArray& stored,
                            const QVariant& read = {}) {
            QTest::newRow(name) << type << written << (read.isValid() ? read : written) << stored;
        };
        row("REG_SZ", 1, u"Jörg's \"mail\""_s, "J\xc3\xb6rg's \"mail\"");
        row("REG_SZ from a number", 1, 9, "9", u"9"_s);
        row("REG_EXPAND_SZ kept unexpanded", 2, u"%TEMP%\\x"_s, "%TEMP%\\x");
        row("REG_BINARY, lower-case in", 3, u"00ff10ab"_s, QByteArray("\x00\xff\x10\xab", 4), u"00FF10AB"_s);
        row("REG_BINARY empty", 3, QString(), QByteArray());
        row("REG_NONE", 0, u"01"_s, "\x01");
        row("REG_DWORD", 4, 26, QByteArray("\x1a\0\0\0", 4), qint64(26));
        row("REG_DWORD -1", 4, -1, "\xff\xff\xff\xff", qint64(4294967295));
        row("REG_DWORD from text", 4, u"258"_s, QByteArray("\x02\x01\0\0", 4), qint64(258));
        row("REG_QWORD", 11, quint64(0x0102030405060708), "\x08\x07\x06\x05\x04\x03\x02\x01");
        row("REG_MULTI_SZ", 7, QStringList{u"a"_s, u"é"_s}, QByteArray("a\0\xc3\xa9\0\0", 6));
    }
    void valuesRoundTripByType() {
        QFETCH(int, type);
        QFETCH(QVariant, written);
        QFETCH(QVariant, read);
        QFETCH(QByteArray, stored);
        test::setValue(u"Types"_s, u"v"_s, written, type);
        RegEdit& reg = regAccess();
        reg.KeyPath = u"Types"_s;
        reg.ValueName = u"v"_s;
        reg.ReadValue();
        QCOMPARE(reg.Value, read);
        const RegValueList values = reg.GetValues();
        QCOMPARE(values, (RegValueList{RegValue{u"v"_s, type, stored}}));

        // A copy through GetValues/PutValues keeps type and bytes.
        reg.KeyPath = u"Copy"_s;
        reg.PutValues(values);
        QCOMPARE(reg.GetValues(), values);
    }

    void badCallsRaise() {
        RegEdit& reg = regAccess();
        const auto write = [&](int type, const QVariant& value) {
            return raised([&] { test::setValue(u"Software"_s, u"v"_s, value, type); }).number();
        };
        QCOMPARE(write(3, u"ABC"_s), 13); // odd hex
        QCOMPARE(write(3, u"zz"_s), 13);
        QCOMPARE(write(4, qint64(1) << 32), 6);
        QCOMPARE(write(4, u"ten"_s), 13);
        QCOMPARE(write(9, u"x"_s), 5); // unknown type
        QVERIFY(!reg.Exists(0));
        reg.KeyPath = u"Nowhere"_s;
        QCOMPARE(raised([&] { reg.ReadValue(); }).number(), 5);
        reg.KeyPath = QString();
        QCOMPARE(raised([&] { reg.DeleteKey(); }).number(), 5);
        reg.RootKey = qint32(0x80000000);
        QCOMPARE(raised([&] { reg.Exists(1); }).number(), 5);
    }

    void deleteKeyRemovesTheSubtreeOnly() {
        for (const char* path : {"Tree\\Gone\\Deep\\Deeper", "Tree\\Gone\\Side", "Tree\\Gonex"})
            test::setValue(QString::fromLatin1(path), u"v"_s, u"x"_s);
        RegEdit& reg = regAccess();
        reg.KeyPath = u"TREE\\gone"_s;
        reg.DeleteKey();
        reg.DeleteKey(); // a second time is harmless
        reg.KeyPath = u"Tree"_s;
        QCOMPARE(reg.GetSubKeys(), QStringList{u"Gonex"_s});

        // Past SQLite's 1,000 cascade levels (older versions let chains grow that deep), and inside one
        // transaction that found the key before.
        auto& store = platform::registry();
        const QString chain = u"Tree\\Chain"_s + u"\\k"_s.repeated(1200);
        store.createKey(Hive::CurrentUser, chain);
        bool foundBefore = false;
        bool foundAfter = true;
        store.write([&] {
            foundBefore = store.keyExists(Hive::CurrentUser, chain);
            store.deleteKey(Hive::CurrentUser, u"Tree\\Chain"_s);
            foundAfter = store.keyExists(Hive::CurrentUser, chain);
        });
        QVERIFY(foundBefore && !foundAfter);
        QCOMPARE(store.subKeys(Hive::CurrentUser, u"Tree"_s), QStringList{u"Gonex"_s});
    }

    void foreignFileIsRefusedUntouched_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("sqlite"); // when set, SQL that makes another program's database
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
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        platform::reopenRegistry();
        const VbError error = raised([] { regAccess().Exists(1); });
        QCOMPARE(error.number(), 57);
        QVERIFY2(error.description().contains(file) && !error.description().contains(u'\n'),
                 qPrintable(error.description()));
        QVERIFY_THROWS_EXCEPTION(platform::RegistryError, platform::RegistryStore{file});
        QCOMPARE(test::readFile(file), content);
        QVERIFY(QFile::permissions(file).testFlag(QFile::ReadOther)); // not narrowed like a store of ours
        QVERIFY(!QFile::exists(file + u"-wal"_s));
        QVERIFY(!QFile::exists(file + u"-shm"_s));
    }

    void emptyOrMissingFileStartsFresh() {
        test::writeFile(m_env->registryFile(), QByteArray());
        for (const QString& file : {m_env->registryFile(), m_env->path(u"new/folder/reg.db"_s)}) {
            qputenv("STOWLINE_REGISTRY", file.toUtf8());
            platform::reopenRegistry();
            regAccess().KeyPath = u"Fresh"_s;
            QVERIFY(!regAccess().Exists(1));
            regAccess().CreateKey();
            QVERIFY(regAccess().Exists(1) && QFile::exists(file));
        }
    }

    // Stores of earlier builds kept a write-ahead log and were readable by everyone.
    void olderStoreIsNarrowedAndLeavesItsLog() {
        test::setValue(u"Old"_s, u"Kept"_s, u"yes"_s);
        platform::reopenRegistry();
        const QByteArray file = m_env->registryFile().toUtf8();
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open(file.constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
        QVERIFY(QFile::setPermissions(m_env->registryFile(), QFile::permissions(m_env->registryFile()) |
                                                                 QFile::ReadGroup | QFile::ReadOther));

        QCOMPARE(platform::registry().values(Hive::CurrentUser, u"Old"_s).value(0).data, "yes");
        QCOMPARE(test::readFile(m_env->registryFile()).at(18), '\x01'); // rollback journal from now on
        QCOMPARE(QFile::permissions(m_env->registryFile()) & 0x0077, QFileDevice::Permissions());
    }

    void concurrentWritersLoseNothing() {
        constexpr int ValuesPerChild = 300;
        constexpr int ParentValues = 60;
        platform::Registry& store = platform::registry();
        store.createKey(Hive::CurrentUser, u"Concurrent"_s); // the store exists before the children start
        std::array<QProcess, 4> children;
        for (int i = 0; i < int(children.size()); ++i) {
            QByteArray text =
                "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Concurrent\\Child" + QByteArray::number(i) + "]\r\n";
            for (int v = 0; v < ValuesPerChild; ++v)
                text += "\"v" + QByteArray::number(v) + "\"=\"x\"\r\n";
            const QString file = m_env->path(u"child%1.reg"_s.arg(i));
            test::writeFile(file, text);
            children[i].start(test::TestEnvironment::binary(u"stowline-regedit"_s), {u"/s"_s, file});
        }
        for (int i = 0; i < ParentValues; ++i)
            test::setValue(u"Concurrent\\Parent"_s, u"p%1"_s.arg(i), i);
        for (int i = 0; i < int(children.size()); ++i) {
            QVERIFY(children[i].waitForFinished(60000));
            QCOMPARE(children[i].exitCode(), 0);
            QCOMPARE(store.values(Hive::CurrentUser, u"Concurrent\\Child%1"_s.arg(i)).size(), ValuesPerChild);
        }
        QCOMPARE(store.values(Hive::CurrentUser, u"Concurrent\\Parent"_s).size(), ParentValues);

        // A writer holds the store's lock alone: not even a reader may share it meanwhile.
        const int other = ::open(QFile::encodeName(m_env->registryFile()).constData(), O_RDONLY | O_CLOEXEC);
        int sharedDuringWrite = 0;
        store.write([&] { sharedDuringWrite = ::flock(other, LOCK_SH | LOCK_NB); });
        ::close(other);
        QCOMPARE(sharedDuringWrite, -1);
    }

    // Another process's reader does not keep a store from opening; its writer is waited for, not failed on.
    void readersShareTheLockAndWaitForAWriter() {
        platform::registry().createKey(Hive::CurrentUser, u"Shared"_s);
        const int other = ::open(QFile::encodeName(m_env->registryFile()).constData(), O_RDONLY | O_CLOEXEC);
        const auto openAndRead = [&] {
            return std::async(std::launch::async, [&] {
                return platform::RegistryStore(m_env->registryFile())
                    .keyExists(Hive::CurrentUser, u"Shared"_s);
            });
        };
        QCOMPARE(::flock(other, LOCK_SH), 0);
        auto reading = openAndRead();
        QCOMPARE(reading.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        QVERIFY(reading.get());

        QCOMPARE(::flock(other, LOCK_EX), 0);
        reading = openAndRead();
        QCOMPARE(reading.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
        ::flock(other, LOCK_UN);
        QCOMPARE(reading.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        QVERIFY(reading.get());

        // A holder that never lets go is named once the time limit (made short here) has passed.
        QCOMPARE(::flock(other, LOCK_EX), 0);
        QProcess second;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"STOWLINE_REGISTRY_WAIT_MS"_s, u"300"_s);
        second.setProcessEnvironment(environment);
        second.start(test::TestEnvironment::binary(u"stowline-regedit"_s),
                     {u"/e"_s, m_env->path(u"out.reg"_s), u"HKCU\\Shared"_s});
        const bool ended = second.waitForFinished(10000);
        ::close(other);
        QVERIFY2(ended, "a second process waited for ever for the store's lock");
        const QString err = QString::fromUtf8(second.readAllStandardError());
        QCOMPARE(second.exitCode(), 1);
        QVERIFY2(err.contains(u"process %1 ("_s.arg(QCoreApplication::applicationPid())), qPrintable(err));
    }

    // Work that throws leaves none of its changes, and the connection takes the next write.
    void failedWorkIsRolledBack() {
        platform::Registry& store = platform::registry();
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, store.write([&] {
            store.setValue(Hive::CurrentUser, u"Half"_s, {u"v"_s, 1, "written"});
            throw std::runtime_error("failed midway");
        }));
        QVERIFY(!store.keyExists(Hive::CurrentUser, u"Half"_s));
        store.setValue(Hive::CurrentUser, u"After"_s, {u"v"_s, 1, "written"});
        platform::RegistryStore other(m_env->registryFile());
        QVERIFY(other.keyExists(Hive::CurrentUser, u"After"_s));
        QVERIFY(!other.keyExists(Hive::CurrentUser, u"Half"_s));
    }

private:
    std::unique_ptr<test::TestEnvironment> m_env;
};

QTEST_MAIN(RegistryStoreTest)
#include "RegistryStoreTest.moc"
