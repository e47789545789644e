#pragma once

#include "ui/WizardPage.h"

#include <memory>

class QLabel;
class QListView;

namespace stowline {

struct BackupJob;
class IdentityListModel;

// The Backup Wizard's identity page: one checkable line per identity found; a check mark is the
// identity's choice in the backup's catalog.
class frmBK_Identity : public WizardPage {
    Q_OBJECT
public:
    explicit frmBK_Identity(std::shared_ptr<BackupJob> job, QWidget* parent = nullptr);

    // Captions and one unchecked line per identity of the catalog.
    void Form_Load();
    // Run each time the page is brought forward.
    void Form_Activate();
    QListView& list() { return *m_lstIdentities; }

private slots:
    void lstIdentities_ItemCheck();
    void cmdNext_Click();
    void cmdBack_Click();

private:
    std::shared_ptr<BackupJob> m_job;
    IdentityListModel* m_model;
    QLabel* m_lblComment;
    QListView* m_lstIdentities;
};

} // namespace stowline
