#pragma once

#include "ui/IdentityPage.h"

#include <memory>

namespace stowline {

struct BackupJob;

// The Backup Wizard's identity page: one checkable line per identity found; a check mark is the
// identity's choice in the backup's catalog.
class frmBK_Identity : public IdentityPage {
    Q_OBJECT
public:
    explicit frmBK_Identity(std::shared_ptr<BackupJob> job, QWidget* parent = nullptr);

    // Captions and one unchecked line per identity of the catalog.
    void Form_Load();
    // Run each time the page is brought forward.
    void Form_Activate();

private slots:
    void lstIdentities_ItemCheck();
    void cmdNext_Click();
    void cmdBack_Click();

private:
    std::shared_ptr<BackupJob> m_job;
};

} // namespace stowline
