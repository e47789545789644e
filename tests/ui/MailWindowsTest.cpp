#include "archive/IdentityCatalog.h"
#include "backup/modBKIdentityCheck.h"
#include "backup/modWizardBackup.h"
#include "foundation/Strings.h"
#include "tests/backup/BackupTestSupport.h"
#include "ui/RunWorker.h"
#include "ui/Windows.h"
#include "ui/frmExportMail.h"
#include "ui/frmMailBrowser.h"
#include "ui/frmProgress.h"
#include "ui/frmRS_Choice.h"

#include <QDirIterator>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTreeView>
#include <QTreeWidget>

using namespace stowline;
using namespace stowline::test;

namespace {

QStringList childNames(const QTreeWidgetItem* item) {
    QStringList names;
    for (int i = 0; i < item->childCount(); ++i)
        names << item->child(i)->text(0);
    return names;
}

QStringList column(const QTreeView& view, int column) {
    QStringList texts;
    for (int row = 0; row < view.model()->rowCount(); ++row)
        texts << view.model()->index(row, column).data().toString();
    return texts;
}

// Every file below folder, relative to it.
QStringList filesBelow(const QString& folder) {
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

// Messages in the export of one identity: each file of a Maildir or .eml folder is one, and in an
// mbox file each line that starts with "From " begins one (mboxrd quotes such lines in a body).
int exportedMessages(const QString& identityFolder, bool mbox) {
    int count = 0;
    for (const QString& file : filesBelow(identityFolder)) {
        if (file == QLatin1String("bookmarks.html"))
            continue;
        if (!mbox) {
            ++count;
            continue;
        }
        const QByteArray text = readFile(QDir(identityFolder).filePath(file));
        count += text.startsWith("From ") + text.count("\nFrom ");
    }
    return count;
}

} // namespace

class tst_MailWindows : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { m_env.reset(); }
    void cleanup();
    void browserReadsArchiveInPlace();
    void searchOverSubjectAndSender_data();
    void searchOverSubjectAndSender();
    void exportWritesEveryMessage_data();
    void exportWritesEveryMessage();
    void exportLeavesEarlierExportAlone();
    void restorePageLeadsToMailAndBack();

private:
    frmMailBrowser& openBrowser();
    void chooseTreeLine(frmMailBrowser& browser, QTreeWidgetItem* line);
    frmExportMail& openExport(const QString& folder);

    std::unique_ptr<TestEnvironment> m_env;
    QString m_archive;
};

// One archive for every case: the sample profile, whose main identity gets generated message
// stores, backed up by the real backup run.
void tst_MailWindows::initTestCase() {
    m_env = std::make_unique<TestEnvironment>();
    const fixtures::Profile profile = buildSampleProfile(*m_env);
    const QString store = profile.storeOf(identityNamed(profile, QStringLiteral("Main Identity")));
    QProcess generator;
    generator.start(QStringLiteral("python3"),
                    {QStringLiteral(STOWLINE_SOURCE_DIR "/tests/ui/mail_fixture.py"), store});
    QVERIFY(generator.waitForFinished(60000));
    QVERIFY2(generator.exitCode() == 0, generator.readAllStandardError().constData());

    m_archive = m_env->path(QStringLiteral("mail.stw"));
    BackupJob job{m_archive, {}, QStringLiteral("100")};
    QVERIFY(Identity_Check(job.identities));
    job.identities.selectAll(true);
    RunAndWait(Progress(), [&job](RunContext& run) { WizardBackup(job, run); });
    frmMain_Enabled();
    QVERIFY(QFileInfo(m_archive).size() > 0);
}

void tst_MailWindows::cleanup() {
    forms::unload(QStringLiteral("frmMailBrowser"));
    QVERIFY(waitForRunEnd());
    frmMain_Enabled();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(m_env->dialogs.allAnswersUsed());
    m_env->dialogs.clear();
}

frmMailBrowser& tst_MailWindows::openBrowser() {
    BrowseArchive(m_archive);
    auto* browser = qobject_cast<frmMailBrowser*>(forms::find(QStringLiteral("frmMailBrowser")));
    Q_ASSERT(browser);
    QSignalSpy listed(browser, &frmMailBrowser::listShown);
    // The identity's own line comes chosen, with its whole mail listed.
    if (!listed.wait(30000))
        qFatal("the browser listed nothing");
    return *browser;
}

void tst_MailWindows::chooseTreeLine(frmMailBrowser& browser, QTreeWidgetItem* line) {
    QSignalSpy listed(&browser, &frmMailBrowser::listShown);
    browser.findChild<QTreeWidget*>(QStringLiteral("tvwFolders"))->setCurrentItem(line);
    QVERIFY(listed.wait(30000));
}

void tst_MailWindows::browserReadsArchiveInPlace() {
    const QByteArray archiveBefore = readFile(m_archive);
    const QStringList tempBefore = filesBelow(m_env->tempRoot());
    frmMailBrowser& browser = openBrowser();
    auto* tree = browser.findChild<QTreeWidget*>(QStringLiteral("tvwFolders"));
    auto* list = browser.findChild<QTreeView*>(QStringLiteral("lstMessages"));
    auto* preview = browser.findChild<QPlainTextEdit*>(QStringLiteral("txtPreview"));

    // Identities in the archive's order, the first one chosen.
    QTreeWidgetItem* main = tree->topLevelItem(0);
    QCOMPARE(main->text(0), QStringLiteral("Main Identity"));
    QCOMPARE(childNames(main), (QStringList{QStringLiteral("Inbox"), QStringLiteral("Archive")}));
    QCOMPARE(childNames(main->child(1)), QStringList{QStringLiteral("Work")});
    QCOMPARE(list->model()->rowCount(), 4);

    chooseTreeLine(browser, main->child(0));
    list->sortByColumn(2, Qt::AscendingOrder);
    QCOMPARE(column(*list, 2),
             (QStringList{QStringLiteral("Grüße aus Köln"), QStringLiteral("Lunch on Friday"),
                          QStringLiteral("Quarterly report")}));
    QVERIFY(column(*list, 1).first().startsWith(QStringLiteral("Alice Adams")));
    QCOMPARE(browser.status(), QStringLiteral("3 ") + Str(1484));

    // Quoted-printable UTF-8 and an encoded subject come out as text; an attachment by its name.
    QSignalSpy shown(&browser, &frmMailBrowser::previewShown);
    list->setCurrentIndex(list->model()->index(0, 0));
    QVERIFY(shown.wait(30000));
    QVERIFY2(preview->toPlainText().contains(QStringLiteral("Schöne Grüße, Alice")),
             qPrintable(preview->toPlainText()));
    QVERIFY(preview->toPlainText().contains(Str(1495) + QStringLiteral(" Grüße aus Köln")));
    list->setCurrentIndex(list->model()->index(2, 0));
    QVERIFY(shown.wait(30000));
    QVERIFY(preview->toPlainText().contains(QStringLiteral("The figures are attached.")));
    QVERIFY(preview->toPlainText().contains(Str(1489) + QStringLiteral(" q3.pdf")));

    // Reading leaves the archive as it was and unpacks nothing.
    QCOMPARE(readFile(m_archive), archiveBefore);
    QCOMPARE(filesBelow(m_env->tempRoot()), tempBefore);
}

void tst_MailWindows::searchOverSubjectAndSender_data() {
    QTest::addColumn<QString>("search");
    QTest::addColumn<QStringList>("subjects");
    QTest::newRow("sender, any case")
        << QStringLiteral("ALICE")
        << QStringList{QStringLiteral("Grüße aus Köln"), QStringLiteral("Lunch on Friday")};
    QTest::newRow("address") << QStringLiteral("carol@") << QStringList{QStringLiteral("Project plan")};
    QTest::newRow("subject, non-ASCII")
        << QStringLiteral("köln") << QStringList{QStringLiteral("Grüße aus Köln")};
    QTest::newRow("body text is not searched") << QStringLiteral("figures") << QStringList{};
}

void tst_MailWindows::searchOverSubjectAndSender() {
    QFETCH(QString, search);
    QFETCH(QStringList, subjects);
    frmMailBrowser& browser = openBrowser();
    auto* list = browser.findChild<QTreeView*>(QStringLiteral("lstMessages"));
    browser.findChild<QLineEdit*>(QStringLiteral("txtSearch"))->setText(search);
    list->sortByColumn(2, Qt::AscendingOrder);
    QCOMPARE(column(*list, 2), subjects);
    QCOMPARE(browser.status(), QString::number(subjects.size()) + QStringLiteral("/4 ") + Str(1484));
}

frmExportMail& tst_MailWindows::openExport(const QString& folder) {
    OpenMailExport(m_archive, nullptr);
    auto* page = qobject_cast<frmExportMail*>(forms::find(QStringLiteral("frmExportMail")));
    Q_ASSERT(page);
    page->findChild<QLineEdit*>(QStringLiteral("txtFolder"))->setText(folder);
    return *page;
}

void tst_MailWindows::exportWritesEveryMessage_data() {
    QTest::addColumn<QString>("format"); // the option's name ends in it
    QTest::newRow("mbox") << QStringLiteral("Mbox");
    QTest::newRow("Maildir") << QStringLiteral("Maildir");
    QTest::newRow("eml") << QStringLiteral("Eml");
}

void tst_MailWindows::exportWritesEveryMessage() {
    QFETCH(QString, format);
    const QString out = m_env->path(QStringLiteral("export-") + format);
    frmExportMail& page = openExport(out);
    // Only the identity with mail: the others stay out of the export.
    QListWidget& identities = page.identities();
    for (int i = 0; i < identities.count(); ++i)
        identities.item(i)->setCheckState(
            identities.item(i)->text() == QLatin1String("Main Identity") ? Qt::Checked : Qt::Unchecked);
    page.findChild<QRadioButton*>(QStringLiteral("opt") + format)->click();
    page.findChild<QPushButton*>(QStringLiteral("cmdExport"))->click();
    QVERIFY(waitForRunEnd());

    frmProgress& progress = Progress();
    QTRY_VERIFY(progress.closeButton().isEnabled());
    QCOMPARE(progress.status(), Str(1466));
    const QStringList summary = progress.summary().split(u'\n');
    QCOMPARE(summary.value(0), Str(1473) + u' ' + out);
    QVERIFY2(summary.value(1).startsWith(QStringLiteral("Main Identity: 4 ") + Str(1468)),
             qPrintable(summary.join(u'|')));
    QCOMPARE(summary.size(), 2);
    QVERIFY(progress.findChild<QPushButton*>(QStringLiteral("cmdOpenFolder"))->isVisible());
    QCOMPARE(QDir(out).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("Main Identity")});
    QCOMPARE(exportedMessages(out + QStringLiteral("/Main Identity"), format == QLatin1String("Mbox")), 4);
}

void tst_MailWindows::exportLeavesEarlierExportAlone() {
    const QString out = m_env->path(QStringLiteral("earlier"));
    const QString earlier = out + QStringLiteral("/Main Identity");
    writeFile(earlier + QStringLiteral("/note.txt"), "kept");
    frmExportMail& page = openExport(out);
    m_env->dialogs.answerMessage(platform::MsgAnswer::OK);
    page.findChild<QPushButton*>(QStringLiteral("cmdExport"))->click();

    QCOMPARE(m_env->dialogs.calls.size(), 1);
    QCOMPARE(m_env->dialogs.calls[0].text, Str(1463) + u'\r' + earlier);
    QVERIFY(!RunGoing() && !forms::find(QStringLiteral("frmProgress")));
    QVERIFY(page.isVisible());
    QCOMPARE(filesBelow(out), QStringList{QStringLiteral("Main Identity/note.txt")});
}

// The restore's first page offers the archive's mail; cancelling the export returns to the page.
void tst_MailWindows::restorePageLeadsToMailAndBack() {
    QVERIFY(OpenRestoreWizard(m_archive, QString(), 0));
    QWidget* first = forms::find(QStringLiteral("frmRS_Choice"));
    first->findChild<QPushButton*>(QStringLiteral("cmdExportMail"))->click();
    auto* page = qobject_cast<frmExportMail*>(forms::find(QStringLiteral("frmExportMail")));
    QVERIFY(page && page->isVisible() && !first->isVisible());
    QCOMPARE(page->identities().count(), 3);
    page->findChild<QPushButton*>(QStringLiteral("cmdCancel"))->click();
    QVERIFY(first->isVisible() && !forms::find(QStringLiteral("frmExportMail")));

    first->findChild<QPushButton*>(QStringLiteral("cmdBrowseArchive"))->click();
    auto* browser = qobject_cast<frmMailBrowser*>(forms::find(QStringLiteral("frmMailBrowser")));
    QVERIFY(browser && browser->isVisible() && first->isVisible());
}

QTEST_MAIN(tst_MailWindows)
#include "MailWindowsTest.moc"
