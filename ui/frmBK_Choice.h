#pragma once

#include "archive/ArchiveLayout.h"
#include "backup/modWizardBackup.h"
#include "ui/WizardPage.h"

#include <array>
#include <memory>

class QCheckBox;

namespace stowline {

// The Backup Wizard's first page: which items to back up (chk0 identities, chk1 favorites,
// chk2 address book). A box is enabled when its item was found; boxes start checked.
class frmBK_Choice : public WizardPage {
    Q_OBJECT
public:
    explicit frmBK_Choice(std::shared_ptr<BackupJob> job, QWidget* parent = nullptr);

    // Captions and detection. When nothing can be backed up the user is told, the wizard ends and
    // the page never shows; the result is then false.
    bool Form_Load();

    bool itemChosen(layout::ArchiveItem item) const;
    bool anyItemEnabled() const;
    void disableItem(layout::ArchiveItem item);
    BackupJob& job() { return *m_job; }
    QCheckBox& box(int item) { return *m_chk[static_cast<size_t>(item)]; }

private slots:
    void chk_Click();
    void cmdNext_Click();
    void cmdBack_Click();

private:
    void updateNextButton();

    std::shared_ptr<BackupJob> m_job;
    std::array<QCheckBox*, 3> m_chk;
};

// Shows the progress window, hides the current page and runs the backup.
void StartBackupRun(QWidget& currentPage);

} // namespace stowline
