#pragma once

#include "mail/MailUpload.h"
#include "ui/WizardPage.h"

#include <QPointer>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;

namespace stowline {

// Upload mail to an account: server (txtServer, "host" or "host:port"), user (txtUser), password
// (txtPassword, chkRemember keeps it in the keyring), target folder (txtFolder), a CA file for servers
// the system does not trust (txtCaFile) and the identities (lstIdentities). Upload runs it in the
// progress window, Cancel there stops it resumably; the summary says what was uploaded, already there
// and refused.
class frmUploadMail : public WizardPage {
    Q_OBJECT
public:
    // An empty archivePath uploads the identities of the registry the program works on.
    frmUploadMail(QString archivePath, QWidget* previousPage, QWidget* parent = nullptr);
    // False when there is nothing to upload: the user was told and the page is gone.
    bool Form_Load();
    // The account as typed; nothing (and a reason) when the server field is not one.
    std::optional<mail::ImapAccount> typedAccount(QString* problem) const;

private slots:
    void cmdUpload_Click();
    void cmdCancel_Click();
    void updateUploadButton();

private:
    void closedByUser() override;
    QWidget* buildAccountRows();
    QStringList chosenIdentityIds() const;
    std::optional<QByteArray> password(const mail::ImapAccount& account);

    QString m_archivePath;
    QPointer<QWidget> m_previousPage;
    QList<mail::MailIdentity> m_identities;
    QLabel* m_lblComment;
    QListWidget* m_lstIdentities;
    QLineEdit* m_txtServer;
    QLineEdit* m_txtUser;
    QLineEdit* m_txtPassword;
    QCheckBox* m_chkRemember;
    QLineEdit* m_txtFolder;
    QLineEdit* m_txtCaFile;
};

// Opens the upload on an archive (empty: the registry's identities), over the window it came from.
void OpenMailUpload(const QString& archivePath, QWidget* previousPage);

// What an upload did, as the summary shows it.
QStringList UploadSummary(const mail::MailUploadResult& result, const QString& account);

} // namespace stowline
