#pragma once

#include "backup/BackupChoice.h"
#include "ui/WizardPage.h"

#include <array>

class QCheckBox;

namespace stowline {

// The Backup Wizard's first page: which items to back up (chk0 identities, chk1 favorites,
// chk2 address book). A box is enabled when its item was found; boxes start checked.
class frmBK_Choice : public WizardPage, public BackupChoice {
    Q_OBJECT
public:
    explicit frmBK_Choice(QWidget* parent = nullptr);

    // Captions and detection. When nothing can be backed up the user is told, the wizard ends and
    // the page never shows; the result is then false.
    bool Form_Load();

    bool itemChosen(int item) const override;
    bool anyItemEnabled() const;
    void disableItem(int item);
    QCheckBox& box(int item) { return *m_chk[static_cast<size_t>(item)]; }

private slots:
    void chk_Click();
    void cmdNext_Click();
    void cmdBack_Click();

private:
    void updateNextButton();

    std::array<QCheckBox*, 3> m_chk;
};

// Shows the progress window, hides the current page and runs the backup.
void StartBackupRun(QWidget& currentPage);

} // namespace stowline
