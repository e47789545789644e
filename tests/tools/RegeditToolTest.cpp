#include "foundation/RegFile.h"
#include "platform/RegistryStore.h"
#include "tests/support/TestEnvironment.h"

#include <QFileInfo>
#include <QProcess>
#include <QTest>

using namespace stowline;
using namespace Qt::StringLiterals;
using platform::Hive;
using platform::RegistryValue;
namespace RegType = platform::RegType;

namespace {

// The tool's exit code, -1 when it hangs; err receives what it wrote to stderr.
int runTool(const QStringList& arguments, QString* err = nullptr) {
    QProcess process;
    process.start(test::TestEnvironment::binary(u"stowline-regedit"_s), arguments);
    if (!process.waitForFinished(60000))
        return -1;
    if (err)
        *err = QString::fromUtf8(process.readAllStandardError());
    return process.exitCode();
}

// Every key below path with its values, as text, parents first.
QStringList dump(platform::Registry& store, Hive hive, const QString& path) {
    QStringList lines{u"["_s + path + u']'};
    for (const RegistryValue& value : store.values(hive, path))
        lines << value.name + u'|' + QString::number(value.type) + u'|' +
                     QString::fromLatin1(value.data.toHex());
    for (const QString& sub : store.subKeys(hive, path))
        lines += dump(store, hive, path + u'\\' + sub);
    return lines;
}

} // namespace

class RegeditToolTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_env = std::make_unique<test::TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void exportWritesWhatRegeditWrites() {
        auto& store = platform::registry();
        const QString key = u"Software\\Export"_s;
        store.setValue(Hive::CurrentUser, key, {QString(), RegType::Sz, "Default \"quoted\" C:\\dir"});
        store.setValue(Hive::CurrentUser, key, {u"Na\"me\\"_s, RegType::Dword, QByteArray("\x1a\0\0\0", 4)});
        store.setValue(Hive::CurrentUser, key, {u"Expand"_s, RegType::ExpandSz, "%TEMP%\\x"});
        store.setValue(Hive::CurrentUser, key + u"\\b"_s,
                       {u"Multi"_s, RegType::MultiSz, QByteArray("a\0b\0\0", 5)});
        store.createKey(Hive::CurrentUser, key + u"\\Empty"_s);
        store.setValue(Hive::CurrentUser, key + u"\\_x"_s, {u"Line"_s, RegType::Sz, "one\r\ntwo"});
        // regedit's hex wrapping: a default value over three lines, a real ShellState export, the 23rd
        // comma in column 78 (the 22nd is in 75: only the 23rd ends the line), a name past the margin.
        for (const RegistryValue& value : QList<RegistryValue>{
                 {QString(), RegType::Binary, QByteArray(60, '\xaa')},
                 {u"ShellState"_s, RegType::Binary,
                  QByteArray::fromHex(
                      "240000001c0800000000000000000000000000000100000013000000000000006b000000")},
                 {u"abc"_s, RegType::Binary, QByteArray(30, '\x01')},
                 {QString(70, u'n'), RegType::Binary, QByteArray(3, '\x02')}})
            store.setValue(Hive::CurrentUser, key + u"\\Wrap"_s, value);

        QCOMPARE(
            exported(u"HKCU\\Software\\Export"_s),
            QByteArray(
                "REGEDIT4\r\n"
                "\r\n"
                "[HKEY_CURRENT_USER\\Software\\Export]\r\n"
                "@=\"Default \\\"quoted\\\" C:\\\\dir\"\r\n"
                "\"Na\\\"me\\\\\"=dword:0000001a\r\n"
                "\"Expand\"=hex(2):25,54,45,4d,50,25,5c,78,00\r\n"
                "\r\n"
                "[HKEY_CURRENT_USER\\Software\\Export\\b]\r\n"
                "\"Multi\"=hex(7):61,00,62,00,00\r\n"
                "\r\n"
                "[HKEY_CURRENT_USER\\Software\\Export\\Empty]\r\n"
                "\r\n"
                "[HKEY_CURRENT_USER\\Software\\Export\\Wrap]\r\n"
                "@=hex:aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,\\\r\n"
                "  aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,\\\r\n"
                "  aa,aa,aa,aa,aa,aa,aa,aa,aa,aa,aa\r\n"
                "\"ShellState\"=hex:24,00,00,00,1c,08,00,00,00,00,00,00,00,00,00,00,00,00,00,00,\\\r\n"
                "  01,00,00,00,13,00,00,00,00,00,00,00,6b,00,00,00\r\n"
                "\"abc\"=hex:01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,\\\r\n"
                "  01,01,01,01,01,01,01\r\n"
                "\"nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn\"=hex:02,\\\r\n"
                "  02,02\r\n"
                "\r\n"
                "[HKEY_CURRENT_USER\\Software\\Export\\_x]\r\n"
                "\"Line\"=hex(1):6f,6e,65,0d,0a,74,77,6f,00\r\n"
                "\r\n"));

        QVERIFY(
            exported(u"HKEY_CURRENT_USER"_s)
                .startsWith("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER]\r\n\r\n[HKEY_CURRENT_USER\\Software]\r\n"));
    }

    void exportThenImportReproducesTheStore() {
        auto& store = platform::registry();
        const QString root = u"Identities\\{0A1B2C3D-0000-4000-8000-00000000000E}"_s;
        const QList<RegistryValue> values{
            {QString(), RegType::Sz, ""},
            {u"Username"_s, RegType::Sz, "Jörg \"Mail\" \\ Ω 😀"},
            {u"Zeroes"_s, RegType::Sz, QByteArray("a\0b\0", 4)},
            {u"Expand"_s, RegType::ExpandSz, "%USERPROFILE%\\Dokumente\\é"},
            {u"Multi"_s, RegType::MultiSz, QByteArray("eins\0zwei\0\0", 11)},
            {u"Bin"_s, RegType::Binary, QByteArray::fromHex("00ff7f80") + QByteArray(100, 'x')},
            {u"EmptyBin"_s, RegType::Binary, {}},
            {u"None"_s, RegType::None, QByteArray("\x01\x02")},
            {u"Dword"_s, RegType::Dword, QByteArray("\xff\xff\xff\xff")},
            {u"ShortDword"_s, RegType::Dword, QByteArray("\x01")},
            {u"Qword"_s, RegType::Qword, QByteArray("\x01\x02\x03\x04\x05\x06\x07\x08")},
            {u"Big endian"_s, 5, QByteArray("\0\0\0\x01", 4)},
        };
        for (const RegistryValue& value : values)
            store.setValue(Hive::CurrentUser, root, value);
        store.setValue(Hive::CurrentUser, root + u"\\Ünter\\Tiefer"_s, {u"x"_s, RegType::Sz, "y"});
        store.createKey(Hive::CurrentUser, root + u"\\leer"_s);
        const QStringList before = dump(store, Hive::CurrentUser, root);

        const QString file = m_env->path(u"ident_key.reg"_s);
        for (const RegFileFormat format : {RegFileFormat::Regedit4, RegFileFormat::Version5}) {
            exportRegFile(store, file, u"HKEY_CURRENT_USER\\"_s + root, format);
            QCOMPARE(test::readFile(file).startsWith("REGEDIT4\r\n"), format == RegFileFormat::Regedit4);
            store.deleteKey(Hive::CurrentUser, root);
            QCOMPARE(runTool({u"/s"_s, file}), 0);
            QCOMPARE(dump(store, Hive::CurrentUser, root), before);
        }
    }

    // Half a UTF-16 pair cannot be stored as it is: its line goes. A value after a deleted key has
    // no key to go to.
    void version5SkipsWhatCannotBeStored() {
        auto& store = platform::registry();
        store.setValue(Hive::CurrentUser, u"Import\\Old"_s, {u"v"_s, RegType::Sz, "x"});
        const QString text = u"Windows Registry Editor Version 5.00\r\n"
                             "\r\n"
                             "[-HKEY_CURRENT_USER\\Import\\Old]\r\n"
                             "\"skipped\"=\"x\"\r\n"
                             "[HKEY_CURRENT_USER\\Import\\Keep]\r\n"
                             "\"Name\"=\"Zoë \\\"Z\\\"\"\r\n"
                             "\"Half\uFFFF\"=\"x\"\r\n"
                             "\"Text\"=hex(1):3d,d8,00,00\r\n"
                             "[HKEY_CURRENT_USER\\Import\\Keep\uFFFF]\r\n"
                             "\"lost\"=\"x\"\r\n"_s;
        const QString file = m_env->path(u"v5.reg"_s);
        const QString withSurrogates = QString(text).replace(QChar(0xffff), QChar(0xd800));
        test::writeFile(file, "\xff\xfe" + QByteArray(reinterpret_cast<const char*>(withSurrogates.utf16()),
                                                      withSurrogates.size() * 2));
        QString err;
        QCOMPARE(runTool({u"/S"_s, file}, &err), 3);
        for (const QString& skip : {u"4 skipped: a value outside a key"_s, u"7 skipped: a lone UTF-16"_s,
                                    u"8 skipped: text data with a lone UTF-16"_s,
                                    u"9 skipped: a lone UTF-16"_s, u"10 skipped: a value outside a key"_s})
            QVERIFY2(err.contains(u"v5.reg line "_s + skip), qPrintable(err));
        QCOMPARE(store.values(Hive::CurrentUser, u"Import\\Keep"_s),
                 (QList<RegistryValue>{{u"Name"_s, RegType::Sz, "Zo\xc3\xab \"Z\""}}));
        QCOMPARE(store.subKeys(Hive::CurrentUser, u"Import"_s), QStringList{u"Keep"_s});
    }

    // A line regedit cannot use is skipped, reported with its number and reason, and the rest of the
    // file is imported; a few lines make regedit give up on everything after them. A file or command
    // that cannot be used at all changes nothing and says so in one line.
    void badInputIsReported_data() {
        QTest::addColumn<QString>("arguments"); // *.reg: files in the test folder; in.reg holds content
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");
        QTest::addColumn<QStringList>("imported"); // the values of the key Lenient afterwards
        const auto row = [](const QByteArray& line, const char* reason, bool restRead = true) {
            QTest::newRow(line.left(60).constData())
                << u"/s in.reg"_s
                << "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Lenient]\r\n\"ok\"=\"fine\"\r\n# note\r\n" + line +
                       "\r\n[HKEY_CURRENT_USER\\Lenient]\r\n\"after\"=\"kept\"\r\n"
                << 3 << u"in.reg line 6 skipped: "_s + QString::fromUtf8(reason)
                << (restRead ? QStringList{u"ok"_s, u"after"_s} : QStringList{u"ok"_s});
        };
        const auto importing = [](const char* name, const QByteArray& content, int line) {
            QTest::newRow(name) << u"/s in.reg"_s << content << 1
                                << (line > 1 ? u"in.reg\" line %1:"_s.arg(line) : u"in.reg\""_s)
                                << QStringList();
        };
        const auto running = [](const char* name, const char* arguments, int exitCode, const char* said) {
            QTest::newRow(name) << QString::fromUtf8(arguments) << QByteArray() << exitCode
                                << QString::fromUtf8(said) << QStringList();
        };
        row("\"b\"=hex:01,100", "bad hex data");
        row("\"s=\"abc\"", "\"=\" expected");
        row("\"d\"=hex(zz):01", "bad value type");
        row("garbage", "not a key, a value or a comment");
        row("[HKEY_USERS\\x]\r\n\"lost\"=\"x\"", "keys under HKEY_USERS are not kept");
        row("[HKCU\\Short]", "unknown root key \"HKCU\"");
        // Hostile input: huge lines, stray bytes and odd structure are skipped like any other line.
        row("\"s\"=\"" + QByteArray(10'000'000, 'x') + "\" tail", "text after the value");
        row("\"b\"=hex:" + QByteArray(3'000'000, '1').replace("11", "11,") + "zz", "bad hex data");
        row("[HKEY_CURRENT_USER\\" + QByteArray(1'000'000, 'k'), "not a key name");
        row(QByteArray("\"s\"=\"a\0b\"", 8), "unterminated quoted text"); // a NUL byte ends the text
        row("\"d\"=dword:", "bad dword");
        row("\"b\"=hex(100000000):01", "bad value type");
        row("[-HKEY_CURRENT_USER]", "a root key cannot be deleted; the rest of the file is not read", false);
        // Nothing Windows could not hold: too deep a key, too long a key or value name.
        row("[HKEY_CURRENT_USER\\Lenient" + QByteArray("\\k").repeated(512) + "]\r\n\"lost\"=\"x\"",
            "key deeper than 512 levels");
        row("[HKEY_CURRENT_USER\\" + QByteArray(256, 'k') + "]", "key name longer than 255 characters");
        row("\"" + QByteArray(16384, 'n') + "\"=\"x\"", "value name longer than 16383 characters");
        importing("empty file", "", 1);
        importing("unknown header", "REGEDIT5\r\n\r\n[HKEY_CURRENT_USER\\Broken]\r\n", 1);
        importing("header read, content not", "REGEDIT 4\r\n\r\n[HKEY_CURRENT_USER\\Broken]\r\n", 1);
        running("missing key", "/e /a out.reg HKCU\\Nope", 1, "HKCU\\Nope\" does not exist");
        running("other hive", "/e /a out.reg HKEY_USERS\\x", 1, "HKEY_USERS\\x\" is not under");
        running("missing import file", "/s missing.reg", 1, "missing.reg");
        running("unknown switch", "/x out.reg", 2, "unknown switch /x");
        running("no file", "/s", 2, "no file named");
    }
    void badInputIsReported() {
        QFETCH(QString, arguments);
        QFETCH(QByteArray, content);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        QFETCH(QStringList, imported);
        test::writeFile(m_env->path(u"in.reg"_s), content);
        platform::registry().createKey(Hive::CurrentUser, u"Existing"_s);
        QStringList argumentList = arguments.split(u' ');
        for (QString& argument : argumentList)
            argument = argument.endsWith(u".reg") ? m_env->path(argument) : argument;

        QString err;
        QCOMPARE(runTool(argumentList, &err), exitCode);
        QVERIFY2(err.startsWith(u"stowline-regedit: "_s) && err.contains(said), qPrintable(err));
        QVERIFY(exitCode != 1 || err.count(u'\n') == 1);
        QVERIFY(!QFile::exists(m_env->path(u"out.reg"_s)));
        QStringList names;
        for (const RegistryValue& value : platform::registry().values(Hive::CurrentUser, u"Lenient"_s))
            names << value.name;
        QCOMPARE(names, imported);
        QCOMPARE(platform::registry().subKeys(Hive::CurrentUser, QString()),
                 QStringList{u"Existing"_s} +
                     (imported.isEmpty() ? QStringList() : QStringList{u"Lenient"_s}));
    }

    // A chain far deeper than Windows allows is skipped; one at the limit is kept, exported and
    // deleted again, in the store and in a Wine prefix alike. Recursion once crashed on both.
    void deepChains_data() {
        QTest::addColumn<bool>("wine");
        QTest::newRow("store") << false;
        QTest::newRow("Wine prefix") << true;
    }
    void deepChains() {
        QFETCH(bool, wine);
        QStringList options;
        if (wine) {
            const QString prefix = m_env->path(u"prefix"_s);
            test::writeFile(prefix + u"/user.reg"_s, "WINE REGISTRY Version 2\n");
            test::writeFile(prefix + u"/system.reg"_s, "WINE REGISTRY Version 2\n");
            options << u"--wine-prefix"_s << prefix;
        }
        const auto chain = [](int levels) { return QByteArray("\\k").repeated(levels); };
        const QString file = m_env->path(u"deep.reg"_s);
        test::writeFile(file, "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Deep" + chain(100'000) +
                                  "]\r\n\"lost\"=\"x\"\r\n[HKEY_CURRENT_USER\\Deep" + chain(511) +
                                  "]\r\n\"kept\"=\"x\"\r\n");
        QString err;
        QCOMPARE(runTool(options + QStringList{u"/s"_s, file}, &err), 3);
        QVERIFY2(err.contains(u"line 3 skipped: key deeper than 512 levels"_s), qPrintable(err));

        const QString out = m_env->path(u"out.reg"_s);
        const QByteArray top = "HKEY_CURRENT_USER\\Deep" + chain(400);
        QCOMPARE(runTool(options + QStringList{u"/e"_s, u"/a"_s, out, QString::fromLatin1(top)}), 0);
        const QByteArray written = test::readFile(out);
        QVERIFY(written.startsWith(QByteArray("REGEDIT4\r\n\r\n[" + top + "]\r\n\r\n")));
        QVERIFY(written.endsWith(
            QByteArray("[HKEY_CURRENT_USER\\Deep" + chain(511) + "]\r\n\"kept\"=\"x\"\r\n\r\n")));

        test::writeFile(file, "REGEDIT4\r\n\r\n[-HKEY_CURRENT_USER\\Deep]\r\n");
        QCOMPARE(runTool(options + QStringList{u"/s"_s, file}, &err), 0);
        QCOMPARE(runTool(options + QStringList{u"/e"_s, out, u"HKCU\\Deep"_s}, &err), 1);
        QVERIFY2(err.contains(u"does not exist"_s), qPrintable(err));
    }

    // The store's file may not grow past a few blocks: the write fails (or the tool is killed by
    // SIGXFSZ) part way through a large import, and not one of its keys is left in the store.
    void storeThatCannotGrowImportsNothing() {
        platform::registry().createKey(Hive::CurrentUser, u"Existing"_s);
        const QStringList before = dump(platform::registry(), Hive::CurrentUser, QString());
        QByteArray content = "REGEDIT4\r\n\r\n";
        for (int key = 0; key < 2000; ++key)
            content += "[HKEY_CURRENT_USER\\Big\\" + QByteArray::number(key) + "]\r\n\"v\"=\"" +
                       QByteArray(2000, 'a' + key % 26) + "\"\r\n";
        const QString file = m_env->path(u"big.reg"_s);
        test::writeFile(file, content);
        const qint64 blocks = QFileInfo(m_env->registryFile()).size() / 512 + 64;
        QProcess shell;
        shell.start(u"sh"_s, {u"-c"_s, u"ulimit -f %1; exec \"$0\" /s \"$1\""_s.arg(blocks),
                              test::TestEnvironment::binary(u"stowline-regedit"_s), file});
        QVERIFY(shell.waitForFinished(60000));
        QVERIFY(shell.exitStatus() == QProcess::CrashExit || shell.exitCode() == 1);
        platform::reopenRegistry();
        QCOMPARE(dump(platform::registry(), Hive::CurrentUser, QString()), before);
    }

private:
    std::unique_ptr<test::TestEnvironment> m_env;

    QByteArray exported(const QString& key) {
        exportRegFile(platform::registry(), m_env->path(u"export.reg"_s), key, RegFileFormat::Regedit4);
        return test::readFile(m_env->path(u"export.reg"_s));
    }
};

QTEST_MAIN(RegeditToolTest)
#include "RegeditToolTest.moc"
