#pragma once

#include "ui/IdentityPage.h"

#include <memory>

namespace stowline {

struct RestoreJob;

// The Restore Wizard's identity page: one checkable line per record of the archive's identity
// index (lstIdentities); a check mark is the identity's choice in the restore's catalog.
class frmRS_Identity : public IdentityPage {
    Q_OBJECT
public:
    explicit frmRS_Identity(std::shared_ptr<RestoreJob> job, QWidget* parent = nullptr);

    // Runs once the page is registered: reads the archive's identity index. A failed load has been
    // reported and the page never shows.
    bool Form_Load();
    // Every show activates the page.
    void setVisible(bool visible) override;

private slots:
    void lstIdentities_ItemCheck();
    void cmdNext_Click();
    void cmdBack_Click();

private:
    void Form_Activate();
    bool archiveRefused();
    bool readIdentityIndex();

    std::shared_ptr<RestoreJob> m_job;
    bool m_loadFailed = false;
};

} // namespace stowline
