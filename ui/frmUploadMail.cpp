#include "ui/frmUploadMail.h"

#include "archive/RunContext.h"
#include "foundation/ProgressView.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "platform/Dialogs.h"
#include "platform/Keyring.h"
#include "ui/RunWorker.h"
#include "ui/Windows.h"
#include "ui/frmProgress.h"
#include "ui/modFont.h"

#include <QApplication>
#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>
#include <functional>

namespace stowline {

namespace {

constexpr int RefusedLinesShown = 20;
constexpr quint16 StartTlsPort = 143;

void tell(const QString& text) {
    platform::dialogs().messageBox(text, platform::MsgButtons::OK, platform::MsgIcon::Information,
                                   AppTitle());
}

std::unique_ptr<mail::MailSource> openSource(const QString& archivePath, QString* error) {
    return archivePath.isEmpty() ? mail::MailSource::openRegistry(error)
                                 : mail::MailSource::openArchive(archivePath, error);
}

QString megabytes(qint64 bytes) { return QString::number(double(bytes) / (1024 * 1024), 'f', 1); }

// The identity and counts on the status line, the folder on the file line, the share done on the bars.
class UploadProgress : public mail::MailUploadObserver {
public:
    UploadProgress(ProgressView& view, const CancelToken& cancel, std::function<void()> loggedIn)
        : m_view(view), m_cancel(cancel), m_loggedIn(std::move(loggedIn)) {}
    void connected(const QString&) override {
        if (m_loggedIn)
            m_loggedIn();
    }
    void folderStarted(const QString& identity, const QString& folder) override {
        m_identity = identity;
        m_view.setFileLine(identity + u'/' + folder);
    }
    void progress(qint64 done, qint64 total, qint64 bytes) override {
        const int percent = total > 0 ? int(std::min(done, total) * 100 / total) : 0;
        if (percent != m_percent)
            m_view.setBars(percent, percent);
        m_percent = percent;
        if (done % 25 == 0 || done == total)
            m_view.setStatus(Str(txtUploadingStatus) + u' ' + m_identity + QStringLiteral(": ") +
                             QString::number(done) + Str(txtOfWord) + QString::number(total) +
                             Str(txtMessagesComma) + megabytes(bytes) + Str(txtMegabytes));
    }
    bool cancelRequested() override { return m_cancel.requested(); }

private:
    ProgressView& m_view;
    const CancelToken& m_cancel;
    std::function<void()> m_loggedIn;
    QString m_identity;
    int m_percent = -1;
};

QString endStatus(const mail::MailUploadResult& result) {
    if (!result.error.isEmpty())
        return Str(txtStopped) + u' ' + result.error;
    if (result.cancelled)
        return Str(txtUploadCancelled);
    if (result.exitStatus() == 1)
        return Str(txtNothingUploaded);
    return Str(txtUploadDone);
}

// The password is kept in the keyring once the server took it, so that a mistyped one is never kept.
void keepPassword(const QString& key, const QString& password) {
    const platform::KeyringAnswer kept =
        platform::StoreKeyringSecret(key, password, platform::InteractiveKeyringLimit);
    if (kept.status != platform::KeyringAnswer::Status::Done)
        tell(Str(txtKeyringNotKept) + kept.problem);
}

void runUpload(RunContext& run, const QString& archivePath, const mail::MailUploadOptions& options,
               const QPointer<frmProgress>& window, bool keep) {
    QString error;
    mail::MailUploadResult result;
    if (std::unique_ptr<mail::MailSource> source = openSource(archivePath, &error)) {
        const auto loggedIn = [&] {
            const QString key = options.account.keyringKey(), secret = QString::fromUtf8(options.password);
            QMetaObject::invokeMethod(
                qApp, [key, secret] { keepPassword(key, secret); }, Qt::QueuedConnection);
        };
        UploadProgress observer(run.progress, run.cancel, keep ? std::function<void()>(loggedIn) : nullptr);
        result = mail::UploadMail(*source, options, observer);
    } else {
        result.error = error;
    }
    run.progress.setStatus(endStatus(result));
    run.progress.setFileLine(QString());
    QMetaObject::invokeMethod(
        window, [window] { window->cancelButton().hide(); }, Qt::QueuedConnection);
    run.progress.showSummary(UploadSummary(result, options.account.name()), QString());
    run.progress.setCloseEnabled(true);
}

} // namespace

QStringList UploadSummary(const mail::MailUploadResult& result, const QString& account) {
    QStringList lines{Str(txtUploadedTo) + account + u'/' + result.target,
                      Str(txtUploadedLine) + QString::number(result.uploaded) + QStringLiteral(" (") +
                          QLocale().toString(result.bytes) + Str(txtBytesWord) + u')',
                      Str(txtAlreadyThereLine) + QString::number(result.alreadyThere),
                      Str(txtRefusedLine) + QString::number(result.refused.size())};
    for (const mail::RefusedMessage& message : result.refused.mid(0, RefusedLinesShown)) {
        const QString where = message.identity + u'/' + message.folder;
        lines << (message.index >= 0 ? where + QStringLiteral(" #") + QString::number(message.index)
                                     : where) +
                     QStringLiteral(": ") + message.detail;
    }
    if (result.refused.size() > RefusedLinesShown)
        lines << QStringLiteral("+") + QString::number(result.refused.size() - RefusedLinesShown);
    return lines;
}

frmUploadMail::frmUploadMail(QString archivePath, QWidget* previousPage, QWidget* parent)
    : WizardPage(QStringLiteral("frmIdentities"), parent), m_archivePath(std::move(archivePath)),
      m_previousPage(previousPage), m_lblComment(new QLabel(&frame())),
      m_lstIdentities(new QListWidget(&frame())), m_txtServer(new QLineEdit(this)),
      m_txtUser(new QLineEdit(this)), m_txtPassword(new QLineEdit(this)), m_chkRemember(new QCheckBox(this)),
      m_txtFolder(new QLineEdit(this)), m_txtCaFile(new QLineEdit(this)) {
    m_lblComment->setObjectName(QStringLiteral("lblComment"));
    m_lblComment->setWordWrap(true);
    m_lstIdentities->setObjectName(QStringLiteral("lstIdentities"));
    frameLayout().addWidget(m_lblComment);
    frameLayout().addWidget(m_lstIdentities);
    auto* page = qobject_cast<QVBoxLayout*>(layout());
    page->insertWidget(1, buildAccountRows());
    backButton().setObjectName(QStringLiteral("cmdCancel"));
    nextButton().setObjectName(QStringLiteral("cmdUpload"));
    QWidget* order[] = {m_txtServer, m_txtUser,       m_txtPassword, m_chkRemember, m_txtFolder,
                        m_txtCaFile, m_lstIdentities, &backButton(), &nextButton()};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    setMinimumSize(600, 560);
    for (QLineEdit* field : {m_txtServer, m_txtUser, m_txtFolder})
        connect(field, &QLineEdit::textChanged, this, &frmUploadMail::updateUploadButton);
    connect(m_lstIdentities, &QListWidget::itemChanged, this, &frmUploadMail::updateUploadButton);
    connect(&nextButton(), &QPushButton::clicked, this, &frmUploadMail::cmdUpload_Click);
    connect(&backButton(), &QPushButton::clicked, this, &frmUploadMail::cmdCancel_Click);
}

QWidget* frmUploadMail::buildAccountRows() {
    auto* rows = new QWidget(this);
    rows->setObjectName(QStringLiteral("frmAccount"));
    auto* form = new QFormLayout(rows);
    form->setContentsMargins(0, 6, 0, 6);
    const std::pair<QLineEdit*, const char*> fields[] = {{m_txtServer, "txtServer"},
                                                         {m_txtUser, "txtUser"},
                                                         {m_txtPassword, "txtPassword"},
                                                         {m_txtFolder, "txtFolder"},
                                                         {m_txtCaFile, "txtCaFile"}};
    for (const auto& [field, name] : fields) {
        field->setObjectName(QLatin1String(name));
        auto* label = new QLabel(rows);
        label->setObjectName(QLatin1String("lbl") + QLatin1String(name + 3));
        label->setBuddy(field);
        form->addRow(label, field);
        if (field == m_txtPassword)
            form->addRow(QString(), m_chkRemember);
    }
    m_txtPassword->setEchoMode(QLineEdit::Password);
    m_chkRemember->setObjectName(QStringLiteral("chkRemember"));
    return rows;
}

bool frmUploadMail::Form_Load() {
    bool loaded = false;
    TRAP_BEGIN("frmUploadMail:Form_Load")
        STEP(1) title().setText(Str(txtUploadTitle));
        title().setAccessibleName(Str(txtUploadTitle));
        frame().setTitle(Str(txtIdentities));
        frame().setAccessibleName(Str(txtIdentities));
        m_lblComment->setText(Str(txtUploadCheckIdentities));
        m_lblComment->setAccessibleName(Str(txtUploadCheckIdentities));
        m_lstIdentities->setAccessibleName(Str(txtIdentities));
        STEP(2)
        const std::pair<QLineEdit*, int> captions[] = {{m_txtServer, txtServerLabel},
                                                       {m_txtUser, txtUserLabel},
                                                       {m_txtPassword, txtPasswordLabel},
                                                       {m_txtFolder, txtTargetFolderLabel},
                                                       {m_txtCaFile, txtCaFileLabel}};
        for (const auto& [field, text] : captions) {
            auto* label = findChild<QLabel*>(QStringLiteral("lbl") + field->objectName().mid(3));
            label->setText(Str(text));
            label->setAccessibleName(plainCaption(Str(text)));
            field->setAccessibleName(plainCaption(Str(text)));
        }
        m_chkRemember->setText(Str(txtRememberPassword));
        m_chkRemember->setAccessibleName(plainCaption(Str(txtRememberPassword)));
        m_txtServer->setPlaceholderText(QStringLiteral("imap.example.org:993"));
        m_txtFolder->setText(QStringLiteral("Old Mail"));
        setCaption(backButton(), Str(txtCancel));
        setCaption(nextButton(), Str(txtUploadButton));
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
        STEP(8) updateUploadButton();
        m_txtServer->setFocus();
        loaded = true;
    TRAP_END
    return loaded;
}

std::optional<mail::ImapAccount> frmUploadMail::typedAccount(QString* problem) const {
    const QString server = m_txtServer->text().trimmed();
    std::optional<mail::ImapAccount> account =
        mail::ParseImapAddress(QStringLiteral("imaps://x@") + server, problem);
    if (!account)
        return std::nullopt;
    if (account->port == StartTlsPort)
        account->tlsAtOnce = false;
    account->user = m_txtUser->text().trimmed();
    account->folder = m_txtFolder->text().split(u'/', Qt::SkipEmptyParts);
    for (QString& level : account->folder)
        level = level.trimmed();
    account->folder.removeAll(QString());
    if (account->folder.isEmpty())
        account->folder << QStringLiteral("Old Mail");
    return account;
}

void frmUploadMail::updateUploadButton() {
    nextButton().setEnabled(!chosenIdentityIds().isEmpty() && !m_txtServer->text().trimmed().isEmpty() &&
                            !m_txtUser->text().trimmed().isEmpty());
}

QStringList frmUploadMail::chosenIdentityIds() const {
    QStringList ids;
    for (int i = 0; i < m_lstIdentities->count() && i < m_identities.size(); ++i)
        if (m_lstIdentities->item(i)->checkState() == Qt::Checked)
            ids << m_identities[i].id;
    return ids;
}

// The password typed, else the one kept in the keyring before.
std::optional<QByteArray> frmUploadMail::password(const mail::ImapAccount& account) {
    const QString typed = m_txtPassword->text();
    if (typed.isEmpty()) {
        const platform::KeyringAnswer saved =
            platform::ReadKeyringSecret(account.keyringKey(), platform::InteractiveKeyringLimit);
        if (saved.status == platform::KeyringAnswer::Status::Done)
            return saved.secret.toUtf8();
        m_txtPassword->setFocus();
        return std::nullopt;
    }
    return typed.toUtf8();
}

void frmUploadMail::cmdUpload_Click() {
    TRAP_BEGIN("frmUploadMail:cmdUpload_Click")
        STEP(1) QString problem;
        const std::optional<mail::ImapAccount> account = typedAccount(&problem);
        if (!account) {
            tell(Str(txtUploadBadAddress) + m_txtServer->text() + QStringLiteral(" (") + problem + u')');
            return;
        }
        STEP(2) const std::optional<QByteArray> secret = password(*account);
        if (!secret)
            return;
        STEP(3) mail::MailUploadOptions options;
        options.account = *account;
        options.password = *secret;
        options.caFile = m_txtCaFile->text().trimmed();
        options.identityIds = chosenIdentityIds();
        const bool keep = m_chkRemember->isChecked() && !m_txtPassword->text().isEmpty();
        m_txtPassword->clear();
        STEP(4) frmProgress& window = ShowProgress();
        window.setTitle(Str(txtUploadTitle));
        window.setFrameText(Str(txtUploadPleaseWait));
        window.cancelButton().show();
        STEP(5) hide();
        if (m_previousPage)
            m_previousPage->hide();
        STEP(6)
        StartRun(window, [archive = m_archivePath, options, progress = QPointer<frmProgress>(&window),
                          keep](RunContext& run) { runUpload(run, archive, options, progress, keep); });
    TRAP_END
}

void frmUploadMail::cmdCancel_Click() {
    TRAP_BEGIN("frmUploadMail:cmdCancel_Click")
        STEP(1) BackToPreviousPage(m_previousPage, QStringLiteral("frmUploadMail"));
    TRAP_END
}

void frmUploadMail::closedByUser() { cmdCancel_Click(); }

void OpenMailUpload(const QString& archivePath, QWidget* previousPage) {
    frmMain_Disabled();
    frmUploadMail& page =
        forms::get<frmUploadMail>(QStringLiteral("frmUploadMail"), archivePath, previousPage);
    ShowPage(page);
    if (previousPage && page.isVisible())
        previousPage->hide();
}

} // namespace stowline
