#include "foundation/RegEdit.h"
#include "foundation/modAppRunning.h"
#include "foundation/modCLSID.h"
#include "foundation/modSystemPath.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

using namespace stowline;
using stowline::test::TestEnvironment;

namespace {

const QString kRaw = QStringLiteral("0102030405060708090A0B0C0D0E0F10");
const QString kBracketed = QStringLiteral("{04030201-0605-0807-090A-0B0C0D0E0F10}");

QStringList words(std::initializer_list<const char*> texts) {
    QStringList list;
    for (const char* text : texts)
        list << QString::fromUtf8(text);
    return list;
}

void writeShellFolder(const QString& name, const QString& folder) {
    RegEdit reg;
    reg.KeyPath = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
    reg.ValueName = name;
    reg.Value = folder;
    reg.WriteValue();
}

} // namespace

class SystemServicesTest : public QObject {
    Q_OBJECT

private slots:
    void guidForms_data() {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("bracketed");
        QTest::newRow("round trip") << kRaw << kBracketed;
        QTest::newRow("lower-case digits") << kRaw.toLower() << kBracketed;
        QTest::newRow("short raw") << "0a"
                                   << "{0000000A-0000-0000-0000-000000000000}";
        QTest::newRow("pair cut by junk") << "1GG1"
                                          << "{00000001-0000-0000-0000-000000000000}";
    }
    void guidForms() {
        QFETCH(QString, raw);
        QFETCH(QString, bracketed);
        QCOMPARE(GetCLSID(raw), bracketed);
        if (raw.size() == 32)
            QCOMPARE(CLSID(bracketed.toLower()), raw.toUpper());
    }

    void malformedBracketedGivesZeros() {
        for (const QString& text : {QString(), kBracketed.mid(1, 36), QString(kBracketed + u'0'),
                                    QStringLiteral("{0403020-10605-0807-090A-0B0C0D0E0F10}"),
                                    QStringLiteral("{0403020X-0605-0807-090A-0B0C0D0E0F10}")})
            QCOMPARE(CLSID(text), QString(32, u'0'));
    }

    void commandLineSplitting_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("parts");
        QTest::newRow("regedit export")
            << "regedit /e /a \"/tmp/work dir/id.reg\" \"HKEY_CURRENT_USER\\Identities\""
            << words({"regedit", "/e", "/a", "/tmp/work dir/id.reg", "HKEY_CURRENT_USER\\Identities"});
        QTest::newRow("quoted program keeps backslashes")
            << "\"C:\\Program Files\\dir\\\" /s" << words({"C:\\Program Files\\dir\\", "/s"});
        QTest::newRow("odd backslashes escape a quote") << "p a\\\\\\\"b" << words({"p", "a\\\"b"});
        QTest::newRow("even backslashes before a quote") << "p \"a\\\\\" b" << words({"p", "a\\", "b"});
        QTest::newRow("backslashes alone are literal") << "p a\\\\b c\\" << words({"p", "a\\\\b", "c\\"});
        QTest::newRow("doubled quote inside quotes") << "p \"x y\"\"z w\"" << words({"p", "x y\"z", "w"});
        QTest::newRow("empty argument and blanks") << "p  \"\"\t x " << words({"p", "", "x"});
        QTest::newRow("nothing") << "   " << words({});
    }
    void commandLineSplitting() {
        QFETCH(QString, line);
        QFETCH(QStringList, parts);
        QCOMPARE(SplitCommandLine(line), parts);
    }

    void execWaitsForTheChild() {
        TestEnvironment env;
        QElapsedTimer timer;
        timer.start();
        ExecCmd(QStringLiteral("sleep 1"));
        QVERIFY(timer.elapsed() >= 1000);

        timer.restart();
        ExecCmd(QStringLiteral("\"/no/such/program\" /s x"));
        QVERIFY(timer.elapsed() < 500);
    }

    void execRunsOurRegeditForRegedit() {
        TestEnvironment env;
        const QString bin = env.path(QStringLiteral("bin"));
        const QString script = bin + QStringLiteral("/stowline-regedit");
        test::writeFile(script, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/args\"\n");
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QByteArray savedBin = qgetenv("STOWLINE_BIN_DIR");
        qputenv("STOWLINE_BIN_DIR", bin.toUtf8());

        ExecCmd(QStringLiteral("C:\\Windows\\REGEDIT.EXE /s \"/tmp/a b/x.reg\""));

        qputenv("STOWLINE_BIN_DIR", savedBin);
        QCOMPARE(test::readFile(bin + QStringLiteral("/args")), QByteArray("/s\n/tmp/a b/x.reg\n"));
    }

    void specialFolders_data() {
        QTest::addColumn<int>("csidl");
        QTest::addColumn<QString>("registered"); // relative to the test root; "" leaves the registry empty
        QTest::addColumn<QString>("create");
        QTest::addColumn<QString>("expected"); // "" for no path
        const auto row = [](const char* name, int csidl, const char* registered, const char* create,
                            const char* expected) {
            QTest::newRow(name) << csidl << QString::fromUtf8(registered) << QString::fromUtf8(create)
                                << QString::fromUtf8(expected);
        };
        row("no Favorites folder", 6, "", "", "");
        row("Favorites in home", 6, "", "home/Favorites", "home/Favorites");
        row("registered, trailing slash", 6, "fav/", "fav", "fav");
        row("registered but missing", 6, "gone", "home/Favorites", "");
        row("registered documents", 5, "docs", "docs", "docs");
    }
    void specialFolders() {
        QFETCH(int, csidl);
        QFETCH(QString, registered);
        QFETCH(QString, create);
        QFETCH(QString, expected);
        TestEnvironment env;
        if (!create.isEmpty())
            QDir().mkpath(env.path(create));
        if (!registered.isEmpty())
            writeShellFolder(csidl == 5 ? QStringLiteral("Personal") : QStringLiteral("Favorites"),
                             env.path(registered));
        QCOMPARE(SystemPath(csidl), expected.isEmpty() ? QString() : env.path(expected));
    }
};

QTEST_MAIN(SystemServicesTest)
#include "SystemServicesTest.moc"
