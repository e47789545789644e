#pragma once

#include "ui/WizardPage.h"

class QRadioButton;

namespace stowline {

// The Restore Wizard's favorites page: replace the current favorites (preselected) or add to them.
class frmRS_IEF : public WizardPage {
    Q_OBJECT
public:
    explicit frmRS_IEF(QWidget* parent = nullptr);
    void Form_Load();

    bool replaceFavorites() const;
    QRadioButton& replaceOption() { return *m_optReplace; }
    QRadioButton& addOption() { return *m_optAdd; }

private slots:
    void optAdd_Click();
    void optReplace_Click();
    void cmdNext_Click();
    void cmdBack_Click();

private:
    QRadioButton* m_optReplace;
    QRadioButton* m_optAdd;
};

} // namespace stowline
