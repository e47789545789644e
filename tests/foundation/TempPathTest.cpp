#include "foundation/RegEdit.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "foundation/modTempPath.h"
#include "platform/PrivateFiles.h"
#include "platform/RegistryStore.h"
#include "tests/support/TestEnvironment.h"

#include <QDirIterator>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace stowline;
using namespace Qt::StringLiterals;
using namespace stowline::test;

namespace {

// What `ls -lR` would show of a folder (the registry store aside): names, modes, owners, contents.
QStringList listing(const QString& folder) {
    QStringList lines;
    for (QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
         it.hasNext();) {
        const QFileInfo info(it.next());
        if (!info.fileName().startsWith(u"registry.db"_s))
            lines << u"%1 %2 %3 %4"_s.arg(info.filePath())
                         .arg(int(info.permissions()), 0, 16)
                         .arg(info.ownerId())
                         .arg(QString::fromUtf8(test::readFile(info.filePath())));
    }
    lines.sort();
    return lines;
}

// The trapped error as "procedure line: number description".
QString errorRecord() {
    return u"%1 %2: %3 %4"_s.arg(LastError().procedure)
        .arg(LastError().line)
        .arg(LastError().number)
        .arg(LastError().description);
}

} // namespace

class TempPathTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        LastError().procedure.clear();
        LastError().number = 0;
    }

    void tempDirFollowsCustomSetting_data() {
        QTest::addColumn<QVariant>("customTemp"); // invalid: no value stored
        QTest::addColumn<QString>("folder");   // stored as CustomTempFolder; paths relative to the test root
        QTest::addColumn<QString>("expected"); // a folder, or the error trapped instead
        const QString own = u"tmp/stowline-%1/"_s.arg(geteuid());
        QTest::newRow("no setting") << QVariant() << u"custom"_s << own;
        QTest::newRow("on") << QVariant(u"1"_s) << u"custom"_s << u"custom/"_s;
        QTest::newRow("on, trailing slash kept") << QVariant(u"1"_s) << u"custom/"_s << u"custom/"_s;
        QTest::newRow("on as a number") << QVariant(1) << u"custom"_s << u"custom/"_s;
        QTest::newRow("on, folder missing") << QVariant(u"1"_s) << u"gone"_s << own;
        QTest::newRow("off") << QVariant(u"0"_s) << u"custom"_s << own;
        QTest::newRow("not a number") << QVariant(u"yes"_s) << u"custom"_s << u"13 Type mismatch"_s;
        QTest::newRow("past 16 bits") << QVariant(u"32768"_s) << u"custom"_s << u"6 Overflow"_s;
    }
    void tempDirFollowsCustomSetting() {
        QFETCH(QVariant, customTemp);
        QFETCH(QString, folder);
        QFETCH(QString, expected);
        TestEnvironment env;
        QDir().mkpath(env.path(u"custom"_s));
        if (customTemp.isValid())
            test::setValue(SettingsKey(), u"CustomTemp"_s, customTemp,
                           customTemp.typeId() == QMetaType::Int ? 4 : 1);
        test::setValue(SettingsKey(), u"CustomTempFolder"_s, env.path(folder));

        const bool trapped = !expected.endsWith(u'/');
        QCOMPARE(TempDir(), trapped ? QString() : env.path(expected));
        QCOMPARE(LastError().procedure.isEmpty() ? QString() : errorRecord(),
                 trapped ? u"modTempPath:TempDir 7: "_s + expected : QString());
        QVERIFY(!QFileInfo::exists(env.path(u"gone"_s)));
    }

    void workspaceIsRemovedOnlyWhenNothingIsReadOnly_data() {
        QTest::addColumn<bool>("viaCreate");
        QTest::addColumn<QString>("readOnly"); // "" for none
        QTest::newRow("create, then delete") << true << QString();
        QTest::newRow("delete, read-only file") << false << u"wab/deep/wab_data.zip"_s;
        QTest::newRow("delete, read-only folder") << false << u"wab/deep"_s;
        QTest::newRow("create, read-only file") << true << u"wab/deep/wab_data.zip"_s;
    }
    void workspaceIsRemovedOnlyWhenNothingIsReadOnly() {
        QFETCH(bool, viaCreate);
        QFETCH(QString, readOnly);
        TestEnvironment env;
        QVERIFY(CreateTempFolder(env.questions));
        const QString workspace = TempDir() + u"stowline"_s;
        writeFile(workspace + u"/wab/deep/wab_data.zip"_s, "old");
        writeFile(workspace + u"/.hidden"_s, "old");
        writeFile(env.path(u"outside/keep.txt"_s), "mine");
        QFile::link(env.path(u"outside"_s), workspace + u"/link"_s);
        if (!readOnly.isEmpty())
            QFile::setPermissions(workspace + u'/' + readOnly, QFile::ReadOwner | QFile::ExeOwner);

        if (viaCreate)
            CreateTempFolder(env.questions);
        else
            DeleteTempFolder();

        if (readOnly.isEmpty()) {
            QVERIFY(QFileInfo(workspace).isDir() && listing(workspace).isEmpty());
            QCOMPARE(int(QFile::permissions(workspace)) & 0x77, 0); // nothing for group or others
            DeleteTempFolder();
            DeleteTempFolder(); // nothing left: no effect
            QVERIFY(!QFileInfo::exists(workspace));
            QVERIFY(LastError().procedure.isEmpty());
        } else {
            QCOMPARE(errorRecord(), viaCreate ? u"modTempPath:CreateTempFolder 7: 70 Permission denied"_s
                                              : u"modTempPath:DeleteTempFolder 5: 70 Permission denied"_s);
            QCOMPARE(listing(workspace).size(), 5); // nothing was deleted
            QFile::setPermissions(workspace + u'/' + readOnly,
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        QCOMPARE(test::readFile(env.path(u"outside/keep.txt"_s)), QByteArray("mine"));
    }

    void refusesAPlaceOthersCanReach_data() {
        QTest::addColumn<bool>("custom"); // the workspace in a custom folder, else the own temporary root
        QTest::addColumn<QString>("planted");
        for (const bool custom : {false, true})
            for (const QString& planted :
                 {u"nobody's folder"_s, u"link to own folder"_s, u"link to nobody's folder"_s, u"file"_s})
                QTest::addRow("%s, %s", custom ? "custom" : "own root", qPrintable(planted))
                    << custom << planted;
        QTest::newRow("own root, open to others") << false << u"open folder"_s;
    }
    void refusesAPlaceOthersCanReach() {
        QFETCH(bool, custom);
        QFETCH(QString, planted);
        if (planted.contains(u"nobody"_s) && geteuid() != 0)
            QSKIP("planting a folder of another user needs root");
        TestEnvironment env;
        QDir().mkpath(env.path(u"custom"_s));
        test::setValue(SettingsKey(), u"CustomTemp"_s, custom ? u"1"_s : u"0"_s);
        test::setValue(SettingsKey(), u"CustomTempFolder"_s, env.path(u"custom"_s));
        const QString place =
            custom ? env.path(u"custom/stowline"_s) : env.path(u"tmp/stowline-%1"_s.arg(geteuid()));
        writeFile(env.path(u"home/mail/Inbox.dbx"_s), "mine");
        writeFile(env.path(u"theirs/notes"_s), "theirs");
        constexpr uid_t Nobody = 65534; // Debian's nobody and nogroup
        QVERIFY(chown(QFile::encodeName(env.path(u"theirs"_s)).constData(), Nobody, Nobody) == 0 ||
                geteuid());
        if (planted == u"nobody's folder") {
            writeFile(place + u"/planted"_s, "swap me");
            QVERIFY(chown(QFile::encodeName(place).constData(), Nobody, Nobody) == 0);
            QFile::setPermissions(place, QFileDevice::Permissions(0x7777));
        } else if (planted == u"file") {
            writeFile(place, "a file");
        } else if (planted == u"open folder") {
            QDir().mkpath(place);
            QFile::setPermissions(place, QFileDevice::Permissions(0x7755));
        } else {
            QFile::link(env.path(planted.contains(u"nobody"_s) ? u"theirs"_s : u"home/mail"_s), place);
        }
        const QStringList before = listing(env.root());
        env.dialogs.answerMessage(platform::MsgAnswer::OK);

        QVERIFY(!CreateTempFolder(env.questions));
        DeleteTempFolder();

        QCOMPARE(env.dialogs.calls.size(), 1);
        QCOMPARE(env.dialogs.calls[0].title, u"Stowline error"_s);
        QCOMPARE(
            env.dialogs.calls[0].text,
            u"Stowline cannot use this temporary folder, because it is not a private folder of yours and "
            u"others could read or change your mail there:\r%1\r\rNothing was written. Remove what is "
            u"there, or choose another temp folder in the Advanced options."_s.arg(place));
        QVERIFY(LastError().procedure.isEmpty());
        QCOMPARE(listing(env.root()), before);
    }

    // A link planted where a private file goes is refused; what it points to stays as it was.
    void privateFileRefusesALink() {
        TestEnvironment env;
        writeFile(env.path(u"theirs"_s), "theirs");
        QVERIFY(QFile::link(env.path(u"theirs"_s), env.path(u"journal"_s)));
        QCOMPARE(platform::openPrivateFile(env.path(u"journal"_s), false), -1);
        QCOMPARE(test::readFile(env.path(u"theirs"_s)), QByteArray("theirs"));
    }

    // A secret is read only from a file nobody else may read, and without its final line end.
    void secretFileIsReadOnlyWhenPrivate_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("viaLink");
        QTest::addColumn<int>("problem");
        QTest::addColumn<QByteArray>("secret");
        using P = platform::SecretFileProblem;
        QTest::newRow("owner only") << 0600 << false << int(P::None) << QByteArray("pass word");
        QTest::newRow("group may read") << 0640 << false << int(P::OpenToOthers) << QByteArray();
        QTest::newRow("others may write") << 0602 << false << int(P::OpenToOthers) << QByteArray();
        QTest::newRow("a link to it") << 0600 << true << int(P::NotAFile) << QByteArray();
    }
    void secretFileIsReadOnlyWhenPrivate() {
        QFETCH(int, mode);
        QFETCH(bool, viaLink);
        QFETCH(int, problem);
        QFETCH(QByteArray, secret);
        TestEnvironment env;
        const QString file = env.path(u"secret"_s);
        writeFile(file, "pass word\r\n");
        QVERIFY(::chmod(qPrintable(file), mode) == 0);
        if (viaLink)
            QVERIFY(QFile::link(file, env.path(u"link"_s)));
        const platform::SecretFile read = platform::readSecretFile(viaLink ? env.path(u"link"_s) : file);
        QCOMPARE(int(read.problem), problem);
        QCOMPARE(read.secret, secret);
    }

    void createFolder_data() {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<int>("errorNumber");
        QTest::addColumn<int>("foldersAfter");
        QTest::newRow("three levels") << u"a/b/c"_s << 0 << 3;
        QTest::newRow("trailing slash") << u"a/b/"_s << 0 << 2;
        QTest::newRow("already there") << u"."_s << 0 << 0;
        QTest::newRow("100 missing ancestors") << u"d/"_s.repeated(101) << 0 << 101;
        QTest::newRow("101 missing ancestors") << u"d/"_s.repeated(102) << 9 << 0;
        // The middle name is too long to exist: only what comes before it may have been made.
        QTest::newRow("outermost first") << u"outer/"_s + QString(300, u'm') + u"/in"_s << 57 << 1;
    }
    void createFolder() {
        QFETCH(QString, relative);
        QFETCH(int, errorNumber);
        QFETCH(int, foldersAfter);
        TestEnvironment env;
        const QString base = env.path(u"base"_s);
        QDir().mkpath(base);

        CreateFolder(base + u'/' + relative);

        QCOMPARE(LastError().number, errorNumber);
        QCOMPARE(LastError().procedure, errorNumber ? u"modTempPath:CreateFolder"_s : QString());
        QCOMPARE(listing(base).size(), foldersAfter);
    }
};

QTEST_MAIN(TempPathTest)
#include "TempPathTest.moc"
