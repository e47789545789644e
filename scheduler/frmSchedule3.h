#pragma once

#include "ui/WizardPage.h"

#include <array>

class QCheckBox;

namespace stowline {

// Schedule Backup Wizard, page 3: the items to back up (chk0 identities, chk1 favorites, chk2 address
// book, "Items") and chkEncrypt ("Encrypt"). Next asks for the archive name and stores the schedule's
// values; an encrypted schedule gets a passphrase it can find unattended first.
class frmSchedule3 : public WizardPage {
    Q_OBJECT
public:
    explicit frmSchedule3(QWidget* parent = nullptr);
    void Form_Load();

    QCheckBox& box(int item) { return *m_chk[static_cast<size_t>(item)]; }
    // "1" for a checked box, "0" for a clear one, in box order.
    QString itemFlags() const;

protected:
    void closedByUser() override;
    void closeEvent(QCloseEvent* event) override;

private slots:
    void chk_Click();
    void cmdNext_Click();
    void cmdBack_Click();

private:
    void loadItems();

    std::array<QCheckBox*, 3> m_chk;
    QCheckBox* m_chkEncrypt;
};

} // namespace stowline
