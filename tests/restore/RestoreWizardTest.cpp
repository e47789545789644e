#include "archive/frmInterface.h"
#include "foundation/modGlobal.h"
#include "tests/restore/RestoreTestSupport.h"
#include "tests/support/TestEnvironment.h"
#include "ui/frmProgress.h"
#include "ui/frmRS_Choice.h"
#include "ui/frmRS_IEF.h"
#include "ui/frmRS_Identity.h"

#include <QCheckBox>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;
using namespace stowline;
using namespace stowline::test;

namespace {

const QString kFirst = QStringLiteral("{11111111-2222-3333-4444-555555555555}");
const QString kSecond = QStringLiteral("{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}");

QPushButton& button(QWidget* page, const char* name) {
    return *page->findChild<QPushButton*>(QString::fromLatin1(name));
}

QWidget* shown(const char* name) {
    QWidget* page = forms::find(QString::fromLatin1(name));
    return page && page->isVisible() ? page : nullptr;
}

} // namespace

class RestoreWizardTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnvironment> m_env;

    QString path(const QString& relative) const { return m_env->path(relative); }

    // An archive holding the given identities (and favorites and address book when asked), with
    // any item flags as its comment.
    QString archive(int identities, const QString& flags) {
        ArchiveBuilder builder;
        const QStringList ids{kFirst, kSecond};
        for (int i = 0; i < identities; ++i) {
            const QString name = QStringLiteral("Identity %1").arg(i + 1);
            builder.identity(ids[i], name,
                             identityReg(ids[i], name, path(QStringLiteral("stores/%1").arg(i))));
        }
        builder.favorites({{QStringLiteral("f.url"), "f"}});
        builder.addressBook(addressBookReg(path(QStringLiteral("wab/Main.wab"))),
                            {{QStringLiteral("Main.wab"), "w"}});
        const QString file = builder.write(path(QStringLiteral("a.stw")));
        Zip().SetComment(file, flags);
        return file;
    }

    frmRS_Choice* open(const QString& file) {
        ArchivePath = file;
        ArchiveItems = Zip().GetComment(file);
        ShowPage(forms::get<frmRS_Choice>(QStringLiteral("frmRS_Choice")));
        return qobject_cast<frmRS_Choice*>(shown("frmRS_Choice"));
    }

private slots:
    void init() {
        m_env = std::make_unique<TestEnvironment>();
        QDir().mkpath(path(QStringLiteral("home/Favorites")));
    }
    void cleanup() {
        QVERIFY(m_env->dialogs.allAnswersUsed());
        m_env.reset();
    }

    void firstPage_data() {
        QTest::addColumn<QString>("flags");
        QTest::addColumn<bool>("favoritesFolder");
        QTest::addColumn<QString>("enabled"); // one character per box
        QTest::addColumn<QString>("next");
        QTest::newRow("everything") << "111" << true << "111"
                                    << "&Next >>";
        QTest::newRow("address book only") << "001" << true << "001"
                                           << "&Restore";
        QTest::newRow("favorites folder missing") << "110" << false << "100"
                                                  << "&Next >>";
        QTest::newRow("letter in a flag") << "1x1" << true << "101"
                                          << "&Next >>";
        QTest::newRow("nothing") << "000" << true << ""
                                 << "";
        QTest::newRow("only favorites, folder missing") << "010" << false << ""
                                                        << "";
    }
    void firstPage() {
        QFETCH(QString, flags);
        QFETCH(bool, favoritesFolder);
        QFETCH(QString, enabled);
        QFETCH(QString, next);
        if (!favoritesFolder)
            QDir(path(QStringLiteral("home/Favorites"))).removeRecursively();
        if (enabled.isEmpty())
            m_env->dialogs.answerMessage(platform::MsgAnswer::OK);

        frmRS_Choice* page = open(archive(1, flags));

        if (enabled.isEmpty()) {
            QVERIFY(!page);
            QCOMPARE(m_env->dialogs.calls[0].text, QStringLiteral("No items found to extract."));
            QCOMPARE(m_env->dialogs.calls[0].title, QStringLiteral("Error in archive"));
            QCOMPARE(m_env->dialogs.calls[0].icon, platform::MsgIcon::Critical);
            return;
        }
        QVERIFY(page);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(page->box(i).isEnabled(), enabled[i] == u'1');
            QVERIFY(page->box(i).isChecked());
        }
        QCOMPARE(button(page, "cmdNext").text(), next);
        QCOMPARE(button(page, "cmdBack").text(), QStringLiteral("<< &Back"));
        QCOMPARE(page->box(0).text(), QStringLiteral("Outlook Express &Identities"));
        QCOMPARE(page->box(0).accessibleName(), QStringLiteral("Outlook Express Identities"));
        QCOMPARE(button(page, "cmdNext").accessibleName(), QString(next).remove(u'&'));
        QCOMPARE(page->windowTitle(), QStringLiteral(" "));
    }

    // Unchecking the enabled boxes leaves Next on while a disabled box stays checked; the run then
    // restores nothing.
    void nothingLeftToRestore() {
        frmRS_Choice* page = open(archive(1, QStringLiteral("001")));
        page->box(2).setChecked(false);
        QVERIFY(button(page, "cmdNext").isEnabled());
        QCOMPARE(button(page, "cmdNext").text(), QStringLiteral("&Restore"));
        button(page, "cmdNext").click();
        QCOMPARE(Progress().status(), QStringLiteral("Restoring: Done!"));
        QCOMPARE(Progress().fileLine(), QStringLiteral(" "));
        QVERIFY(Progress().closeButton().isEnabled());
        QVERIFY(!QFile::exists(path(QStringLiteral("wab"))));
        QVERIFY(!QFile::exists(path(QStringLiteral("tmp/stowline"))));
    }

    void navigation() {
        frmRS_Choice* first = open(archive(2, QStringLiteral("111")));
        button(first, "cmdNext").click();
        auto* identities = qobject_cast<frmRS_Identity*>(shown("frmRS_Identity"));
        QVERIFY(identities && !first->isVisible());
        QCOMPARE(identities->list().count(), 2);
        QCOMPARE(identities->list().item(1)->text(), QStringLiteral("Identity 2"));
        QCOMPARE(identities->identityId(1), kSecond);
        QVERIFY(!button(identities, "cmdNext").isEnabled());
        QCOMPARE(button(identities, "cmdNext").text(), QStringLiteral("&Next >>"));
        QVERIFY(!QFile::exists(path(QStringLiteral("tmp/stowline"))));

        identities->list().item(1)->setCheckState(Qt::Checked);
        QVERIFY(button(identities, "cmdNext").isEnabled());
        identities->list().item(1)->setCheckState(Qt::Unchecked);
        QVERIFY(!button(identities, "cmdNext").isEnabled());
        identities->list().item(1)->setCheckState(Qt::Checked);
        button(identities, "cmdNext").click();

        auto* favorites = qobject_cast<frmRS_IEF*>(shown("frmRS_IEF"));
        QVERIFY(favorites && !identities->isVisible());
        QVERIFY(favorites->replaceOption().isChecked() && !favorites->addOption().isChecked());
        QCOMPARE(button(favorites, "cmdNext").text(), QStringLiteral("&Restore"));
        button(favorites, "cmdBack").click();
        QVERIFY(shown("frmRS_Identity") == identities);
        QVERIFY(identities->identityChecked(1) && !identities->identityChecked(0));

        button(identities, "cmdBack").click();
        QVERIFY(shown("frmRS_Choice") == first);
        QTest::qWait(0); // let the closed page go
        button(first, "cmdNext").click();
        identities = qobject_cast<frmRS_Identity*>(shown("frmRS_Identity"));
        QVERIFY(identities && !identities->identityChecked(1));

        // Without favorites the identity page starts the run itself; Back from the favorites page
        // leads to the first page when identities are not chosen.
        first->box(1).setChecked(false);
        identities->hide();
        ShowPage(*identities);
        QCOMPARE(button(identities, "cmdNext").text(), QStringLiteral("&Restore"));
        button(identities, "cmdBack").click();
        first->box(1).setChecked(true);
        first->box(0).setChecked(false);
        button(first, "cmdNext").click();
        favorites = qobject_cast<frmRS_IEF*>(shown("frmRS_IEF"));
        QVERIFY(favorites);
        button(favorites, "cmdBack").click();
        QVERIFY(shown("frmRS_Choice") == first);
        QVERIFY(!shown("frmRS_IEF"));
    }

    void singleIdentityComesChecked() {
        button(open(archive(1, QStringLiteral("100"))), "cmdNext").click();
        auto* identities = qobject_cast<frmRS_Identity*>(shown("frmRS_Identity"));
        QVERIFY(identities && identities->identityChecked(0));
        QVERIFY(button(identities, "cmdNext").isEnabled());
        QCOMPARE(button(identities, "cmdNext").text(), QStringLiteral("&Restore"));
    }

    void keyboard() {
        frmRS_Choice* first = open(archive(1, QStringLiteral("111")));
        QVERIFY(QTest::qWaitForWindowActive(first));
        QCOMPARE(QApplication::focusWidget(), &first->box(0));
        // Access keys click the way a mouse does, after a short press animation.
        QTest::keyClick(first, Qt::Key_A, Qt::AltModifier);
        QTRY_VERIFY(!first->box(2).isChecked());
        first->box(0).setFocus();
        for (QWidget* next : {static_cast<QWidget*>(&first->box(1)), static_cast<QWidget*>(&first->box(2)),
                              static_cast<QWidget*>(&button(first, "cmdBack")),
                              static_cast<QWidget*>(&button(first, "cmdNext"))}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
        QTest::keyClick(first, Qt::Key_N, Qt::AltModifier);
        QTRY_VERIFY(shown("frmRS_Identity"));
        auto* identities = qobject_cast<frmRS_Identity*>(shown("frmRS_Identity"));
        QVERIFY(QTest::qWaitForWindowActive(identities));
        QCOMPARE(QApplication::focusWidget(), &identities->list());
        QTest::keyClick(identities, Qt::Key_N, Qt::AltModifier);
        QTRY_VERIFY(shown("frmRS_IEF"));
        auto* favorites = qobject_cast<frmRS_IEF*>(shown("frmRS_IEF"));
        QVERIFY(QTest::qWaitForWindowActive(favorites));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QVERIFY(favorites->addOption().isChecked() && !favorites->replaceOption().isChecked());
        QCOMPARE(favorites->addOption().accessibleName(),
                 QStringLiteral("Add the Favorites in the backup to the existing Favorites."));
        QTest::keyClick(favorites, Qt::Key_R, Qt::AltModifier);
        QTRY_COMPARE(progress().status(), QStringLiteral("Restoring: Done!"));
        QCOMPARE(readFile(path(QStringLiteral("home/Favorites/f.url"))), QByteArray("f"));
    }
};

QTEST_MAIN(RestoreWizardTest)
#include "RestoreWizardTest.moc"
