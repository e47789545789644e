#include "foundation/RegEdit.h"
#include "foundation/modGlobal.h"
#include "foundation/modTempPath.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
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

void clearErrorRecord() {
    ErrProcedure.clear();
    ErrLine = 0;
    ErrNumber = 0;
}

} // namespace

class TempPathTest : public QObject {
    Q_OBJECT

private slots:
    void init() { clearErrorRecord(); }

    void tempDirFollowsCustomSetting_data() {
        QTest::addColumn<QVariant>("customTemp"); // invalid: no value stored
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("folder");   // relative to the test root; "" stores none
        QTest::addColumn<QString>("expected"); // "custom", "system" or "" after a trapped failure
        QTest::newRow("no setting") << QVariant() << 1 << "custom"
                                    << "system";
        QTest::newRow("on") << QVariant(QStringLiteral("1")) << 1 << "custom"
                            << "custom";
        QTest::newRow("on, trailing slash kept") << QVariant(QStringLiteral("1")) << 1 << "custom/"
                                                 << "custom";
        QTest::newRow("on as a number") << QVariant(1) << 4 << "custom"
                                        << "custom";
        QTest::newRow("on, folder missing") << QVariant(QStringLiteral("1")) << 1 << "gone"
                                            << "system";
        QTest::newRow("off") << QVariant(QStringLiteral("0")) << 1 << "custom"
                             << "system";
        QTest::newRow("not a number") << QVariant(QStringLiteral("yes")) << 1 << "custom"
                                      << "";
    }
    void tempDirFollowsCustomSetting() {
        QFETCH(QVariant, customTemp);
        QFETCH(int, type);
        QFETCH(QString, folder);
        QFETCH(QString, expected);
        TestEnvironment env;
        QDir().mkpath(env.path(QStringLiteral("custom")));
        if (customTemp.isValid())
            writeSetting(QStringLiteral("CustomTemp"), customTemp, type);
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

    void createTempFolderEmptiesLeftover() {
        TestEnvironment env;
        const QString workspace = env.tempRoot() + QStringLiteral("/stowline");
        writeFile(workspace + QStringLiteral("/ief/deep/old.zip"), "old");
        writeFile(workspace + QStringLiteral("/.hidden"), "old");

        CreateTempFolder();

        QVERIFY(QFileInfo(workspace).isDir());
        QCOMPARE(entryCount(workspace), 0);
        DeleteTempFolder();
        QVERIFY(!QFileInfo::exists(workspace));
        DeleteTempFolder(); // nothing left: no effect, no error
        QVERIFY(ErrProcedure.isEmpty());
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
        QFile::setPermissions(target, QFile::ReadOwner | QFile::ReadUser | QFile::ExeOwner | QFile::ExeUser);

        viaCreate ? CreateTempFolder() : DeleteTempFolder();

        QCOMPARE(ErrProcedure, viaCreate ? QStringLiteral("modTempPath:CreateTempFolder")
                                         : QStringLiteral("modTempPath:DeleteTempFolder"));
        QCOMPARE(ErrLine, qint16(4));
        QCOMPARE(ErrNumber, 70);
        QCOMPARE(ErrDescription, QStringLiteral("Permission denied"));
        QCOMPARE(entryCount(workspace), 3); // nothing was deleted
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void deletionLeavesLinkTargetsAlone() {
        TestEnvironment env;
        const QString outside = env.path(QStringLiteral("outside/keep.txt"));
        writeFile(outside, "mine");
        QDir().mkpath(env.tempRoot() + QStringLiteral("/stowline"));
        QFile::link(env.path(QStringLiteral("outside")), env.tempRoot() + QStringLiteral("/stowline/link"));

        DeleteTempFolder();

        QVERIFY(ErrProcedure.isEmpty());
        QVERIFY(!QFileInfo::exists(env.tempRoot() + QStringLiteral("/stowline")));
        QCOMPARE(test::readFile(outside), QByteArray("mine"));
    }

    void createFolderMakesMissingAncestors_data() {
        QTest::addColumn<QString>("relative");
        QTest::newRow("three levels") << "a/b/c";
        QTest::newRow("trailing slash") << "a/b/c/";
        QTest::newRow("already there") << ".";
    }
    void createFolderMakesMissingAncestors() {
        QFETCH(QString, relative);
        TestEnvironment env;
        const QString base = env.path(QStringLiteral("base"));
        QDir().mkpath(base);

        CreateFolder(base + u'/' + relative);

        QVERIFY(ErrProcedure.isEmpty());
        QVERIFY(QFileInfo(base + u'/' + relative).isDir());
    }

    void createFolderWorksOutermostFirst() {
        // The middle name is too long to exist, so only what comes before it can have been made.
        TestEnvironment env;
        const QString base = env.path(QStringLiteral("base"));
        QDir().mkpath(base);

        CreateFolder(base + QStringLiteral("/outer/") + QString(300, u'm') + QStringLiteral("/inner"));

        QCOMPARE(ErrProcedure, QStringLiteral("modTempPath:CreateFolder"));
        QVERIFY(QFileInfo(base + QStringLiteral("/outer")).isDir());
        QCOMPARE(entryCount(base), 1);
    }

    void createFolderTableHoldsHundredAncestors_data() {
        QTest::addColumn<int>("depth");
        QTest::addColumn<bool>("created");
        QTest::newRow("100 missing ancestors") << 101 << true;
        QTest::newRow("101 missing ancestors") << 102 << false;
    }
    void createFolderTableHoldsHundredAncestors() {
        QFETCH(int, depth);
        QFETCH(bool, created);
        TestEnvironment env;
        const QString base = env.path(QStringLiteral("base"));
        QDir().mkpath(base);
        QString path = base;
        for (int level = 0; level < depth; ++level)
            path += QStringLiteral("/d");

        CreateFolder(path);

        QCOMPARE(QFileInfo(path).isDir(), created);
        if (!created) {
            QCOMPARE(entryCount(base), 0);
            QCOMPARE(ErrProcedure, QStringLiteral("modTempPath:CreateFolder"));
            QCOMPARE(ErrNumber, 9);
        }
    }
};

QTEST_MAIN(TempPathTest)
#include "TempPathTest.moc"
