#pragma once

#include "restore/modWizardRestore.h"
#include "ui/ItemChoicePage.h"

#include <future>
#include <memory>

class QPushButton;

namespace stowline {

struct RestorePlan;

// The Restore Wizard's first page: which items of the archive to restore (chk0 identities, chk1
// favorites, chk2 address book). A box is enabled when the archive holds its item; boxes start
// checked.
class frmRS_Choice : public ItemChoicePage {
    Q_OBJECT
public:
    explicit frmRS_Choice(std::shared_ptr<RestoreJob> job, QWidget* parent = nullptr);

    // Runs once the page is registered. When the archive holds nothing restorable the user is told,
    // the wizard ends and the page never shows.
    bool Form_Load();

    bool identitiesChosen() const { return itemChosen(layout::ArchiveItem::Identities); }
    bool favoritesChosen() const { return itemChosen(layout::ArchiveItem::Favorites); }
    bool addressBookChosen() const { return itemChosen(layout::ArchiveItem::AddressBook); }
    RestoreJob& job() { return *m_job; }
    // Whether every item's member of the archive reads back whole; read while the person chooses.
    bool itemsSound() { return m_itemsSound.get(); }

private slots:
    void chk_Click();
    void cmdNext_Click();
    void cmdBack_Click();

private:
    void updateNextCaption();
    void focusFirstEnabledBox();
    void addMailButtons();

    std::shared_ptr<RestoreJob> m_job;
    std::shared_future<bool> m_itemsSound;
    QPushButton* m_cmdExportMail;    // the archive's mail to open formats
    QPushButton* m_cmdUploadMail;    // the archive's mail to an IMAP account
    QPushButton* m_cmdBrowseArchive; // the archive's mail, read in place
};

// True when the file at path is a backup archive. A missing file is reported with missingText, a
// file that is no backup archive with the text notArchiveId.
bool CheckArchiveChosen(const QString& path, const QString& missingText, int notArchiveId);

// Opens the Restore Wizard on the archive at path. A missing file is reported with missingText, a
// file that is no backup archive with the text notArchiveId; the result is then false.
bool OpenRestoreWizard(const QString& path, const QString& missingText, int notArchiveId);

// The first page as loaded, or nullptr.
frmRS_Choice* RestoreChoicePage();

// An encrypted archive is unlocked once, before anything is read from it: with a passphrase this
// process knows (the keyring's, the key file's) or, failing those, one the person types. False when
// the person gave up; nothing has been read or written then.
bool UnlockArchive(const QString& path);

// Takes the pages' choices and shows the restore plan in place of the current page.
void StartRestoreRun(QWidget& currentPage);
// Shows the progress window, hides the current page and carries out the plan it showed.
void RunRestoreNow(QWidget& currentPage, const RestorePlan& plan);

} // namespace stowline
