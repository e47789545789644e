#pragma once

#include "ui/WizardPage.h"

#include <QList>

class QLabel;
class QListWidget;
class QListWidgetItem;

namespace stowline {

// The Backup Wizard's identity page: one checkable line per identity found; line i stands for
// entry i of the hidden identity lists, whose selected marks follow the check marks.
class frmBK_Identity : public WizardPage {
    Q_OBJECT
public:
    explicit frmBK_Identity(QWidget* parent = nullptr);

    // Captions and one unchecked line per identity of the hidden list.
    void Form_Load();
    // Run each time the page is brought forward.
    void Form_Activate();
    QListWidget& list() { return *m_lstIdentities; }

private slots:
    void lstIdentities_ItemCheck(QListWidgetItem* item);
    void cmdNext_Click();
    void cmdBack_Click();

private:
    bool anyLineChecked() const;

    QLabel* m_lblComment;
    QListWidget* m_lstIdentities;
    QList<bool> m_checked; // the check marks as last seen, to tell check changes from other edits
};

} // namespace stowline
