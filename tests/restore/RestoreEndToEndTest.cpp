#include "archive/frmInterface.h"
#include "backup/modBKIEFCheck.h"
#include "backup/modBKIdentityCheck.h"
#include "backup/modBKWABCheck.h"
#include "backup/modWizardBackup.h"
#include "foundation/RegEdit.h"
#include "foundation/modCLSID.h"
#include "foundation/modGlobal.h"
#include "platform/RegistryStore.h"
#include "tests/fixtures/SampleProfile.h"
#include "tests/restore/RestoreTestSupport.h"
#include "tests/support/DrivesDouble.h"
#include "tests/support/TestEnvironment.h"
#include "ui/frmProgress.h"

#include <QDir>
#include <QListWidget>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace stowline;
using namespace stowline::test;

namespace {

const QString kHkcu = u"HKEY_CURRENT_USER\\"_s;
const QString kIam = u"Software\\Microsoft\\Internet Account Manager"_s;
const QString kWab = u"Software\\Microsoft\\WAB\\WAB4"_s;

class EverythingChosen : public BackupChoice {
public:
    bool itemChosen(int) const override { return true; }
};

// An export without the values a restore rewrites by design and without the keys it does not
// copy, so that what is left must match exactly.
QString withoutRewrites(const QByteArray& exported) {
    static const QStringList rewritten{u"\"Store Root\"="_s, u"\"AssociatedID\"="_s, u"@="_s};
    const auto isRewritten = [](const QString& line) {
        return std::any_of(rewritten.begin(), rewritten.end(),
                           [&](const QString& start) { return line.startsWith(start); });
    };
    QStringList kept;
    bool continuing = false;
    bool droppedKey = false;
    for (const QString& line : QString::fromUtf8(exported).split(u"\r\n"_s)) {
        if (line.startsWith(u'['))
            droppedKey = line.endsWith(u"\\Newsgroups]"_s); // third level below the accounts
        if (continuing || isRewritten(line))
            continuing = line.endsWith(u'\\');
        else if (!droppedKey)
            kept << line;
    }
    return kept.join(u'\n');
}

} // namespace

// A backup of the sample profile restored through the wizard onto another profile whose folders
// live elsewhere: the old profile's drive is gone, so every location is picked anew.
class RestoreEndToEndTest : public QObject {
    Q_OBJECT
private slots:
    void backupRestoredOntoAnotherProfile() {
        TestEnvironment env;
        const fixtures::Profile old =
            fixtures::buildProfile(env.path(u"old"_s), fixtures::sampleProfileSpec());
        QMap<QString, QByteArray> exports;
        QMap<QString, QMap<QString, QByteArray>> stores; // identity name -> files
        for (const fixtures::IdentitySpec& identity : old.spec().identities) {
            exports[identity.id] = exportKey(kHkcu + u"Identities\\"_s + identity.id);
            stores[identity.name] = folderContents(old.storeOf(identity));
        }
        exports[kIam] = exportKey(kHkcu + kIam);
        exports[kWab] = exportKey(kHkcu + kWab);

        const QString archive = env.path(u"archives/Backup.stw"_s);
        QVERIFY(Identity_Check() && IEF_Check() && WAB_Check());
        for (int i = 0; i < Interface().lstIdentities().count(); ++i)
            Interface().lstIdentities().item(i)->setSelected(true);
        WizardBackup(archive, EverythingChosen());
        QCOMPARE(Zip().GetComment(archive), u"111"_s);
        frmMain_Enabled();

        qputenv("STOWLINE_REGISTRY", env.path(u"new/registry.db"_s).toUtf8());
        platform::reopenRegistry();
        const QString fresh = env.path(u"new"_s);
        QDir().mkpath(fresh + u"/Favorites"_s);
        regAccess().KeyPath = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"_s;
        regAccess().ValueName = u"Favorites"_s;
        regAccess().Value = QString(fresh + u"/Favorites"_s);
        regAccess().WriteValue();
        DrivesDouble drives;
        drives.declare(u"OLD:"_s, {old.root()}).exists = false;
        for (int i = 1; i <= 3; ++i) {
            env.dialogs.answerMessage(platform::MsgAnswer::OK);
            env.dialogs.answerFolder(fresh + u"/Mail/%1"_s.arg(i));
        }
        env.dialogs.answerMessage(platform::MsgAnswer::OK);
        env.dialogs.answerFolder(fresh + u"/Address Book"_s);

        QVERIFY(walkRestoreWizard(archive, {{}, {0, 1, 2}}));

        QCOMPARE(Progress().status(), u"Restoring: Done!"_s);
        QVERIFY(env.dialogs.allAnswersUsed());
        for (const fixtures::IdentitySpec& identity : old.spec().identities) {
            const QString key = u"Identities\\"_s + identity.id;
            QCOMPARE(withoutRewrites(exportKey(kHkcu + key)), withoutRewrites(exports[identity.id]));
            const QString storeRoot =
                readRegText(key + u"\\Software\\Microsoft\\Outlook Express\\5.0"_s, u"Store Root"_s);
            QVERIFY2(storeRoot.startsWith(fresh + u"/Mail/"_s), qPrintable(storeRoot));
            QCOMPARE(folderContents(storeRoot), stores[identity.name]);
        }
        QCOMPARE(withoutRewrites(exportKey(kHkcu + kIam)), withoutRewrites(exports[kIam]));
        RegEdit& reg = regAccess();
        reg.KeyPath = kIam + u"\\Accounts"_s;
        reg.ValueName = u"AssociatedID"_s;
        reg.ReadValue();
        QCOMPARE(reg.Value.toString(), CLSID(old.spec().identities[0].id));
        QCOMPARE(withoutRewrites(exportKey(kHkcu + kWab)), withoutRewrites(exports[kWab]));
        QCOMPARE(readRegText(kWab + u"\\Wab File Name"_s, QString()),
                 fresh + u"/Address Book/Main Identity.wab"_s);
        QCOMPARE(folderContents(fresh + u"/Address Book"_s), folderContents(old.addressBookFolder()));
        QCOMPARE(folderContents(fresh + u"/Favorites"_s), folderContents(old.favoritesFolder()));
        QCOMPARE(readRegText(u"Identities"_s, u"Start As"_s), u"{00000000-0000-0000-0000-000000000000}"_s);
    }
};

QTEST_MAIN(RestoreEndToEndTest)
#include "RestoreEndToEndTest.moc"
