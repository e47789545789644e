#pragma once

#include "restore/RestoreChoices.h"
#include "ui/WizardPage.h"

class QLabel;
class QListWidget;
class QListWidgetItem;

namespace stowline {

// The Restore Wizard's identity page: one checkable line per record of the archive's identity
// index (lstIdentities), the IDs in the hidden list lst1 at the same positions.
class frmRS_Identity : public WizardPage, public IdentitiesChoice {
    Q_OBJECT
public:
    explicit frmRS_Identity(QWidget* parent = nullptr);

    // Runs once the page is registered: reads the archive's identity index. A failed load has been
    // reported and the page never shows.
    bool Form_Load();
    // Every show activates the page.
    void setVisible(bool visible) override;

    int identityCount() const override;
    QString identityName(int index) const override;
    QString identityId(int index) const override;
    bool identityChecked(int index) const override;
    QListWidget& list() { return *m_lstIdentities; }

private slots:
    void lstIdentities_ItemCheck(QListWidgetItem* item);
    void cmdNext_Click();
    void cmdBack_Click();

private:
    void Form_Activate();
    bool archiveRefused();
    bool readIdentityIndex();
    bool anyLineChecked() const;

    QLabel* m_lblComment;
    QListWidget* m_lstIdentities;
    QListWidget* m_lst1;
    bool m_loadFailed = false;
};

} // namespace stowline
