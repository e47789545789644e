#include "ui/IdentityPage.h"

#include "ui/IdentityListModel.h"

#include <QGroupBox>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>

namespace stowline {

IdentityPage::IdentityPage(IdentityCatalog& catalog, QWidget* parent)
    : WizardPage(QStringLiteral("frmIdentities"), parent), m_model(new IdentityListModel(catalog, this)),
      m_lblComment(new QLabel(&frame())), m_lstIdentities(new QListView(&frame())) {
    m_lblComment->setObjectName(QStringLiteral("lblComment"));
    m_lblComment->setWordWrap(true);
    m_lblComment->setTextFormat(Qt::PlainText); // restore pages name identities from the archive
    m_lblComment->setBuddy(m_lstIdentities);
    m_lstIdentities->setObjectName(QStringLiteral("lstIdentities"));
    m_lstIdentities->setModel(m_model);
    frameLayout().addWidget(m_lblComment);
    frameLayout().addWidget(m_lstIdentities, 1);
    nextButton().setEnabled(false);
    setTabOrder(m_lstIdentities, &backButton());
    setTabOrder(&backButton(), &nextButton());
}

int IdentityPage::lineCount() const { return m_model->rowCount(); }

void IdentityPage::checkLoneLine() {
    if (lineCount() != 1)
        return;
    m_model->setData(m_model->index(0), Qt::Checked, Qt::CheckStateRole);
    nextButton().setEnabled(true);
}

} // namespace stowline
