#include "ui/frmRS_Choice.h"

#include "archive/ArchiveLayout.h"
#include "archive/ZipComment.h"
#include "backup/modBKIEFCheck.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "platform/Platform.h"
#include "restore/modWizardRestore.h"
#include "ui/RunWorker.h"
#include "ui/Windows.h"
#include "ui/frmProgress.h"
#include "ui/frmRS_IEF.h"
#include "ui/frmRS_Identity.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace stowline {

namespace {

constexpr int txtRestoreWizard = 700;
constexpr int txtCheckItems = 701;
constexpr int txtIdentities = 702;
constexpr int txtFavorites = 703;
constexpr int txtAddressBook = 704;
constexpr int txtBack = 705;
constexpr int txtNext = 706;
constexpr int txtRestore = 707;
constexpr int txtNoItems = 708;
constexpr int txtErrorInArchive = 709;
constexpr int txtPleaseWait = 715;

} // namespace

frmRS_Choice::frmRS_Choice(std::shared_ptr<RestoreJob> job, QWidget* parent)
    : WizardPage(QStringLiteral("frmItems"), parent), m_job(std::move(job)) {
    m_chk = addItemBoxes();
    for (QCheckBox* box : m_chk) {
        box->setEnabled(false); // enabled only for the items found
        connect(box, &QCheckBox::toggled, this, &frmRS_Choice::chk_Click);
    }
    nextButton().setEnabled(false);
    connect(&nextButton(), &QPushButton::clicked, this, &frmRS_Choice::cmdNext_Click);
    connect(&backButton(), &QPushButton::clicked, this, &frmRS_Choice::cmdBack_Click);
}

bool frmRS_Choice::Form_Load() {
    bool restorable = false;
    TRAP_BEGIN("frmRS_Choice:Form_Load")
        STEP(1) title().setText(Str(txtRestoreWizard));
        STEP(2) frame().setTitle(Str(txtCheckItems));
        STEP(3) frame().setAccessibleName(Str(txtCheckItems));
        STEP(4) const int captions[] = {txtIdentities, txtFavorites, txtAddressBook};
        for (size_t i = 0; i < m_chk.size(); ++i) {
            STEP(5) m_chk[i]->setText(Str(captions[i]));
            STEP(6) m_chk[i]->setAccessibleName(plainCaption(m_chk[i]->text()));
        }
        STEP(7) setCaption(backButton(), Str(txtBack));
        STEP(8) setCaption(nextButton(), Str(txtNext));
        for (size_t k = 0; k < m_chk.size(); ++k) {
            STEP(9)
            if (layout::ItemPresent(m_job->archiveItems, layout::ArchiveItem(k)))
                m_chk[k]->setEnabled(true);
        }
        STEP(10) if (!IEF_Check()) m_chk[1]->setEnabled(false);
        STEP(11) if (!anyItemEnabled()) {
            STEP(12)
            platform::dialogs().messageBox(Str(txtNoItems), platform::MsgButtons::OK,
                                           platform::MsgIcon::Critical, Str(txtErrorInArchive));
            STEP(13) cmdBack_Click();
            return restorable;
        }
        STEP(14) nextButton().setEnabled(true);
        STEP(15) updateNextCaption();
        STEP(16) focusFirstEnabledBox();
        STEP(17) restorable = true;
    TRAP_END
    return restorable;
}

bool frmRS_Choice::itemChosen(int item) const { return boxChosen(m_chk[static_cast<size_t>(item)]); }

bool frmRS_Choice::anyItemEnabled() const { return anyBoxEnabled(m_chk); }

void frmRS_Choice::updateNextCaption() {
    setCaption(nextButton(), Str(identitiesChosen() || favoritesChosen() ? txtNext : txtRestore));
}

void frmRS_Choice::focusFirstEnabledBox() {
    for (QCheckBox* box : m_chk) {
        if (box->isEnabledTo(this)) {
            box->setFocus();
            return;
        }
    }
}

void frmRS_Choice::chk_Click() {
    TRAP_BEGIN("frmRS_Choice:chk_Click")
        // Check marks only: a disabled box stays checked and keeps Next enabled.
        bool anyChecked = false;
        for (const QCheckBox* box : m_chk)
            anyChecked = anyChecked || box->isChecked();
        STEP(1) nextButton().setEnabled(anyChecked);
        STEP(2) updateNextCaption();
    TRAP_END
}

void frmRS_Choice::cmdNext_Click() {
    TRAP_BEGIN("frmRS_Choice:cmdNext_Click")
        STEP(1) if (identitiesChosen()) {
            STEP(2) ShowPage(forms::get<frmRS_Identity>(QStringLiteral("frmRS_Identity"), m_job));
            STEP(3) hide();
        }
        else if (favoritesChosen()) {
            STEP(4) ShowPage(forms::get<frmRS_IEF>(QStringLiteral("frmRS_IEF")));
            STEP(5) hide();
        }
        else {
            STEP(6) StartRestoreRun(*this);
        }
    TRAP_END
}

void frmRS_Choice::cmdBack_Click() {
    TRAP_BEGIN("frmRS_Choice:cmdBack_Click")
        STEP(1) frmMain_Enabled();
    TRAP_END
}

frmRS_Choice* RestoreChoicePage() {
    return qobject_cast<frmRS_Choice*>(forms::find(QStringLiteral("frmRS_Choice")));
}

bool OpenRestoreWizard(const QString& path, const QString& missingText, int notArchiveId) {
    using platform::MsgButtons, platform::MsgIcon;
    if (!QFileInfo(path).isFile()) {
        platform::dialogs().messageBox(missingText, MsgButtons::OK, MsgIcon::Critical, AppTitle());
        return false;
    }
    auto job = std::make_shared<RestoreJob>();
    job->archivePath = path;
    job->archiveItems = ReadArchiveComment(path);
    if (!layout::IsBackupArchiveComment(job->archiveItems)) {
        platform::dialogs().messageBox(Str(notArchiveId), MsgButtons::OK, MsgIcon::Information, AppTitle());
        return false;
    }
    ShowPage(forms::get<frmRS_Choice>(QStringLiteral("frmRS_Choice"), std::move(job)));
    return true;
}

namespace {

// The choices of the pages, read once as the run starts.
void takeChoices(frmRS_Choice& first, RestoreJob& job) {
    job.chosenItems =
        layout::ItemFlags(first.identitiesChosen(), first.favoritesChosen(), first.addressBookChosen());
    const auto* favorites = qobject_cast<frmRS_IEF*>(forms::find(QStringLiteral("frmRS_IEF")));
    job.replaceFavorites = !favorites || favorites->replaceFavorites();
    if (!forms::find(QStringLiteral("frmRS_Identity")))
        job.identities.clear();
}

} // namespace

void StartRestoreRun(QWidget& currentPage) {
    frmProgress& window = ShowProgress();
    window.setFrameText(Str(txtPleaseWait));
    window.setTitle(Str(txtRestoreWizard));
    currentPage.hide();
    frmRS_Choice* first = RestoreChoicePage();
    if (!first)
        return;
    takeChoices(*first, first->job());
    StartRun(window, [job = first->job()](RunContext& run) { WizardRestore(job, run); });
}

} // namespace stowline
