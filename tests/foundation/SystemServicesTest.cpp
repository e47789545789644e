#include "foundation/RegEdit.h"
#include "foundation/modAppRunning.h"
#include "foundation/modCLSID.h"
#include "foundation/modFolder.h"
#include "foundation/modFont.h"
#include "foundation/modSystemPath.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTest>

using namespace stowline;
using stowline::test::TestEnvironment;

namespace {

const QString kRaw = QStringLiteral("0102030405060708090A0B0C0D0E0F10");
const QString kBracketed = QStringLiteral("{04030201-0605-0807-090A-0B0C0D0E0F10}");
const QString kZeros(32, u'0');

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
    void guidForms() {
        QCOMPARE(GetCLSID(kRaw), kBracketed);
        QCOMPARE(CLSID(kBracketed), kRaw);
        QCOMPARE(CLSID(kBracketed.toLower()), kRaw);
    }

    void rawPairsReadAsFarAsTheyAreHex_data() {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("bracketed");
        QTest::newRow("short") << "0a"
                               << "{0000000A-0000-0000-0000-000000000000}";
        QTest::newRow("digit then junk") << "1G"
                                         << "{00000001-0000-0000-0000-000000000000}";
        QTest::newRow("junk first") << "G1ff"
                                    << "{0000FF00-0000-0000-0000-000000000000}";
    }
    void rawPairsReadAsFarAsTheyAreHex() {
        QFETCH(QString, raw);
        QFETCH(QString, bracketed);
        QCOMPARE(GetCLSID(raw), bracketed);
    }

    void malformedBracketedGivesZeros_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << "";
        QTest::newRow("no braces") << kBracketed.mid(1, 36);
        QTest::newRow("dash moved") << "{0403020-10605-0807-090A-0B0C0D0E0F10}";
        QTest::newRow("not hex") << "{0403020X-0605-0807-090A-0B0C0D0E0F10}";
        QTest::newRow("too long") << kBracketed + u'0';
    }
    void malformedBracketedGivesZeros() {
        QFETCH(QString, text);
        QCOMPARE(CLSID(text), kZeros);
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
        QTest::addColumn<QString>("expected");
        QTest::newRow("no Favorites folder") << 6 << ""
                                             << ""
                                             << "";
        QTest::newRow("Favorites in home") << 6 << ""
                                           << "home/Favorites"
                                           << "home/Favorites";
        QTest::newRow("registered Favorites") << 6 << "fav/"
                                              << "fav"
                                              << "fav";
        QTest::newRow("registered but missing") << 6 << "gone"
                                                << "home/Favorites"
                                                << "";
        QTest::newRow("documents") << 5 << ""
                                   << ""
                                   << "home/Documents";
        QTest::newRow("registered documents") << 5 << "docs"
                                              << "docs"
                                              << "docs";
        QTest::newRow("other folder") << 7 << ""
                                      << ""
                                      << "";
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

    void fontFollowsLocale_data() {
        QTest::addColumn<int>("locale");
        QTest::addColumn<QString>("face"); // "" for the default face
        QTest::addColumn<int>("size");
        QTest::newRow("Taiwan") << 1028 << QStringLiteral(u"\u65B0\u7D30\u660E\u9AD4") << 9;
        QTest::newRow("Japan") << 1041 << QStringLiteral(u"\uFF2D\uFF33 \uFF30\u30B4\u30B7\u30C3\u30AF") << 9;
        QTest::newRow("Korea") << 1042 << QStringLiteral(u"\uAD74\uB9BC") << 9;
        QTest::newRow("PRC") << 2052 << QStringLiteral(u"\u5B8B\u4F53") << 9;
        QTest::newRow("US") << 1033 << "" << 8;
        QTest::newRow("Hong Kong") << 3076 << "" << 8;
    }
    void fontFollowsLocale() {
        QFETCH(int, locale);
        QFETCH(QString, face);
        QFETCH(int, size);
        TestEnvironment env;
        env.system.localeIdValue = locale;
        QFont font(QStringLiteral("Verdana"), 12);
        SetProperFont(font);
        QCOMPARE(font.family(), face.isEmpty() ? QGuiApplication::font().family() : face);
        QCOMPARE(font.pointSize(), size);
    }

    void folderPicker() {
        TestEnvironment env;
        env.dialogs.answerFolder(QStringLiteral("/srv/mail"));
        env.dialogs.answerFolder(QString());
        QCOMPARE(Input_Path(), QStringLiteral("/srv/mail"));
        QCOMPARE(Input_Path(), QString());
        QCOMPARE(env.dialogs.calls.value(0).title, QStringLiteral("/"));
    }
};

QTEST_MAIN(SystemServicesTest)
#include "SystemServicesTest.moc"
