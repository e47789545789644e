#include "ui/frmExportMail.h"

#include "archive/RunContext.h"
#include "foundation/ProgressView.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "foundation/modSystemPath.h"
#include "platform/Dialogs.h"
#include "platform/Platform.h"
#include "ui/RunWorker.h"
#include "ui/Windows.h"
#include "ui/frmProgress.h"
#include "ui/modFont.h"

#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace stowline {

namespace {

// A damaged store can make thousands of these; the summary names the first ones and counts the rest.
constexpr int UnreadableLinesShown = 20;

void tell(const QString& text) {
    platform::dialogs().messageBox(text, platform::MsgButtons::OK, platform::MsgIcon::Information,
                                   AppTitle());
}

std::unique_ptr<mail::MailSource> openSource(const QString& archivePath, QString* error) {
    return archivePath.isEmpty() ? mail::MailSource::openRegistry(error)
                                 : mail::MailSource::openArchive(archivePath, error);
}

// The export as the progress window shows it: the identity on the status line, the folder on the
// file line, the share of messages done on the bars; Cancel stops it between messages.
class ExportProgress : public mail::MailExportObserver {
public:
    ExportProgress(ProgressView& view, const CancelToken& cancel) : m_view(view), m_cancel(cancel) {}
    void identityStarted(const QString& name) override { m_view.setStatus(Str(txtExporting) + u' ' + name); }
    void folderStarted(const QString& identity, const QString& folder) override {
        m_view.setFileLine(identity + u'/' + folder);
    }
    void progress(qint64 done, qint64 total) override {
        const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 0;
        if (percent != m_percent)
            m_view.setBars(percent, percent);
        m_percent = percent;
    }
    bool cancelRequested() override { return m_cancel.requested(); }

private:
    ProgressView& m_view;
    const CancelToken& m_cancel;
    int m_percent = -1;
};

QString endStatus(const mail::MailExportResult& result) {
    if (!result.error.isEmpty())
        return Str(txtStopped) + u' ' + result.error;
    if (result.cancelled)
        return Str(txtMailwindowsCancelled);
    if (result.exported() == 0 && !result.unreadable.isEmpty())
        return Str(txtNothingRead);
    return Str(txtDone);
}

void runExport(RunContext& run, const QString& archivePath, const mail::MailExportOptions& options,
               const QPointer<frmProgress>& window) {
    QString error;
    mail::MailExportResult result;
    if (std::unique_ptr<mail::MailSource> source = openSource(archivePath, &error)) {
        ExportProgress observer(run.progress, run.cancel);
        result = mail::ExportMail(*source, options, observer);
    } else {
        result.error = error;
    }
    run.progress.setStatus(endStatus(result));
    run.progress.setFileLine(QString());
    QMetaObject::invokeMethod(
        window, [window] { window->cancelButton().hide(); }, Qt::QueuedConnection);
    run.progress.showSummary(ExportSummary(result, options.outputFolder), options.outputFolder);
    run.progress.setCloseEnabled(true);
}

} // namespace

QStringList ExportSummary(const mail::MailExportResult& result, const QString& folder) {
    QStringList lines{Str(txtExportedTo) + u' ' + folder};
    for (const mail::IdentityExportCount& identity : result.identities)
        lines << identity.name + QStringLiteral(": ") + QString::number(identity.messages) + u' ' +
                     Str(txtMessagesIn) + u' ' + QString::number(identity.folders) + u' ' +
                     Str(txtFoldersWord);
    if (result.favorites > 0)
        lines << Str(txtFavorites) + u' ' + QString::number(result.favorites) + u' ' + Str(txtBookmarkLinks);
    if (!result.unreadable.isEmpty())
        lines << Str(txtCouldNotBeRead);
    for (const mail::UnreadableMessage& message : result.unreadable.mid(0, UnreadableLinesShown)) {
        const QString where = message.identity + u'/' + message.folder;
        lines << (message.index >= 0 ? where + QStringLiteral(" #") + QString::number(message.index)
                                     : where) +
                     QStringLiteral(": ") + message.detail;
    }
    if (result.unreadable.size() > UnreadableLinesShown)
        lines << QStringLiteral("+") + QString::number(result.unreadable.size() - UnreadableLinesShown);
    return lines;
}

frmExportMail::frmExportMail(QString archivePath, QWidget* previousPage, QWidget* parent)
    : WizardPage(QStringLiteral("frmIdentities"), parent), m_archivePath(std::move(archivePath)),
      m_previousPage(previousPage), m_lblComment(new QLabel(&frame())),
      m_lstIdentities(new QListWidget(&frame())), m_lblFolder(new QLabel(this)),
      m_txtFolder(new QLineEdit(this)), m_cmdBrowse(new QPushButton(this)), m_optMbox(new QRadioButton),
      m_optMaildir(new QRadioButton), m_optEml(new QRadioButton) {
    m_lblComment->setObjectName(QStringLiteral("lblComment"));
    m_lblComment->setWordWrap(true);
    for (QLabel* label : {m_lblComment, m_lblFolder})
        label->setTextFormat(Qt::PlainText);
    m_lstIdentities->setObjectName(QStringLiteral("lstIdentities"));
    frameLayout().addWidget(m_lblComment);
    frameLayout().addWidget(m_lstIdentities);
    // Below the identities, above the buttons: where to and in which format.
    auto* page = qobject_cast<QVBoxLayout*>(layout());
    page->insertWidget(2, buildFolderRow());
    page->insertWidget(3, buildFormatGroup());
    backButton().setObjectName(QStringLiteral("cmdCancel"));
    nextButton().setObjectName(QStringLiteral("cmdExport"));
    setTabOrder(m_lstIdentities, m_txtFolder);
    setTabOrder(m_txtFolder, m_cmdBrowse);
    setTabOrder(m_cmdBrowse, m_optMbox);
    setTabOrder(m_optMbox, m_optMaildir);
    setTabOrder(m_optMaildir, m_optEml);
    setTabOrder(m_optEml, &backButton());
    setTabOrder(&backButton(), &nextButton());
    setMinimumSize(560, 480);

    connect(m_lstIdentities, &QListWidget::itemChanged, this, &frmExportMail::updateExportButton);
    connect(m_txtFolder, &QLineEdit::textChanged, this, &frmExportMail::updateExportButton);
    connect(m_cmdBrowse, &QPushButton::clicked, this, &frmExportMail::cmdBrowse_Click);
    connect(&nextButton(), &QPushButton::clicked, this, &frmExportMail::cmdExport_Click);
    connect(&backButton(), &QPushButton::clicked, this, &frmExportMail::cmdCancel_Click);
}

QWidget* frmExportMail::buildFolderRow() {
    auto* row = new QWidget(this);
    row->setObjectName(QStringLiteral("frmFolder"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 6, 0, 0);
    m_lblFolder->setObjectName(QStringLiteral("lblFolder"));
    m_lblFolder->setBuddy(m_txtFolder);
    m_txtFolder->setObjectName(QStringLiteral("txtFolder"));
    m_cmdBrowse->setObjectName(QStringLiteral("cmdBrowse"));
    layout->addWidget(m_lblFolder);
    layout->addWidget(m_txtFolder, 1);
    layout->addWidget(m_cmdBrowse);
    return row;
}

QWidget* frmExportMail::buildFormatGroup() {
    auto* group = new QGroupBox(this);
    group->setObjectName(QStringLiteral("frmFormat"));
    auto* layout = new QVBoxLayout(group);
    m_optMbox->setObjectName(QStringLiteral("optMbox"));
    m_optMaildir->setObjectName(QStringLiteral("optMaildir"));
    m_optEml->setObjectName(QStringLiteral("optEml"));
    for (QRadioButton* option : {m_optMbox, m_optMaildir, m_optEml})
        layout->addWidget(option);
    m_optMbox->setChecked(true);
    return group;
}

bool frmExportMail::Form_Load() {
    bool loaded = false;
    TRAP_BEGIN("frmExportMail:Form_Load")
        STEP(1) title().setText(Str(txtExportTitle));
        title().setAccessibleName(Str(txtExportTitle));
        STEP(2) frame().setTitle(Str(txtIdentities));
        frame().setAccessibleName(Str(txtIdentities));
        m_lblComment->setText(Str(txtMailwindowsCheckIdentities));
        m_lblComment->setAccessibleName(Str(txtMailwindowsCheckIdentities));
        m_lstIdentities->setAccessibleName(Str(txtIdentities));
        m_lblFolder->setText(Str(txtFolder));
        m_lblFolder->setAccessibleName(plainCaption(Str(txtFolder)));
        m_txtFolder->setAccessibleName(plainCaption(Str(txtFolder)));
        setCaption(*m_cmdBrowse, Str(txtBrowse));
        auto* format = findChild<QGroupBox*>(QStringLiteral("frmFormat"));
        format->setTitle(Str(txtFormat));
        format->setAccessibleName(Str(txtFormat));
        for (const auto& [option, text] :
             {std::pair{m_optMbox, txtMbox}, {m_optMaildir, txtMaildir}, {m_optEml, txtEml}}) {
            option->setText(Str(text));
            option->setAccessibleName(plainCaption(Str(text)));
        }
        setCaption(backButton(), Str(txtCancel));
        setCaption(nextButton(), Str(txtExport));
        STEP(3) QFont font = m_lstIdentities->font();
        SetProperFont(font);
        m_lstIdentities->setFont(font);
        STEP(4) QString error;
        std::unique_ptr<mail::MailSource> source = openSource(m_archivePath, &error);
        STEP(5) if (source) m_identities = source->identities();
        STEP(6) if (m_identities.isEmpty()) {
            tell(error.isEmpty() ? Str(txtNoIdentitiesWithMail) : error);
            cmdCancel_Click();
            return loaded;
        }
        STEP(7) for (const mail::MailIdentity& identity : m_identities) {
            auto* line = new QListWidgetItem(identity.name, m_lstIdentities);
            line->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            line->setCheckState(Qt::Checked);
        }
        m_lstIdentities->setCurrentRow(0);
        STEP(8)
        m_txtFolder->setText(
            QDir(SystemPath(CSIDL_PERSONAL))
                .filePath(Str(txtExportTitle) + u' ' + platform::system().today().toString(Qt::ISODate)));
        STEP(9) updateExportButton();
        m_lstIdentities->setFocus();
        loaded = true;
    TRAP_END
    return loaded;
}

void frmExportMail::updateExportButton() {
    nextButton().setEnabled(!chosenIdentityIds().isEmpty() && !m_txtFolder->text().trimmed().isEmpty());
}

QStringList frmExportMail::chosenIdentityIds() const {
    QStringList ids;
    for (int i = 0; i < m_lstIdentities->count() && i < m_identities.size(); ++i)
        if (m_lstIdentities->item(i)->checkState() == Qt::Checked)
            ids << m_identities[i].id;
    return ids;
}

mail::MailFormat frmExportMail::chosenFormat() const {
    if (m_optMaildir->isChecked())
        return mail::MailFormat::Maildir;
    if (m_optEml->isChecked())
        return mail::MailFormat::Eml;
    return mail::MailFormat::Mbox;
}

void frmExportMail::cmdBrowse_Click() {
    TRAP_BEGIN("frmExportMail:cmdBrowse_Click")
        STEP(1) const QString chosen = platform::dialogs().pickFolder(Str(txtPickFolder));
        STEP(2) if (!chosen.isEmpty()) m_txtFolder->setText(chosen);
    TRAP_END
}

// An earlier export's identity folder is never written into: its files would mix with the new ones.
bool frmExportMail::folderFree(const QString& folder) {
    const QDir target(folder);
    for (int i = 0; i < m_lstIdentities->count() && i < m_identities.size(); ++i) {
        const QString identityFolder = target.filePath(mail::SafeFileName(m_identities[i].name));
        if (m_lstIdentities->item(i)->checkState() == Qt::Checked && QFileInfo::exists(identityFolder)) {
            tell(Str(txtFolderTaken) + u'\r' + identityFolder);
            return false;
        }
    }
    return true;
}

void frmExportMail::cmdExport_Click() {
    TRAP_BEGIN("frmExportMail:cmdExport_Click")
        STEP(1)
        const QString folder =
            QDir::cleanPath(QDir::current().absoluteFilePath(m_txtFolder->text().trimmed()));
        STEP(2) if (!folderFree(folder)) return;
        STEP(3) mail::MailExportOptions options;
        options.outputFolder = folder;
        options.format = chosenFormat();
        options.identityIds = chosenIdentityIds();
        STEP(4) frmProgress& window = ShowProgress();
        window.setTitle(Str(txtExportTitle));
        window.setFrameText(Str(txtMailwindowsPleaseWait));
        window.cancelButton().show();
        STEP(5) hide();
        if (m_previousPage)
            m_previousPage->hide();
        STEP(6)
        StartRun(window, [archive = m_archivePath, options, progress = QPointer<frmProgress>(&window)](
                             RunContext& run) { runExport(run, archive, options, progress); });
    TRAP_END
}

void frmExportMail::cmdCancel_Click() {
    TRAP_BEGIN("frmExportMail:cmdCancel_Click")
        STEP(1) BackToPreviousPage(m_previousPage, QStringLiteral("frmExportMail"));
    TRAP_END
}

void frmExportMail::closedByUser() { cmdCancel_Click(); }

void OpenMailExport(const QString& archivePath, QWidget* previousPage) {
    frmMain_Disabled();
    frmExportMail& page =
        forms::get<frmExportMail>(QStringLiteral("frmExportMail"), archivePath, previousPage);
    ShowPage(page);
    if (previousPage && page.isVisible())
        previousPage->hide();
}

} // namespace stowline
