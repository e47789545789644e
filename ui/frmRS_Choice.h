#pragma once

#include "restore/modWizardRestore.h"
#include "ui/WizardPage.h"

#include <array>
#include <memory>

class QCheckBox;

namespace stowline {

// The Restore Wizard's first page: which items of the archive to restore (chk0 identities, chk1
// favorites, chk2 address book). A box is enabled when the archive holds its item; boxes start
// checked.
class frmRS_Choice : public WizardPage {
    Q_OBJECT
public:
    explicit frmRS_Choice(std::shared_ptr<RestoreJob> job, QWidget* parent = nullptr);

    // Runs once the page is registered. When the archive holds nothing restorable the user is told,
    // the wizard ends and the page never shows.
    bool Form_Load();

    bool identitiesChosen() const { return itemChosen(0); }
    bool favoritesChosen() const { return itemChosen(1); }
    bool addressBookChosen() const { return itemChosen(2); }
    bool itemChosen(int item) const;
    QCheckBox& box(int item) { return *m_chk[static_cast<size_t>(item)]; }
    RestoreJob& job() { return *m_job; }

private slots:
    void chk_Click();
    void cmdNext_Click();
    void cmdBack_Click();

private:
    bool anyItemEnabled() const;
    void updateNextCaption();
    void focusFirstEnabledBox();

    std::shared_ptr<RestoreJob> m_job;
    std::array<QCheckBox*, 3> m_chk;
};

// Opens the Restore Wizard on the archive at path. A missing file is reported with missingText, a
// file that is no backup archive with the text notArchiveId; the result is then false.
bool OpenRestoreWizard(const QString& path, const QString& missingText, int notArchiveId);

// The first page as loaded, or nullptr.
frmRS_Choice* RestoreChoicePage();

// Shows the progress window, hides the current page and runs the restore.
void StartRestoreRun(QWidget& currentPage);

} // namespace stowline
