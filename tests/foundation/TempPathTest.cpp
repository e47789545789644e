#include "foundation/RegEdit.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "foundation/modTempPath.h"
#include "tests/support/TestEnvironment.h"

#include <QDirIterator>
#include <QTest>

using namespace stowline;
using namespace Qt::StringLiterals;
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
        QTest::addColumn<QString>("expected"); // "" after a trapped failure
        QTest::newRow("no setting") << QVariant() << u"custom"_s << u"tmp/"_s;
        QTest::newRow("on") << QVariant(u"1"_s) << u"custom"_s << u"custom/"_s;
        QTest::newRow("on, trailing slash kept") << QVariant(u"1"_s) << u"custom/"_s << u"custom/"_s;
        QTest::newRow("on as a number") << QVariant(1) << u"custom"_s << u"custom/"_s;
        QTest::newRow("on, folder missing") << QVariant(u"1"_s) << u"gone"_s << u"tmp/"_s;
        QTest::newRow("off") << QVariant(u"0"_s) << u"custom"_s << u"tmp/"_s;
        QTest::newRow("not a number") << QVariant(u"yes"_s) << u"custom"_s << QString();
    }
    void tempDirFollowsCustomSetting() {
        QFETCH(QVariant, customTemp);
        QFETCH(QString, folder);
        QFETCH(QString, expected);
        TestEnvironment env;
        QDir().mkpath(env.path(u"custom"_s));
        if (customTemp.isValid())
            writeSetting(u"CustomTemp"_s, customTemp, customTemp.typeId() == QMetaType::Int ? 4 : 1);
        writeSetting(u"CustomTempFolder"_s, env.path(folder));

        QCOMPARE(TempDir(), expected.isEmpty() ? QString() : env.path(expected));
        QCOMPARE(LastError().procedure.isEmpty() ? QString() : errorRecord(),
                 expected.isEmpty() ? u"modTempPath:TempDir 7: 13 Type mismatch"_s : QString());
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
        const QString workspace = env.tempRoot() + u"/stowline"_s;
        writeFile(workspace + u"/wab/deep/wab_data.zip"_s, "old");
        writeFile(workspace + u"/.hidden"_s, "old");
        writeFile(env.path(u"outside/keep.txt"_s), "mine");
        QFile::link(env.path(u"outside"_s), workspace + u"/link"_s);
        if (!readOnly.isEmpty())
            QFile::setPermissions(workspace + u'/' + readOnly, QFile::ReadOwner | QFile::ExeOwner);

        viaCreate ? CreateTempFolder() : DeleteTempFolder();

        if (readOnly.isEmpty()) {
            QVERIFY(QFileInfo(workspace).isDir() && entryCount(workspace) == 0);
            DeleteTempFolder();
            DeleteTempFolder(); // nothing left: no effect
            QVERIFY(!QFileInfo::exists(workspace));
            QVERIFY(LastError().procedure.isEmpty());
        } else {
            QCOMPARE(errorRecord(), u"modTempPath:%1TempFolder 4: 70 Permission denied"_s.arg(
                                        viaCreate ? u"Create"_s : u"Delete"_s));
            QCOMPARE(entryCount(workspace), 5); // nothing was deleted
            QFile::setPermissions(workspace + u'/' + readOnly,
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        QCOMPARE(test::readFile(env.path(u"outside/keep.txt"_s)), QByteArray("mine"));
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
        QCOMPARE(entryCount(base), foldersAfter);
    }
};

QTEST_MAIN(TempPathTest)
#include "TempPathTest.moc"
