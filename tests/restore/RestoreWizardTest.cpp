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

const QString kFirst = u"{11111111-2222-3333-4444-555555555555}"_s;
const QString kSecond = u"{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}"_s;

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
            const QString name = u"Identity %1"_s.arg(i + 1);
            builder.identity(ids[i], name, identityReg(ids[i], name, path(u"stores/%1"_s.arg(i))));
        }
        builder.favorites({{u"f.url"_s, "f"}});
        builder.addressBook(addressBookReg(path(u"wab/Main.wab"_s)), {{u"Main.wab"_s, "w"}});
        const QString file = builder.write(path(u"a.stw"_s));
        Zip().SetComment(file, flags);
        return file;
    }

    frmRS_Choice* open(const QString& file) {
        ArchivePath = file;
        ArchiveItems = Zip().GetComment(file);
        ShowPage(forms::get<frmRS_Choice>(u"frmRS_Choice"_s));
        return qobject_cast<frmRS_Choice*>(shown("frmRS_Choice"));
    }

private slots:
    void init() {
        m_env = std::make_unique<TestEnvironment>();
        QDir().mkpath(path(u"home/Favorites"_s));
    }
    void cleanup() {
        QVERIFY(m_env->dialogs.allAnswersUsed());
        m_env.reset();
    }

    void firstPage_data() {
        QTest::addColumn<QString>("flags");
        QTest::addColumn<bool>("favoritesFolder");
        QTest::addColumn<QString>("enabledAndNext"); // one character per box, then Next's caption
        QTest::newRow("everything") << "111" << true << "111&Next >>";
        QTest::newRow("address book only") << "001" << true << "001&Restore";
        QTest::newRow("favorites folder missing") << "110" << false << "100&Next >>";
        QTest::newRow("letter in a flag") << "1x1" << true << "101&Next >>";
        QTest::newRow("nothing") << "000" << true << "";
        QTest::newRow("only favorites, folder missing") << "010" << false << "";
    }
    void firstPage() {
        QFETCH(QString, flags);
        QFETCH(bool, favoritesFolder);
        QFETCH(QString, enabledAndNext);
        if (!favoritesFolder)
            QDir(path(u"home/Favorites"_s)).removeRecursively();
        if (enabledAndNext.isEmpty())
            m_env->dialogs.answerMessage(platform::MsgAnswer::OK);

        frmRS_Choice* page = open(archive(1, flags));

        if (enabledAndNext.isEmpty()) {
            QVERIFY(!page);
            QCOMPARE(m_env->dialogs.calls[0].text, u"No items found to extract."_s);
            QCOMPARE(m_env->dialogs.calls[0].title, u"Error in archive"_s);
            QCOMPARE(m_env->dialogs.calls[0].icon, platform::MsgIcon::Critical);
            return;
        }
        for (int i = 0; i < 3; ++i)
            QVERIFY(page->box(i).isEnabled() == (enabledAndNext[i] == u'1') && page->box(i).isChecked());
        QCOMPARE(button(page, "cmdNext").text(), enabledAndNext.mid(3));
        QCOMPARE(button(page, "cmdNext").accessibleName(), enabledAndNext.mid(3).remove(u'&'));
        QCOMPARE(page->box(0).accessibleName(), u"Outlook Express Identities"_s);
        QCOMPARE(page->windowTitle(), u" "_s);
    }

    // A disabled box stays checked and keeps Next on; the run then restores nothing.
    void nothingLeftToRestore() {
        frmRS_Choice* page = open(archive(1, u"001"_s));
        page->box(2).setChecked(false);
        QVERIFY(button(page, "cmdNext").isEnabled());
        button(page, "cmdNext").click();
        QCOMPARE(Progress().status(), u"Restoring: Done!"_s);
        QCOMPARE(Progress().fileLine(), u" "_s);
        QVERIFY(Progress().closeButton().isEnabled());
        QVERIFY(!QFile::exists(path(u"wab"_s)) && !QFile::exists(path(u"tmp/stowline"_s)));
    }

    void navigation() {
        frmRS_Choice* first = open(archive(2, u"111"_s));
        button(first, "cmdNext").click();
        auto* identities = qobject_cast<frmRS_Identity*>(shown("frmRS_Identity"));
        QVERIFY(identities && !first->isVisible());
        QCOMPARE(identities->identityName(1), u"Identity 2"_s);
        QCOMPARE(identities->identityId(1), kSecond);
        QVERIFY(!button(identities, "cmdNext").isEnabled());
        QVERIFY(!QFile::exists(path(u"tmp/stowline"_s)));
        identities->list().item(1)->setCheckState(Qt::Checked);
        QVERIFY(button(identities, "cmdNext").isEnabled());
        identities->list().item(1)->setCheckState(Qt::Unchecked);
        QVERIFY(!button(identities, "cmdNext").isEnabled());
        identities->list().item(1)->setCheckState(Qt::Checked);
        button(identities, "cmdNext").click();

        auto* favorites = qobject_cast<frmRS_IEF*>(shown("frmRS_IEF"));
        QVERIFY(favorites && !identities->isVisible() && favorites->replaceOption().isChecked());
        button(favorites, "cmdBack").click();
        QVERIFY(shown("frmRS_Identity") == identities && identities->identityChecked(1));
        button(identities, "cmdBack").click();
        QVERIFY(shown("frmRS_Choice") == first && !shown("frmRS_Identity"));
        button(first, "cmdNext").click(); // the index is read afresh
        identities = qobject_cast<frmRS_Identity*>(shown("frmRS_Identity"));
        QVERIFY(identities && !identities->identityChecked(1));

        button(identities, "cmdBack").click();
        first->box(0).setChecked(false);
        button(first, "cmdNext").click();
        QVERIFY(shown("frmRS_IEF"));
        button(qobject_cast<frmRS_IEF*>(shown("frmRS_IEF")), "cmdBack").click();
        QVERIFY(shown("frmRS_Choice") == first && !shown("frmRS_IEF"));
    }

    void singleIdentityComesChecked() {
        button(open(archive(1, u"100"_s)), "cmdNext").click();
        auto* identities = qobject_cast<frmRS_Identity*>(shown("frmRS_Identity"));
        QVERIFY(identities && identities->identityChecked(0) && button(identities, "cmdNext").isEnabled());
        QCOMPARE(button(identities, "cmdNext").text(), u"&Restore"_s);
    }

    void keyboard() {
        frmRS_Choice* first = open(archive(1, u"111"_s));
        QVERIFY(QTest::qWaitForWindowActive(first));
        QCOMPARE(QApplication::focusWidget(), &first->box(0));
        for (QWidget* next : QList<QWidget*>{&first->box(1), &first->box(2), &button(first, "cmdBack"),
                                             &button(first, "cmdNext")}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
        // Access keys click the way a mouse does, after a short press animation.
        QTest::keyClick(first, Qt::Key_A, Qt::AltModifier);
        QTRY_VERIFY(!first->box(2).isChecked());
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
        QTest::keyClick(favorites, Qt::Key_R, Qt::AltModifier);
        QTRY_COMPARE(progress().status(), u"Restoring: Done!"_s);
        QCOMPARE(readFile(path(u"home/Favorites/f.url"_s)), QByteArray("f"));
    }
};

QTEST_MAIN(RestoreWizardTest)
#include "RestoreWizardTest.moc"
