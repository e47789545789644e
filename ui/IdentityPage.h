#pragma once

#include "ui/WizardPage.h"

class QLabel;
class QListView;

namespace stowline {

class IdentityCatalog;
class IdentityListModel;

// What the two identity pages share: a comment line (lblComment) over the identities of a catalog
// (lstIdentities), each line's check mark being that identity's choice, and Back and Next.
class IdentityPage : public WizardPage {
    Q_OBJECT
public:
    QListView& list() { return *m_lstIdentities; }

protected:
    IdentityPage(IdentityCatalog& catalog, QWidget* parent);

    QLabel& comment() { return *m_lblComment; }
    IdentityListModel& model() { return *m_model; }
    int lineCount() const;
    // A lone identity comes checked, and Next enabled with it.
    void checkLoneLine();

private:
    IdentityListModel* m_model;
    QLabel* m_lblComment;
    QListView* m_lstIdentities;
};

} // namespace stowline
