#pragma once

#include "mail/MailExport.h"
#include "ui/WizardPage.h"

#include <QPointer>

class QLabel;
class QLineEdit;
class QListWidget;
class QRadioButton;

namespace stowline {

// Export mail: the identities (lstIdentities, checkable), the folder (txtFolder, cmdBrowse) and the
// format (optMbox, optMaildir, optEml). Export runs it with the progress window and ends in a summary;
// Cancel goes back to the window it was opened from.
class frmExportMail : public WizardPage {
    Q_OBJECT
public:
    // An empty archivePath exports the identities of the registry the program works on.
    frmExportMail(QString archivePath, QWidget* previousPage, QWidget* parent = nullptr);
    // False when there is nothing to export: the user was told and the page is gone.
    bool Form_Load();

    QListWidget& identities() { return *m_lstIdentities; }

private slots:
    void cmdBrowse_Click();
    void cmdExport_Click();
    void cmdCancel_Click();
    void updateExportButton();

private:
    void closedByUser() override;
    QWidget* buildFolderRow();
    QWidget* buildFormatGroup();
    mail::MailFormat chosenFormat() const;
    QStringList chosenIdentityIds() const;
    bool folderFree(const QString& folder);

    QString m_archivePath;
    QPointer<QWidget> m_previousPage;
    QList<mail::MailIdentity> m_identities;
    QLabel* m_lblComment;
    QListWidget* m_lstIdentities;
    QLabel* m_lblFolder;
    QLineEdit* m_txtFolder;
    QPushButton* m_cmdBrowse;
    QRadioButton* m_optMbox;
    QRadioButton* m_optMaildir;
    QRadioButton* m_optEml;
};

// Opens the export on an archive (empty: the registry's identities), over the window it came from.
void OpenMailExport(const QString& archivePath, QWidget* previousPage);

// What an export did, as the summary shows it.
QStringList ExportSummary(const mail::MailExportResult& result, const QString& folder);

} // namespace stowline
