#include "ui/frmBK_Choice.h"

#include "archive/ArchivePassphrase.h"
#include "backup/modBKIEFCheck.h"
#include "backup/modBKIdentityCheck.h"
#include "backup/modBKWABCheck.h"
#include "backup/modWizardBackup.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "platform/Dialogs.h"
#include "platform/Platform.h"
#include "ui/ArchiveEncryptionSetup.h"
#include "ui/RunWorker.h"
#include "ui/Windows.h"
#include "ui/WizardPage.h"
#include "ui/frmBK_Identity.h"
#include "ui/frmProgress.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace stowline {

namespace {

const QString pageName = QStringLiteral("frmBK_Choice");

// Labels are named by their text for screen readers.
void setLabel(QLabel& label, const QString& text) {
    label.setText(text);
    label.setAccessibleName(text);
}

} // namespace

using layout::ArchiveItem;

frmBK_Choice::frmBK_Choice(std::shared_ptr<BackupJob> job, QWidget* parent)
    : ItemChoicePage(parent), m_job(std::move(job)) {
    m_chkEncrypt = new QCheckBox(this);
    m_chkEncrypt->setObjectName(QStringLiteral("chkEncrypt"));
    frameLayout().addWidget(m_chkEncrypt);
    for (QCheckBox* box : boxes())
        connect(box, &QCheckBox::toggled, this, &frmBK_Choice::chk_Click);
    connect(&nextButton(), &QPushButton::clicked, this, &frmBK_Choice::cmdNext_Click);
    connect(&backButton(), &QPushButton::clicked, this, &frmBK_Choice::cmdBack_Click);
}

bool frmBK_Choice::Form_Load() {
    bool found = false;
    TRAP_BEGIN("frmBK_Choice:Form_Load")
        STEP(1) setLabel(title(), Str(txtBackupBackupWizard));
        STEP(2)
        setCaptions(txtBackupCheckItems, {txtBackupIdentities, txtBackupFavorites, txtBackupAddressBook},
                    txtBackupBack, txtBackupNext);
        m_chkEncrypt->setText(Str(txtEncryptArchive));
        m_chkEncrypt->setAccessibleName(plainCaption(m_chkEncrypt->text()));
        m_chkEncrypt->setChecked(EncryptSetting());
        STEP(9) if (Identity_Check(m_job->identities)) enableItem(ArchiveItem::Identities, true);
        STEP(10) if (IEF_Check()) enableItem(ArchiveItem::Favorites, true);
        STEP(11) if (WAB_Check()) enableItem(ArchiveItem::AddressBook, true);
        STEP(12) if (!anyItemEnabled()) {
            STEP(13)
            platform::dialogs().messageBox(Str(txtBackupNoItems), platform::MsgButtons::OK,
                                           platform::MsgIcon::Critical, Str(txtBackupErrorTitle));
            STEP(14) frmMain_Enabled();
            STEP(15) return found;
        }
        STEP(16) nextButton().setEnabled(true);
        STEP(17) updateNextButton();
        STEP(18) found = true;
    TRAP_END
    return found;
}

bool frmBK_Choice::encryptChosen() const { return m_chkEncrypt->isChecked(); }

void frmBK_Choice::updateNextButton() {
    setCaption(nextButton(), Str(itemChosen(ArchiveItem::Identities) ? txtBackupNext : txtBackup));
}

void frmBK_Choice::chk_Click() {
    TRAP_BEGIN("frmBK_Choice:chk_Click")
        STEP(1) nextButton().setEnabled(anyItemChecked());
        STEP(2) updateNextButton();
    TRAP_END
}

void frmBK_Choice::cmdNext_Click() {
    TRAP_BEGIN("frmBK_Choice:cmdNext_Click")
        STEP(1) if (itemChosen(ArchiveItem::Identities)) {
            STEP(2)
            frmBK_Identity& identities = forms::get<frmBK_Identity>(QStringLiteral("frmBK_Identity"), m_job);
            STEP(3) ShowPage(identities);
            STEP(4) hide();
            STEP(5) identities.Form_Activate();
        }
        else {
            STEP(6) StartBackupRun(*this);
        }
    TRAP_END
}

void frmBK_Choice::cmdBack_Click() {
    TRAP_BEGIN("frmBK_Choice:cmdBack_Click")
        STEP(1) frmMain_Enabled();
    TRAP_END
}

void StartBackupRun(QWidget& currentPage) {
    auto* choice = dynamic_cast<frmBK_Choice*>(forms::find(pageName));
    if (!choice)
        return;
    BackupJob& job = choice->job();
    // An archive that is to be encrypted is not written at all without its passphrase.
    job.passphrase = choice->encryptChosen() ? PassphraseForBackup() : QByteArray();
    if (choice->encryptChosen() && job.passphrase.isEmpty())
        return;
    frmProgress& window = ShowProgress();
    currentPage.hide();
    job.items = layout::ItemFlags(choice->itemChosen(ArchiveItem::Identities),
                                  choice->itemChosen(ArchiveItem::Favorites),
                                  choice->itemChosen(ArchiveItem::AddressBook));
    // The run works on a copy: the pages keep theirs.
    StartRun(window, [job](RunContext& run) { WizardBackup(job, run); });
}

} // namespace stowline
