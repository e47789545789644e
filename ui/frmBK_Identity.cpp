#include "ui/frmBK_Identity.h"

#include "archive/frmInterface.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "foundation/modFont.h"
#include "foundation/modGlobal.h"
#include "platform/Platform.h"
#include "ui/frmBK_Choice.h"

#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace stowline {

namespace {

constexpr int txtBackupWizard = 600;
constexpr int txtBack = 605;
constexpr int txtBackup = 607;
constexpr int txtNoItems = 608;
constexpr int txtIdentitiesFrame = 610;
constexpr int txtFoundIdentities = 611;
constexpr int txtNoStoreLocation = 612;

frmBK_Choice* choicePage() {
    return dynamic_cast<frmBK_Choice*>(forms::find(QStringLiteral("frmBK_Choice")));
}

void showCritical(int textId) {
    platform::dialogs().messageBox(Str(textId), platform::MsgButtons::OK, platform::MsgIcon::Critical,
                                   AppTitle());
}

// Labels are named by their text for screen readers.
void setLabel(QLabel& label, const QString& text) {
    label.setText(text);
    label.setAccessibleName(text);
}

} // namespace

frmBK_Identity::frmBK_Identity(QWidget* parent)
    : WizardPage(QStringLiteral("frmIdentities"), parent), m_lblComment(new QLabel(&frame())),
      m_lstIdentities(new QListWidget(&frame())) {
    m_lblComment->setObjectName(QStringLiteral("lblComment"));
    m_lblComment->setWordWrap(true);
    m_lblComment->setBuddy(m_lstIdentities);
    m_lstIdentities->setObjectName(QStringLiteral("lstIdentities"));
    frameLayout().addWidget(m_lblComment);
    frameLayout().addWidget(m_lstIdentities, 1);
    nextButton().setEnabled(false);
    setTabOrder(m_lstIdentities, &backButton());
    setTabOrder(&backButton(), &nextButton());
    connect(m_lstIdentities, &QListWidget::itemChanged, this, &frmBK_Identity::lstIdentities_ItemCheck);
    connect(&nextButton(), &QPushButton::clicked, this, &frmBK_Identity::cmdNext_Click);
    connect(&backButton(), &QPushButton::clicked, this, &frmBK_Identity::cmdBack_Click);
}

void frmBK_Identity::Form_Load() {
    TRAP_BEGIN("frmBK_Identity:Form_Load")
        STEP(1) setLabel(title(), Str(txtBackupWizard));
        STEP(2) frame().setTitle(Str(txtIdentitiesFrame));
        STEP(3) frame().setAccessibleName(Str(txtIdentitiesFrame));
        STEP(4) m_lblComment->setText(Str(txtFoundIdentities));
        STEP(5) m_lblComment->setAccessibleName(Str(txtFoundIdentities));
        STEP(6) m_lstIdentities->setAccessibleName(Str(txtIdentitiesFrame));
        STEP(7) setCaption(backButton(), Str(txtBack));
        STEP(8) setCaption(nextButton(), Str(txtBackup));
        STEP(9) QFont font = m_lstIdentities->font();
        STEP(10) SetProperFont(font);
        STEP(11) m_lstIdentities->setFont(font);
        STEP(12) QListWidget& hidden = Interface().lstIdentities();
        // A fresh page has no check marks, so the hidden marks start cleared too and stay in step.
        STEP(13) hidden.clearSelection();
        for (int i = 0; i < hidden.count(); ++i) {
            STEP(14) auto* line = new QListWidgetItem(hidden.item(i)->text());
            STEP(15) line->setFlags(line->flags() | Qt::ItemIsUserCheckable);
            STEP(16) line->setCheckState(Qt::Unchecked);
            STEP(17) m_checked.append(false);
            STEP(18) m_lstIdentities->addItem(line);
        }
        STEP(19) if (m_lstIdentities->count() > 0) m_lstIdentities->setCurrentRow(0);
    TRAP_END
}

void frmBK_Identity::Form_Activate() {
    TRAP_BEGIN("frmBK_Identity:Form_Activate")
        STEP(1) if (m_lstIdentities->count() == 1) {
            STEP(2) m_lstIdentities->item(0)->setCheckState(Qt::Checked);
            STEP(3) nextButton().setEnabled(true);
        }
        STEP(4) if (m_lstIdentities->count() == 0) {
            STEP(5) showCritical(txtNoStoreLocation);
            STEP(6) frmBK_Choice* choice = choicePage();
            STEP(7) if (choice) choice->disableItem(ItemIdentities);
            STEP(8) if (!choice || !choice->anyItemEnabled()) {
                STEP(9) showCritical(txtNoItems);
                STEP(10) frmMain_Enabled();
            }
        }
        STEP(11) m_lstIdentities->setFocus();
    TRAP_END
}

void frmBK_Identity::lstIdentities_ItemCheck(QListWidgetItem* item) {
    TRAP_BEGIN("frmBK_Identity:lstIdentities_ItemCheck")
        STEP(1) const int i = m_lstIdentities->row(item);
        STEP(2) const bool checked = item->checkState() == Qt::Checked;
        STEP(3) if (i < 0 || i >= m_checked.size() || m_checked[i] == checked) return;
        STEP(4) m_checked[i] = checked;
        STEP(5) QListWidgetItem* mark = Interface().lstIdentities().item(i);
        STEP(6) if (mark) mark->setSelected(!mark->isSelected());
        STEP(7) nextButton().setEnabled(anyLineChecked());
    TRAP_END
}

bool frmBK_Identity::anyLineChecked() const { return m_checked.contains(true); }

void frmBK_Identity::cmdNext_Click() {
    TRAP_BEGIN("frmBK_Identity:cmdNext_Click")
        STEP(1) QListWidget& hidden = Interface().lstIdentities();
        for (int i = 0; i < m_lstIdentities->count(); ++i) {
            STEP(2)
            if (m_lstIdentities->item(i)->checkState() == Qt::Checked && hidden.item(i))
                hidden.item(i)->setSelected(true);
        }
        STEP(3) StartBackupRun(*this);
    TRAP_END
}

void frmBK_Identity::cmdBack_Click() {
    TRAP_BEGIN("frmBK_Identity:cmdBack_Click")
        STEP(1) if (frmBK_Choice* choice = choicePage()) ShowPage(*choice);
        STEP(2) forms::unload(QStringLiteral("frmBK_Identity"));
    TRAP_END
}

} // namespace stowline
