#pragma once

#include "archive/ArchiveLayout.h"
#include "ui/WizardPage.h"

#include <array>

class QCheckBox;

namespace stowline {

// What the two wizards' first pages share: the item boxes chk0..chk2 (identities, favorites,
// address book), checked from the start and enabled only for the items there are, and Back and Next.
class ItemChoicePage : public WizardPage {
    Q_OBJECT
public:
    // An item counts as chosen only when its box is enabled and checked.
    bool itemChosen(layout::ArchiveItem item) const;
    bool anyItemEnabled() const;
    void enableItem(layout::ArchiveItem item, bool enabled);
    QCheckBox& box(int item) { return *m_chk[static_cast<size_t>(item)]; }

protected:
    explicit ItemChoicePage(QWidget* parent);

    // The frame's, the boxes' and the buttons' captions, by string-table number.
    void setCaptions(int frameId, const std::array<int, 3>& boxIds, int backId, int nextId);
    // Check marks only: a disabled box that stays checked counts.
    bool anyItemChecked() const;
    const std::array<QCheckBox*, 3>& boxes() const { return m_chk; }

private:
    std::array<QCheckBox*, 3> m_chk;
};

} // namespace stowline
