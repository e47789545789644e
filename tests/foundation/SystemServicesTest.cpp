#include "foundation/RegEdit.h"
#include "foundation/modAppRunning.h"
#include "foundation/modCLSID.h"
#include "foundation/modSystemPath.h"
#include "platform/PathMapper.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <tuple>

using namespace stowline;
using namespace Qt::StringLiterals;
using stowline::test::TestEnvironment;

namespace {

const QString kRaw = u"0102030405060708090A0B0C0D0E0F10"_s;
const QString kBracketed = u"{04030201-0605-0807-090A-0B0C0D0E0F10}"_s;

// The folder's CSIDL; the folder registered, relative to the test root ("" leaves the registry empty);
// the folder made; the path expected ("" for none).
using FolderRow = std::tuple<int, QString, QString, QString>;

} // namespace

class SystemServicesTest : public QObject {
    Q_OBJECT

private slots:
    void guidForms() {
        QCOMPARE(GetCLSID(kRaw), kBracketed);
        QCOMPARE(GetCLSID(kRaw.toLower()), kBracketed);
        QCOMPARE(CLSID(kBracketed.toLower()), kRaw);
        // anything but a whole bracketed GUID gives zeros: a dash moved, a digit where a dash belongs
        for (const QString& text :
             {QString(), kBracketed.mid(1, 36), QString(kBracketed + u'0'),
              u"{0403020-10605-0807-090A-0B0C0D0E0F10}"_s, u"{0403020100605-0807-090A-0B0C0D0E0F10}"_s,
              u"{0403020X-0605-0807-090A-0B0C0D0E0F10}"_s})
            QCOMPARE(CLSID(text), QString(32, u'0'));
    }

    void commandLineSplitting_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("parts"); // joined by '|'
        QTest::newRow("regedit export")
            << u"regedit /e /a \"/tmp/work dir/id.reg\" \"HKEY_CURRENT_USER\\Identities\""_s
            << u"regedit|/e|/a|/tmp/work dir/id.reg|HKEY_CURRENT_USER\\Identities"_s;
        QTest::newRow("quoted program keeps backslashes")
            << u"\"C:\\Program Files\\dir\\\" /s"_s << u"C:\\Program Files\\dir\\|/s"_s;
        QTest::newRow("odd backslashes escape a quote") << u"p a\\\\\\\"b"_s << u"p|a\\\"b"_s;
        QTest::newRow("even backslashes before a quote") << u"p \"a\\\\\" b"_s << u"p|a\\|b"_s;
        QTest::newRow("backslashes alone are literal") << u"p a\\\\b c\\"_s << u"p|a\\\\b|c\\"_s;
        QTest::newRow("doubled quote inside quotes") << u"p \"x y\"\"z w\""_s << u"p|x y\"z|w"_s;
        QTest::newRow("empty argument and blanks") << u"p  \"\"\t x "_s << u"p||x"_s;
        QTest::newRow("nothing") << u"   "_s << QString();
    }
    void commandLineSplitting() {
        QFETCH(QString, line);
        QFETCH(QString, parts);
        QCOMPARE(SplitCommandLine(line), parts.isEmpty() ? QStringList() : parts.split(u'|'));
    }

    // Our own tool stands in for REGEDIT.EXE, and the caller waits until it has finished.
    void execRunsOurRegeditAndWaits() {
        TestEnvironment env;
        const QString bin = env.path(u"bin"_s);
        test::writeFile(bin + u"/stowline-regedit"_s,
                        "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/args\"\nsleep 1\n");
        QFile::setPermissions(bin + u"/stowline-regedit"_s, QFile::ReadOwner | QFile::ExeOwner);
        const QByteArray savedBin = qgetenv("STOWLINE_BIN_DIR");
        qputenv("STOWLINE_BIN_DIR", bin.toUtf8());
        QElapsedTimer timer;
        timer.start();

        ExecCmd(u"C:\\Windows\\REGEDIT.EXE /s \"/tmp/a b/x.reg\""_s);

        qputenv("STOWLINE_BIN_DIR", savedBin);
        QVERIFY(timer.elapsed() >= 1000);
        QCOMPARE(test::readFile(bin + u"/args"_s), QByteArray("/s\n/tmp/a b/x.reg\n"));
        timer.restart();
        ExecCmd(u"\"/no/such/program\" /s x"_s);
        QVERIFY(timer.elapsed() < 500);
    }

    // A drive holds only what lies below its folder: drive_cx is no part of C:.
    void recordedPathTakesTheClosestDrive() {
        platform::PathMapper mapper;
        mapper.addDrive(u'C', u"/p/drive_c"_s);
        mapper.addDrive(u'z', u"/"_s);
        QCOMPARE(mapper.toRecorded(u"/p/drive_c/users/x"_s), u"C:\\users\\x"_s);
        QCOMPARE(mapper.toRecorded(u"/p/drive_cx/y"_s), u"Z:\\p\\drive_cx\\y"_s);
    }

    void specialFolders_data() {
        QTest::addColumn<FolderRow>("row");
        const auto row = [](const char* name, auto... v) { QTest::newRow(name) << FolderRow{v...}; };
        row("no Favorites folder", 6, QString(), QString(), QString());
        row("Favorites in home", 6, QString(), u"home/Favorites"_s, u"home/Favorites"_s);
        row("registered, trailing slash", 6, u"fav/"_s, u"fav"_s, u"fav"_s);
        row("registered but missing", 6, u"gone"_s, u"home/Favorites"_s, QString());
        row("registered documents", 5, u"docs"_s, u"docs"_s, u"docs"_s);
    }
    void specialFolders() {
        QFETCH(FolderRow, row);
        const auto& [csidl, registered, create, expected] = row;
        TestEnvironment env;
        if (!create.isEmpty())
            QDir().mkpath(env.path(create));
        if (!registered.isEmpty())
            test::setValue(u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"_s,
                           csidl == 5 ? u"Personal"_s : u"Favorites"_s, env.path(registered));
        QCOMPARE(SystemPath(csidl), expected.isEmpty() ? QString() : env.path(expected));
    }
};

QTEST_MAIN(SystemServicesTest)
#include "SystemServicesTest.moc"
