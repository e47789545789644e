#include "foundation/RegEdit.h"
#include "foundation/modGlobal.h"
#include "foundation/modTempPath.h"
#include "tests/support/TestEnvironment.h"

#include <QDirIterator>
#include <QTest>

using namespace stowline;
using stowline::test::TestEnvironment;
using stowline::test::writeFile;

namespace {

void writeSetting(const QString& name, const QVariant& value, int type = 1) {
    RegEdit reg;
    reg.KeyPath = SettingsKey();
    reg.ValueName = name;
    reg.ValueType = type;
    reg.Value = value;
    reg.WriteValue();
}

int entryCount(const QString& folder) {
    int count = 0;
    for (QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
         it.hasNext(); it.next())
        ++count;
    return count;
}

} // namespace

class TempPathTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        ErrProcedure.clear();
        ErrNumber = 0;
    }

    void tempDirFollowsCustomSetting_data() {
        QTest::addColumn<QVariant>("customTemp"); // invalid: no value stored
        QTest::addColumn<QString>("folder");      // stored as CustomTempFolder, relative to the test root
        QTest::addColumn<QString>("expected");    // "custom", "system" or "" after a trapped failure
        const auto row = [](const char* name, const QVariant& customTemp, const char* folder,
                            const char* expected) {
            QTest::newRow(name) << customTemp << QString::fromUtf8(folder) << QString::fromUtf8(expected);
        };
        const QVariant on(QStringLiteral("1"));
        row("no setting", QVariant(), "custom", "system");
        row("on", on, "custom", "custom");
        row("on, trailing slash kept", on, "custom/", "custom");
        row("on as a number", QVariant(1), "custom", "custom");
        row("on, folder missing", on, "gone", "system");
        row("off", QVariant(QStringLiteral("0")), "custom", "system");
        row("not a number", QVariant(QStringLiteral("yes")), "custom", "");
    }
    void tempDirFollowsCustomSetting() {
        QFETCH(QVariant, customTemp);
        QFETCH(QString, folder);
        QFETCH(QString, expected);
        TestEnvironment env;
        QDir().mkpath(env.path(QStringLiteral("custom")));
        if (customTemp.isValid())
            writeSetting(QStringLiteral("CustomTemp"), customTemp,
                         customTemp.typeId() == QMetaType::Int ? 4 : 1);
        writeSetting(QStringLiteral("CustomTempFolder"), env.path(folder));

        const QString result = TempDir();

        if (expected == u"custom")
            QCOMPARE(result, env.path(QStringLiteral("custom/")));
        else if (expected == u"system")
            QCOMPARE(result, env.tempRoot() + u'/');
        else
            QVERIFY(result.isEmpty() && ErrProcedure == u"modTempPath:TempDir" && ErrNumber == 13);
        QVERIFY(!QFileInfo::exists(env.path(QStringLiteral("gone"))));
    }

    void workspaceIsCreatedEmptyAndDeleted() {
        TestEnvironment env;
        const QString workspace = env.tempRoot() + QStringLiteral("/stowline");
        writeFile(workspace + QStringLiteral("/ief/deep/old.zip"), "old");
        writeFile(workspace + QStringLiteral("/.hidden"), "old");
        writeFile(env.path(QStringLiteral("outside/keep.txt")), "mine");
        QFile::link(env.path(QStringLiteral("outside")), workspace + QStringLiteral("/link"));

        CreateTempFolder();
        QVERIFY(QFileInfo(workspace).isDir());
        QCOMPARE(entryCount(workspace), 0);
        DeleteTempFolder();
        DeleteTempFolder(); // nothing left: no effect

        QVERIFY(!QFileInfo::exists(workspace));
        QVERIFY(ErrProcedure.isEmpty());
        QCOMPARE(test::readFile(env.path(QStringLiteral("outside/keep.txt"))), QByteArray("mine"));
    }

    void deletionStopsAtReadOnlyEntries_data() {
        QTest::addColumn<bool>("viaCreate");
        QTest::addColumn<QString>("readOnly");
        QTest::newRow("delete, read-only file") << false << "wab/wab_data.zip";
        QTest::newRow("delete, read-only folder") << false << "wab";
        QTest::newRow("create, read-only file") << true << "wab/wab_data.zip";
    }
    void deletionStopsAtReadOnlyEntries() {
        QFETCH(bool, viaCreate);
        QFETCH(QString, readOnly);
        TestEnvironment env;
        const QString workspace = env.tempRoot() + QStringLiteral("/stowline");
        writeFile(workspace + QStringLiteral("/ident.idx"), "x");
        writeFile(workspace + QStringLiteral("/wab/wab_data.zip"), "x");
        const QString target = workspace + u'/' + readOnly;
        QFile::setPermissions(target, QFile::ReadOwner | QFile::ExeOwner);

        viaCreate ? CreateTempFolder() : DeleteTempFolder();

        QCOMPARE(ErrProcedure, viaCreate ? QStringLiteral("modTempPath:CreateTempFolder")
                                         : QStringLiteral("modTempPath:DeleteTempFolder"));
        QCOMPARE(ErrLine, qint16(4));
        QCOMPARE(ErrNumber, 70);
        QCOMPARE(ErrDescription, QStringLiteral("Permission denied"));
        QCOMPARE(entryCount(workspace), 3); // nothing was deleted
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void createFolder_data() {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<int>("errorNumber");
        QTest::addColumn<int>("foldersAfter");
        QTest::newRow("three levels") << "a/b/c" << 0 << 3;
        QTest::newRow("trailing slash") << "a/b/" << 0 << 2;
        QTest::newRow("already there") << "." << 0 << 0;
        QTest::newRow("100 missing ancestors") << QString(QStringLiteral("d/")).repeated(101) << 0 << 101;
        QTest::newRow("101 missing ancestors") << QString(QStringLiteral("d/")).repeated(102) << 9 << 0;
        // The middle name is too long to exist: only what comes before it may have been made.
        QTest::newRow("outermost first")
            << QStringLiteral("outer/") + QString(300, u'm') + QStringLiteral("/in") << 57 << 1;
    }
    void createFolder() {
        QFETCH(QString, relative);
        QFETCH(int, errorNumber);
        QFETCH(int, foldersAfter);
        TestEnvironment env;
        const QString base = env.path(QStringLiteral("base"));
        QDir().mkpath(base);

        CreateFolder(base + u'/' + relative);

        QCOMPARE(ErrNumber, errorNumber);
        QCOMPARE(ErrProcedure, errorNumber ? QStringLiteral("modTempPath:CreateFolder") : QString());
        QCOMPARE(entryCount(base), foldersAfter);
    }
};

QTEST_MAIN(TempPathTest)
#include "TempPathTest.moc"
