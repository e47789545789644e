#include "archive/IdentityCatalog.h"
#include "backup/modBKIdentityCheck.h"
#include "backup/modWizardBackup.h"
#include "foundation/Strings.h"
#include "tests/backup/BackupTestSupport.h"
#include "ui/MessagePreview.h"
#include "ui/RunWorker.h"
#include "ui/Windows.h"
#include "ui/frmExportMail.h"
#include "ui/frmMailBrowser.h"
#include "ui/frmProgress.h"
#include "ui/frmRS_Choice.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTextEdit>
#include <QTreeView>
#include <QTreeWidget>
#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace stowline;
using namespace stowline::test;
using namespace Qt::StringLiterals;

namespace {

// Markup in an identity's name, shown as it is wherever the name goes.
const QString kMarkupName = u"<b>Work</b> <img src=\"missing.png\">"_s;

// The texts in one column of the lines below parent.
QStringList texts(const QAbstractItemModel* model, int column, const QModelIndex& parent = {}) {
    QStringList texts;
    for (int row = 0; row < model->rowCount(parent); ++row)
        texts << model->index(row, column, parent).data().toString();
    return texts;
}

// No label reads markup: its text may come from an archive, a store or a file name.
void checkLabelsPlain(const QWidget& window) {
    for (const QLabel* label : window.findChildren<QLabel*>())
        QVERIFY2(label->textFormat() == Qt::PlainText, qPrintable(label->objectName()));
}

// Every control carries its design name and an accessible name; every one that takes input is reached
// by the Tab key.
void checkControls(const QWidget& window) {
    checkLabelsPlain(window);
    static const QRegularExpression designName(u"^(lbl|txt|tvw|lst|opt|cmd)[A-Z]"_s);
    for (const QWidget* control : window.findChildren<QWidget*>(designName)) {
        const bool input = !control->objectName().startsWith(u"lbl");
        QVERIFY2(!control->accessibleName().isEmpty() && (!input || control->focusPolicy() & Qt::TabFocus),
                 qPrintable(control->objectName()));
    }
}

} // namespace

class tst_MailWindows : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnvironment> m_env;
    QString m_archive;

    frmExportMail& openExport(const QString& folder) {
        OpenMailExport(m_archive, nullptr);
        auto* page = qobject_cast<frmExportMail*>(forms::find(u"frmExportMail"_s));
        Q_ASSERT(page);
        page->findChild<QLineEdit*>(u"txtFolder"_s)->setText(folder);
        return *page;
    }

private slots:
    void cleanupTestCase() { m_env.reset(); }

    // One archive for every case: the sample profile, whose main identity gets generated message
    // stores, backed up by the real backup run.
    void initTestCase() {
        m_env = std::make_unique<TestEnvironment>();
        fixtures::ProfileSpec sample = fixtures::sampleProfileSpec();
        sample.identities[2].name = kMarkupName;
        const fixtures::Profile profile = fixtures::buildProfile(m_env->path(u"profile"_s), sample);
        const QString store = profile.storeOf(identityNamed(profile, u"Main Identity"_s));
        QProcess generator;
        generator.start(u"python3"_s,
                        {QStringLiteral(STOWLINE_SOURCE_DIR "/tests/ui/mail_fixture.py"), store});
        QVERIFY(generator.waitForFinished(60000));
        QVERIFY2(generator.exitCode() == 0, generator.readAllStandardError().constData());

        m_archive = m_env->path(u"mail.stw"_s);
        BackupJob job{m_archive, {}, u"100"_s, {}};
        QVERIFY(Identity_Check(job.identities));
        job.identities.selectAll(true);
        RunAndWait(Progress(), [&job](RunContext& run) { WizardBackup(job, run); });
        frmMain_Enabled();
    }

    void cleanup() {
        forms::unload(u"frmMailBrowser"_s);
        QVERIFY(waitForRunEnd());
        frmMain_Enabled();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(m_env->dialogs.allAnswersUsed());
        m_env->dialogs.clear();
    }

    void browserReadsArchiveInPlace() {
        const QByteArray archiveBefore = readFile(m_archive);
        const auto tempBefore = hashesOfFolder(m_env->tempRoot());
        BrowseArchive(m_archive);
        auto& browser = *qobject_cast<frmMailBrowser*>(forms::find(u"frmMailBrowser"_s));
        QSignalSpy listed(&browser, &frmMailBrowser::listShown);
        QSignalSpy indexed(&browser, &frmMailBrowser::indexFinished); // the index may be done first
        QVERIFY(listed.wait(30000)); // the identity's own line comes chosen, with its whole mail listed
        auto* tree = browser.findChild<QTreeWidget*>(u"tvwFolders"_s);
        auto* list = browser.findChild<QTreeView*>(u"lstMessages"_s);
        auto* preview = browser.findChild<QPlainTextEdit*>(u"txtPreview"_s);

        // Identities in the archive's order, the first one chosen.
        QTreeWidgetItem* main = tree->topLevelItem(0);
        QCOMPARE(main->text(0), u"Main Identity"_s);
        const QModelIndex mainLine = tree->model()->index(0, 0);
        QCOMPARE(texts(tree->model(), 0, mainLine), (QStringList{u"Inbox"_s, u"Archive"_s}));
        QCOMPARE(texts(tree->model(), 0, tree->model()->index(1, 0, mainLine)), QStringList{u"Work"_s});
        QCOMPARE(tree->topLevelItem(2)->text(0), kMarkupName);
        checkControls(browser);

        // The search goes through the index of the whole archive: senders, subjects and bodies, in any
        // case and without regard to accents; a found message opens in its folder.
        QVERIFY(!indexed.isEmpty() || indexed.wait(60000));
        auto* search = browser.findChild<QLineEdit*>(u"txtSearch"_s);
        QSignalSpy found(&browser, &frmMailBrowser::searchShown);
        const QList<std::pair<QString, QStringList>> searches{
            {u"ALICE"_s, {u"Grüße aus Köln"_s, u"Lunch on Friday"_s}},
            {u"from:carol"_s, {u"Project plan"_s}},
            {u"koln"_s, {u"Grüße aus Köln"_s}},
            {u"figures"_s, {u"Quarterly report"_s}}};
        for (const auto& [text, subjects] : searches) {
            search->setText(text);
            QVERIFY(found.wait(10000));
            list->sortByColumn(2, Qt::AscendingOrder);
            QCOMPARE(texts(list->model(), 2), subjects);
            QCOMPARE(browser.status(), QString::number(subjects.size()) + Str(1779));
        }
        QCOMPARE(texts(list->model(), 5), QStringList{u"Inbox"_s});
        QSignalSpy shown(&browser, &frmMailBrowser::previewShown);
        list->setCurrentIndex(list->model()->index(0, 0));
        QVERIFY(shown.wait(30000));
        const QList<QTextEdit::ExtraSelection> marks = preview->extraSelections();
        QCOMPARE(marks.size(), 1);
        QCOMPARE(marks[0].cursor.selectedText(), u"figures"_s);
        const QString eml = m_env->path(u"saved.eml"_s);
        m_env->dialogs.answerFile(eml);
        browser.findChild<QPushButton*>(u"cmdSaveMessage"_s)->click();
        QTRY_VERIFY(QFile::exists(eml));
        QVERIFY(readFile(eml).contains("The figures are attached."));
        emit list->activated(list->currentIndex());
        QVERIFY(listed.wait(30000));
        QCOMPARE(tree->currentItem(), main->child(0));
        QCOMPARE(list->currentIndex().siblingAtColumn(2).data().toString(), u"Quarterly report"_s);
        QVERIFY(search->text().isEmpty());
        list->sortByColumn(2, Qt::AscendingOrder);
        QCOMPARE(texts(list->model(), 2),
                 (QStringList{u"Grüße aus Köln"_s, u"Lunch on Friday"_s, u"Quarterly report"_s}));
        QVERIFY(texts(list->model(), 1).first().startsWith(u"Alice Adams"_s));
        QCOMPARE(browser.status(), u"3 "_s + Str(1484));

        // Quoted-printable UTF-8 and an encoded subject come out as text; an attachment by its name.
        list->setCurrentIndex(list->model()->index(0, 0));
        QVERIFY(shown.wait(30000));
        QVERIFY2(preview->toPlainText().contains(u"Schöne Grüße, Alice"_s),
                 qPrintable(preview->toPlainText()));
        QVERIFY(preview->toPlainText().contains(Str(1495) + u" Grüße aus Köln"_s));
        list->setCurrentIndex(list->model()->index(2, 0));
        QVERIFY(shown.wait(30000));
        QVERIFY(preview->toPlainText().contains(u"The figures are attached."_s));
        QVERIFY(preview->toPlainText().contains(Str(1489) + u" q3.pdf"_s));

        // Reading leaves the archive as it was and unpacks nothing.
        QCOMPARE(readFile(m_archive), archiveBefore);
        QCOMPARE(hashesOfFolder(m_env->tempRoot()), tempBefore);
    }

    void exportWritesEveryMessage_data() {
        QTest::addColumn<QString>("format");  // the option's name ends in it
        QTest::addColumn<QString>("written"); // what every file's path matches
        QTest::addColumn<int>("files");
        QTest::newRow("mbox") << u"Mbox"_s << u"^(Inbox|Archive/Work)\\.mbox$"_s << 2;
        QTest::newRow("Maildir") << u"Maildir"_s << u"^(Inbox|Archive/Work)/cur/[^/]+$"_s << 4;
        QTest::newRow("eml") << u"Eml"_s << u"^(Inbox|Archive/Work)/[^/]+\\.eml$"_s << 4;
    }

    void exportWritesEveryMessage() {
        QFETCH(QString, format);
        QFETCH(QString, written);
        QFETCH(int, files);
        const QString out = m_env->path(u"export-"_s + format);
        frmExportMail& page = openExport(out);
        // Only the identity with mail: the others stay out of the export.
        QListWidget& identities = page.identities();
        for (int i = 0; i < identities.count(); ++i)
            identities.item(i)->setCheckState(
                identities.item(i)->text() == QLatin1String("Main Identity") ? Qt::Checked : Qt::Unchecked);
        page.findChild<QRadioButton*>(u"opt"_s + format)->click();
        page.findChild<QPushButton*>(u"cmdExport"_s)->click();
        QVERIFY(waitForRunEnd());

        frmProgress& progress = Progress();
        QTRY_VERIFY(progress.closeButton().isEnabled());
        QCOMPARE(progress.status(), Str(1466));
        const QStringList summary = progress.summary().split(u'\n');
        QCOMPARE(summary.value(0), Str(1473) + u' ' + out);
        QVERIFY2(summary.value(1).startsWith(u"Main Identity: 4 "_s + Str(1468)),
                 qPrintable(summary.join(u'|')));
        QCOMPARE(summary.size(), 2);
        QVERIFY(progress.findChild<QPushButton*>(u"cmdOpenFolder"_s)->isVisible());
        QCOMPARE(QDir(out).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{u"Main Identity"_s});
        const QStringList exported = hashesOfFolder(out + u"/Main Identity"_s).keys();
        QCOMPARE(exported.filter(QRegularExpression(written)).size(), files);
        QCOMPARE(exported.size(), files);
    }

    void exportLeavesEarlierExportAlone() {
        const QString out = m_env->path(u"earlier"_s);
        const QString earlier = out + u"/Main Identity"_s;
        writeFile(earlier + u"/note.txt"_s, "kept");
        frmExportMail& page = openExport(out);
        checkControls(page);
        m_env->dialogs.answerMessage(platform::MsgAnswer::OK);
        page.findChild<QPushButton*>(u"cmdExport"_s)->click();

        QCOMPARE(m_env->dialogs.calls.size(), 1);
        QCOMPARE(m_env->dialogs.calls[0].text, Str(1463) + u'\r' + earlier);
        QVERIFY(!RunGoing() && !forms::find(u"frmProgress"_s));
        QVERIFY(page.isVisible());
        QCOMPARE(hashesOfFolder(out).keys(), QStringList{u"Main Identity/note.txt"_s});
    }

    // A mail's markup is read as text: its subject stays as written, its HTML-only body
    // becomes text, and not one image or style sheet it names is loaded, not even from a FIFO, which
    // would block the window for ever. A watcher sees whether anyone opened the FIFO to read.
    void markupInMailIsText() {
        const QByteArray fifo = QFile::encodeName(m_env->path(u"fifo"_s));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        std::atomic<bool> opened{false};
        std::thread watcher([&] {
            const int fd = ::open(fifo.constData(), O_WRONLY);
            opened = true;
            ::close(fd);
        });
        const QByteArray url = "file://" + fifo;
        const MessagePreview preview = PreviewMessage(
            "Subject: <img src=\"" + url +
            "\"> Lunch\r\nMIME-Version: 1.0\r\nContent-Type: text/html; charset=us-ascii\r\n\r\n"
            "<html><head><link rel=\"stylesheet\" href=\"" +
            url + "\"><style>@import url(" + url + ");</style></head><body style=\"background-image: url(" +
            url + ")\"><img src=\"" + url + "\"><p>Noon at <b>the usual place</b>?</p></body></html>\r\n");
        const bool loaded = opened;
        const int release = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK); // lets the watcher end
        watcher.join();
        ::close(release);
        QVERIFY(!loaded);
        QCOMPARE(preview.subject, u"<img src=\""_s + QString::fromUtf8(url) + u"\"> Lunch"_s);
        QVERIFY2(preview.body.contains(u"Noon at the usual place?"_s), qPrintable(preview.body));
    }

    // The restore's first page offers the archive's mail; cancelling the export returns to the page.
    void restorePageLeadsToMailAndBack() {
        QVERIFY(OpenRestoreWizard(m_archive, QString(), 0));
        QWidget* first = forms::find(u"frmRS_Choice"_s);
        first->findChild<QPushButton*>(u"cmdExportMail"_s)->click();
        auto* page = qobject_cast<frmExportMail*>(forms::find(u"frmExportMail"_s));
        QVERIFY(page && page->isVisible() && !first->isVisible());
        QCOMPARE(page->identities().count(), 3);
        page->findChild<QPushButton*>(u"cmdCancel"_s)->click();
        QVERIFY(first->isVisible() && !forms::find(u"frmExportMail"_s));
        checkLabelsPlain(*first);

        first->findChild<QPushButton*>(u"cmdBrowseArchive"_s)->click();
        auto* browser = qobject_cast<frmMailBrowser*>(forms::find(u"frmMailBrowser"_s));
        QVERIFY(browser && browser->isVisible() && first->isVisible());
    }
};

QTEST_MAIN(tst_MailWindows)
#include "MailWindowsTest.moc"
