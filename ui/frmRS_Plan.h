#pragma once

#include "restore/RestorePlan.h"
#include "ui/WizardPage.h"

#include <QPointer>

class QListWidget;

namespace stowline {

// The Restore Wizard's last page: what the restore will do, before anything is written. Back
// returns to the page it came from; Restore starts the run.
class frmRS_Plan : public WizardPage {
    Q_OBJECT
public:
    explicit frmRS_Plan(QWidget* parent = nullptr);
    void Form_Load();

    // Lists the plan's lines, and keeps the plan for the run; Back shows previousPage again.
    void showPlan(RestorePlan plan, QWidget& previousPage);
    QListWidget& list() { return *m_lstPlan; }

private slots:
    void cmdNext_Click();
    void cmdBack_Click();

private:
    QListWidget* m_lstPlan;
    RestorePlan m_plan;
    QPointer<QWidget> m_previousPage;
};

} // namespace stowline
