#pragma once

#include "backup/modWizardBackup.h"
#include "ui/ItemChoicePage.h"

#include <memory>

namespace stowline {

// The Backup Wizard's first page: which items to back up (chk0 identities, chk1 favorites,
// chk2 address book). A box is enabled when its item was found; boxes start checked. chkEncrypt
// encrypts the archive.
class frmBK_Choice : public ItemChoicePage {
    Q_OBJECT
public:
    explicit frmBK_Choice(std::shared_ptr<BackupJob> job, QWidget* parent = nullptr);

    // Captions and detection. When nothing can be backed up the user is told, the wizard ends and
    // the page never shows; the result is then false.
    bool Form_Load();

    BackupJob& job() { return *m_job; }
    bool encryptChosen() const;

private slots:
    void chk_Click();
    void cmdNext_Click();
    void cmdBack_Click();

private:
    void updateNextButton();

    std::shared_ptr<BackupJob> m_job;
    QCheckBox* m_chkEncrypt; // "Encrypt the archive", from the Encrypt setting
};

// Shows the progress window, hides the current page and runs the backup.
void StartBackupRun(QWidget& currentPage);

} // namespace stowline
