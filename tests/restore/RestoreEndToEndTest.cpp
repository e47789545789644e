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

const QString kHkcu = QStringLiteral("HKEY_CURRENT_USER\\");
const QString kIam = QStringLiteral("Software\\Microsoft\\Internet Account Manager");
const QString kWab = QStringLiteral("Software\\Microsoft\\WAB\\WAB4");

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
    for (const QString& line : QString::fromUtf8(exported).split(QStringLiteral("\r\n"))) {
        if (line.startsWith(u'['))
            droppedKey = line.endsWith(QStringLiteral("\\Newsgroups]")); // third level below the accounts
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
            fixtures::buildProfile(env.path(QStringLiteral("old")), fixtures::sampleProfileSpec());
        QMap<QString, QByteArray> exports;
        QMap<QString, QMap<QString, QByteArray>> stores; // identity name -> files
        for (const fixtures::IdentitySpec& identity : old.spec().identities) {
            exports[identity.id] = exportKey(kHkcu + QStringLiteral("Identities\\") + identity.id);
            stores[identity.name] = folderContents(old.storeOf(identity));
        }
        exports[kIam] = exportKey(kHkcu + kIam);
        exports[kWab] = exportKey(kHkcu + kWab);

        const QString archive = env.path(QStringLiteral("archives/Backup.stw"));
        QVERIFY(Identity_Check() && IEF_Check() && WAB_Check());
        for (int i = 0; i < Interface().lstIdentities().count(); ++i)
            Interface().lstIdentities().item(i)->setSelected(true);
        WizardBackup(archive, EverythingChosen());
        QCOMPARE(Zip().GetComment(archive), QStringLiteral("111"));
        frmMain_Enabled();

        qputenv("STOWLINE_REGISTRY", env.path(QStringLiteral("new/registry.db")).toUtf8());
        platform::reopenRegistry();
        const QString fresh = env.path(QStringLiteral("new"));
        QDir().mkpath(fresh + QStringLiteral("/Favorites"));
        regAccess().KeyPath =
            QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
        regAccess().ValueName = QStringLiteral("Favorites");
        regAccess().Value = QString(fresh + QStringLiteral("/Favorites"));
        regAccess().WriteValue();
        DrivesDouble drives;
        drives.declare(QStringLiteral("OLD:"), {old.root()}).exists = false;
        for (int i = 1; i <= 3; ++i) {
            env.dialogs.answerMessage(platform::MsgAnswer::OK);
            env.dialogs.answerFolder(fresh + QStringLiteral("/Mail/%1").arg(i));
        }
        env.dialogs.answerMessage(platform::MsgAnswer::OK);
        env.dialogs.answerFolder(fresh + QStringLiteral("/Address Book"));

        QVERIFY(walkRestoreWizard(archive, {{}, {0, 1, 2}}));

        QCOMPARE(Progress().status(), QStringLiteral("Restoring: Done!"));
        QVERIFY(env.dialogs.allAnswersUsed());
        for (const fixtures::IdentitySpec& identity : old.spec().identities) {
            const QString key = QStringLiteral("Identities\\") + identity.id;
            QCOMPARE(withoutRewrites(exportKey(kHkcu + key)), withoutRewrites(exports[identity.id]));
            const QString storeRoot =
                readRegText(key + QStringLiteral("\\Software\\Microsoft\\Outlook Express\\5.0"),
                            QStringLiteral("Store Root"));
            QVERIFY2(storeRoot.startsWith(fresh + QStringLiteral("/Mail/")), qPrintable(storeRoot));
            QCOMPARE(folderContents(storeRoot), stores[identity.name]);
        }
        QCOMPARE(withoutRewrites(exportKey(kHkcu + kIam)), withoutRewrites(exports[kIam]));
        RegEdit& reg = regAccess();
        reg.KeyPath = kIam + QStringLiteral("\\Accounts");
        reg.ValueName = QStringLiteral("AssociatedID");
        reg.ReadValue();
        QCOMPARE(reg.Value.toString(), CLSID(old.spec().identities[0].id));
        QCOMPARE(withoutRewrites(exportKey(kHkcu + kWab)), withoutRewrites(exports[kWab]));
        QCOMPARE(readRegText(kWab + QStringLiteral("\\Wab File Name"), QString()),
                 fresh + QStringLiteral("/Address Book/Main Identity.wab"));
        QCOMPARE(folderContents(fresh + QStringLiteral("/Address Book")),
                 folderContents(old.addressBookFolder()));
        QCOMPARE(folderContents(fresh + QStringLiteral("/Favorites")), folderContents(old.favoritesFolder()));
        QCOMPARE(readRegText(QStringLiteral("Identities"), QStringLiteral("Start As")),
                 QStringLiteral("{00000000-0000-0000-0000-000000000000}"));
    }
};

QTEST_MAIN(RestoreEndToEndTest)
#include "RestoreEndToEndTest.moc"
