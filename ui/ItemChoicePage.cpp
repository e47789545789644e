#include "ui/ItemChoicePage.h"

#include "foundation/Strings.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>

namespace stowline {

ItemChoicePage::ItemChoicePage(QWidget* parent) : WizardPage(QStringLiteral("frmItems"), parent) {
    m_chk = addItemBoxes();
    for (QCheckBox* box : m_chk)
        box->setEnabled(false);
    nextButton().setEnabled(false);
}

bool ItemChoicePage::itemChosen(layout::ArchiveItem item) const {
    return boxChosen(m_chk[static_cast<size_t>(item)]);
}

bool ItemChoicePage::anyItemEnabled() const { return anyBoxEnabled(m_chk); }

void ItemChoicePage::enableItem(layout::ArchiveItem item, bool enabled) {
    m_chk[static_cast<size_t>(item)]->setEnabled(enabled);
}

void ItemChoicePage::setCaptions(int frameId, const std::array<int, 3>& boxIds, int backId, int nextId) {
    frame().setTitle(Str(frameId));
    frame().setAccessibleName(Str(frameId));
    for (size_t i = 0; i < m_chk.size(); ++i) {
        m_chk[i]->setText(Str(boxIds[i]));
        m_chk[i]->setAccessibleName(plainCaption(m_chk[i]->text()));
    }
    setCaption(backButton(), Str(backId));
    setCaption(nextButton(), Str(nextId));
}

bool ItemChoicePage::anyItemChecked() const {
    for (const QCheckBox* box : m_chk)
        if (box->isChecked())
            return true;
    return false;
}

} // namespace stowline
