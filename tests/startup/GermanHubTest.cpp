#include "foundation/Strings.h"
#include "foundation/modGlobal.h"
#include "platform/Platform.h"
#include "startup/AppIdentity.h"
#include "startup/LinkEntry.h"
#include "startup/frmMain.h"
#include "tests/support/TestEnvironment.h"
#include "ui/QtDialogs.h"
#include "ui/Windows.h"

#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

using namespace stowline;
using namespace Qt::StringLiterals;

// Runs under LANG=de_DE.UTF-8 (see CMakeLists.txt), as a German desktop starts the program.
class GermanHubTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { SetUpApplicationIdentity(); }

    void hubSpeaksGermanWithTheEnglishComposition() {
        test::TestEnvironment env;
        env.dialogs.answerMessage(platform::MsgAnswer::No);
        frmMain& hub = frmMain::Load(QString());
        // Two table texts joined by a carriage return: each translated, order and separator kept.
        QCOMPARE(env.dialogs.calls.size(), 1);
        QCOMPARE(env.dialogs.calls[0].text,
                 QStringLiteral("Mit Stowline können Sie Ihre Outlook Express-Identitäten sichern.\r"
                                "Möchten Sie mehr über Identitäten erfahren?"));
        QCOMPARE(hub.findChild<QLabel*>(u"lbl09"_s)->text(), u"Sicherungsoptionen:"_s);
        QCOMPARE(hub.findChild<LinkEntry*>(u"lblBackup"_s)->text(), u"Neue Sicherung erstellen"_s);
        // Every window shows the application's icon, in the sizes the desktop asks for.
        QCOMPARE(hub.windowIcon().cacheKey(), QApplication::windowIcon().cacheKey());
        QCOMPARE(QApplication::windowIcon().availableSizes(),
                 (QList<QSize>{QSize(48, 48), QSize(128, 128), QSize(256, 256)}));
    }

    // The toolkit's own texts are German too; the dialog starts in the documents folder, not the
    // working directory, opens wide enough for its columns, and names an archive's type as its filter
    // does (the system's types take ".stw" for an office template).
    void fileDialogSpeaksGermanAndStartsInDocuments() {
        const QString documents = QDir::tempPath() + u"/stowline-documents"_s;
        QDir().mkpath(documents);
        QFile(documents + u"/Mail.stw"_s).open(QIODevice::WriteOnly);
        QString buttons;
        QString folder;
        QString archiveType;
        QSize size;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            for (const QPushButton* button : dialog->findChildren<QPushButton*>())
                buttons += button->text() + u'|';
            folder = dialog->directory().absolutePath();
            archiveType = dialog->iconProvider()->type(QFileInfo(documents + u"/Mail.stw"_s));
            size = dialog->size();
            dialog->reject();
        });
        platform::FileDialogRequest request;
        request.title = Str(176);
        request.filter = Str(177);
        request.defaultFolder = documents;
        QCOMPARE(QtDialogs().saveFile(request), QString());
        QVERIFY2(buttons.contains(u"S&peichern"_s) && buttons.contains(u"Abbrechen"_s), qPrintable(buttons));
        QCOMPARE(folder, documents);
        QCOMPARE(archiveType, Str(177).section(u'|', 0, 0));
        // Wide enough for its columns (Qt's own default is 1/4 narrower), as the screen allows.
        const QSize room = QApplication::primaryScreen()->availableSize() * 9 / 10;
        QVERIFY2(size.width() >= std::min(800, room.width()) && size.height() >= std::min(480, room.height()),
                 qPrintable(u"%1x%2"_s.arg(size.width()).arg(size.height())));
    }

    // A restore asked for on the command line opens in front of the hub, over it, and the hub waits.
    void restoreFromCommandLineOpensOverTheHub() {
        test::TestEnvironment env;
        env.dialogs.answerMessage(platform::MsgAnswer::No);
        const QString archive = env.path(u"Mail.stw"_s);
        test::writeFile(archive, test::emptyArchive("001"));
        frmMain& hub = frmMain::Load(u"/R \""_s + archive + u'"');
        const QWidget* page = forms::find(u"frmRS_Choice"_s);
        QVERIFY(page && page->isVisible());
        QVERIFY(!hub.isEnabled());
        QVERIFY(hub.frameGeometry().contains(page->frameGeometry()));
        QTRY_COMPARE(QApplication::activeWindow(), page);
    }

    void languageWithoutTranslationFallsBackToEnglish() {
        QVERIFY(!InstallTranslation(QLocale(QLocale::French, QLocale::France)));
        QCOMPARE(Str(110), u"Create a new backup"_s);
        QVERIFY(InstallTranslation(QLocale(QLocale::German, QLocale::Austria)));
        QCOMPARE(Str(110), u"Neue Sicherung erstellen"_s);
    }
};

QTEST_MAIN(GermanHubTest)
#include "GermanHubTest.moc"
