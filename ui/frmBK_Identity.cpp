#include "ui/frmBK_Identity.h"

#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "ui/modFont.h"
#include "foundation/modGlobal.h"
#include "platform/Dialogs.h"
#include "platform/Platform.h"
#include "ui/IdentityListModel.h"
#include "ui/Windows.h"
#include "ui/frmBK_Choice.h"

#include <QGroupBox>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>

namespace stowline {

namespace {

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

frmBK_Identity::frmBK_Identity(std::shared_ptr<BackupJob> job, QWidget* parent)
    : IdentityPage(job->identities, parent), m_job(std::move(job)) {
    connect(&model(), &IdentityListModel::checksChanged, this, &frmBK_Identity::lstIdentities_ItemCheck);
    connect(&nextButton(), &QPushButton::clicked, this, &frmBK_Identity::cmdNext_Click);
    connect(&backButton(), &QPushButton::clicked, this, &frmBK_Identity::cmdBack_Click);
}

void frmBK_Identity::Form_Load() {
    TRAP_BEGIN("frmBK_Identity:Form_Load")
        STEP(1) setLabel(title(), Str(txtBackupBackupWizard));
        STEP(2) frame().setTitle(Str(txtBackupIdentitiesFrame));
        STEP(3) frame().setAccessibleName(Str(txtBackupIdentitiesFrame));
        STEP(4) comment().setText(Str(txtFoundIdentities));
        STEP(5) comment().setAccessibleName(Str(txtFoundIdentities));
        STEP(6) list().setAccessibleName(Str(txtBackupIdentitiesFrame));
        STEP(7) setCaption(backButton(), Str(txtBackupBack));
        STEP(8) setCaption(nextButton(), Str(txtBackup));
        STEP(9) QFont font = list().font();
        STEP(10) SetProperFont(font);
        STEP(11) list().setFont(font);
        // A fresh page has no check marks, so no identity is chosen yet.
        STEP(13) m_job->identities.selectAll(false);
        STEP(18) model().reload();
        STEP(19) if (lineCount() > 0) list().setCurrentIndex(model().index(0));
    TRAP_END
}

void frmBK_Identity::Form_Activate() {
    TRAP_BEGIN("frmBK_Identity:Form_Activate")
        STEP(1) checkLoneLine();
        STEP(4) if (lineCount() == 0) {
            STEP(5) showCritical(txtNoStoreLocation);
            STEP(6) frmBK_Choice* choice = choicePage();
            STEP(7) if (choice) choice->enableItem(layout::ArchiveItem::Identities, false);
            STEP(8) if (!choice || !choice->anyItemEnabled()) {
                STEP(9) showCritical(txtBackupNoItems);
                STEP(10) frmMain_Enabled();
            }
        }
        STEP(11) list().setFocus();
    TRAP_END
}

void frmBK_Identity::lstIdentities_ItemCheck() {
    TRAP_BEGIN("frmBK_Identity:lstIdentities_ItemCheck")
        STEP(7) nextButton().setEnabled(m_job->identities.anySelected());
    TRAP_END
}

void frmBK_Identity::cmdNext_Click() {
    TRAP_BEGIN("frmBK_Identity:cmdNext_Click")
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
