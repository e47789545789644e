#include "ui/frmRS_Choice.h"

#include "archive/ArchiveLayout.h"
#include "archive/ArchivePassphrase.h"
#include "archive/ZipComment.h"
#include "archive/ZipDecrypt.h"
#include "backup/modBKIEFCheck.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "platform/Dialogs.h"
#include "platform/Platform.h"
#include "restore/RestorePlan.h"
#include "restore/RestoreUndo.h"
#include "restore/modWizardRestore.h"
#include "ui/RunWorker.h"
#include "ui/Windows.h"
#include "ui/frmExportMail.h"
#include "ui/frmMailBrowser.h"
#include "ui/frmProgress.h"
#include "ui/frmRS_IEF.h"
#include "ui/frmRS_Identity.h"
#include "ui/frmRS_Plan.h"
#include "ui/frmUploadMail.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace stowline {

frmRS_Choice::frmRS_Choice(std::shared_ptr<RestoreJob> job, QWidget* parent)
    : ItemChoicePage(parent), m_job(std::move(job)),
      // Reading a big archive whole takes about half as long as restoring it: done meanwhile.
      m_itemsSound(std::async(std::launch::async, ItemMembersSound, m_job->archivePath).share()),
      m_cmdExportMail(new QPushButton(&frame())), m_cmdUploadMail(new QPushButton(&frame())),
      m_cmdBrowseArchive(new QPushButton(&frame())) {
    for (QCheckBox* box : boxes())
        connect(box, &QCheckBox::toggled, this, &frmRS_Choice::chk_Click);
    connect(&nextButton(), &QPushButton::clicked, this, &frmRS_Choice::cmdNext_Click);
    connect(&backButton(), &QPushButton::clicked, this, &frmRS_Choice::cmdBack_Click);
    addMailButtons();
}

// The archive's mail can be read or exported without restoring it.
void frmRS_Choice::addMailButtons() {
    auto* row = new QHBoxLayout;
    for (QPushButton* button : {m_cmdExportMail, m_cmdUploadMail, m_cmdBrowseArchive})
        row->addWidget(button);
    row->addStretch();
    frameLayout().addLayout(row);
    m_cmdExportMail->setObjectName(QStringLiteral("cmdExportMail"));
    m_cmdUploadMail->setObjectName(QStringLiteral("cmdUploadMail"));
    m_cmdBrowseArchive->setObjectName(QStringLiteral("cmdBrowseArchive"));
    setTabOrder(&box(2), m_cmdExportMail);
    setTabOrder(m_cmdExportMail, m_cmdUploadMail);
    setTabOrder(m_cmdUploadMail, m_cmdBrowseArchive);
    setTabOrder(m_cmdBrowseArchive, &backButton());
    connect(m_cmdExportMail, &QPushButton::clicked, this,
            [this] { OpenMailExport(m_job->archivePath, this); });
    connect(m_cmdUploadMail, &QPushButton::clicked, this,
            [this] { OpenMailUpload(m_job->archivePath, this); });
    connect(m_cmdBrowseArchive, &QPushButton::clicked, this, [this] { BrowseArchive(m_job->archivePath); });
}

bool frmRS_Choice::Form_Load() {
    bool restorable = false;
    TRAP_BEGIN("frmRS_Choice:Form_Load")
        STEP(1) title().setText(Str(txtRestoreWizard));
        STEP(2)
        setCaptions(txtRestoreCheckItems, {txtRestoreIdentities, txtRestoreFavorites, txtRestoreAddressBook},
                    txtRestoreBack, txtRestoreNext);
        for (const layout::ArchiveItem item :
             {layout::ArchiveItem::Identities, layout::ArchiveItem::Favorites,
              layout::ArchiveItem::AddressBook}) {
            STEP(9) if (layout::ItemPresent(m_job->archiveItems, item)) enableItem(item, true);
        }
        STEP(10) if (!IEF_Check()) enableItem(layout::ArchiveItem::Favorites, false);
        STEP(11) if (!anyItemEnabled()) {
            STEP(12)
            platform::dialogs().messageBox(Str(txtRestoreNoItems), platform::MsgButtons::OK,
                                           platform::MsgIcon::Critical, Str(txtErrorInArchive));
            STEP(13) cmdBack_Click();
            return restorable;
        }
        STEP(14) nextButton().setEnabled(true);
        setCaption(*m_cmdExportMail, Str(txtExportMailButton));
        setCaption(*m_cmdUploadMail, Str(txtUploadMailButton));
        setCaption(*m_cmdBrowseArchive, Str(txtBrowseArchiveButton));
        for (QPushButton* button : {m_cmdExportMail, m_cmdUploadMail, m_cmdBrowseArchive})
            button->setEnabled(layout::ItemPresent(m_job->archiveItems, layout::ArchiveItem::Identities));
        STEP(15) updateNextCaption();
        STEP(16) focusFirstEnabledBox();
        STEP(17) restorable = true;
    TRAP_END
    return restorable;
}

void frmRS_Choice::updateNextCaption() {
    setCaption(nextButton(), Str(identitiesChosen() || favoritesChosen() ? txtRestoreNext : txtRestore));
}

void frmRS_Choice::focusFirstEnabledBox() {
    for (QCheckBox* box : boxes()) {
        if (box->isEnabledTo(this)) {
            box->setFocus();
            return;
        }
    }
}

void frmRS_Choice::chk_Click() {
    TRAP_BEGIN("frmRS_Choice:chk_Click")
        // Check marks only: a disabled box stays checked and keeps Next enabled.
        STEP(1) nextButton().setEnabled(anyItemChecked());
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

bool CheckArchiveChosen(const QString& path, const QString& missingText, int notArchiveId) {
    using platform::MsgButtons, platform::MsgIcon;
    if (!QFileInfo(path).isFile()) {
        platform::dialogs().messageBox(missingText, MsgButtons::OK, MsgIcon::Critical, AppTitle());
        return false;
    }
    if (!layout::IsBackupArchiveComment(ReadArchiveComment(path))) {
        platform::dialogs().messageBox(Str(notArchiveId), MsgButtons::OK, MsgIcon::Information, AppTitle());
        return false;
    }
    return true;
}

// A restore or undo cut short is finished before anything new is restored; unattended, nobody
// says yes, and the restore is refused.
bool NothingLeftHalfRestored() {
    using platform::MsgButtons, platform::MsgIcon;
    const QString unfinished = UnfinishedJournal();
    if (unfinished.isEmpty())
        return true;
    platform::Dialogs& ask = platform::dialogs();
    if (ask.messageBox(unfinished + QStringLiteral("\r\r") + Str(txtFinishPuttingBack), MsgButtons::YesNo,
                       MsgIcon::Exclamation, Str(txtUndoRestore)) != platform::MsgAnswer::Yes) {
        ask.messageBox(Str(txtPutBackFirst) + QStringLiteral("\r\r") + unfinished, MsgButtons::OK,
                       MsgIcon::Exclamation, Str(txtUndoRestore));
        return false;
    }
    const UndoOutcome outcome = UndoLastRestore();
    ask.messageBox(outcome.summary(), MsgButtons::OK,
                   outcome.failure.isEmpty() ? MsgIcon::Information : MsgIcon::Critical, Str(txtUndoRestore));
    return outcome.failure.isEmpty();
}

bool UnlockArchive(const QString& path) {
    using platform::MsgButtons, platform::MsgIcon;
    if (TryArchivePassphrase(path, {}) != PassphraseFit::Wrong)
        return true; // not encrypted, or unreadable: the wizard's own checks say so
    const QByteArray unattended = FindUnattendedPassphrase(std::chrono::seconds(2)).passphrase;
    if (!unattended.isEmpty() && TryArchivePassphrase(path, unattended) == PassphraseFit::Fits) {
        AddArchivePassphrase(unattended);
        return true;
    }
    for (;;) {
        const QByteArray typed =
            platform::dialogs().secretBox(Str(txtAskPassphrase) + u' ' + path, AppTitle()).toUtf8();
        if (typed.isEmpty())
            return false;
        if (TryArchivePassphrase(path, typed) == PassphraseFit::Fits) {
            AddArchivePassphrase(typed);
            return true;
        }
        platform::dialogs().messageBox(path + u' ' + Str(txtWrongPassphrase), MsgButtons::OK,
                                       MsgIcon::Exclamation, AppTitle());
    }
}

bool OpenRestoreWizard(const QString& path, const QString& missingText, int notArchiveId) {
    if (!CheckArchiveChosen(path, missingText, notArchiveId) || !NothingLeftHalfRestored() ||
        !UnlockArchive(path))
        return false;
    auto job = std::make_shared<RestoreJob>();
    job->archivePath = path;
    job->archiveItems = ReadArchiveComment(path);
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

// A damaged member is named before the plan; the person may go on with the items left intact.
bool goOnDespiteDamage(frmRS_Choice& first) {
    using platform::MsgButtons, platform::MsgIcon;
    RestoreJob& job = first.job();
    // The archive may still be being read, or a damaged one read again for the chosen items only.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const std::optional<ArchiveDamage> damage = CheckArchiveWhole(job, first.itemsSound());
    QGuiApplication::restoreOverrideCursor();
    if (!damage)
        return true;
    QString text = Str(txtDamaged) + QStringLiteral("\r\r") + damage->text + QStringLiteral("\r\r");
    if (!damage->anythingIntact) {
        platform::dialogs().messageBox(text + Str(txtNothingIntact), MsgButtons::OK, MsgIcon::Critical,
                                       Str(txtDamagedTitle));
        return false;
    }
    text += Str(txtStillIntact) + u' ' + layout::ItemNames(damage->intact.chosenItems) +
            QStringLiteral("\r\r") + Str(txtGoOnWithIntact);
    if (platform::dialogs().messageBox(text, MsgButtons::YesNo, MsgIcon::Exclamation, Str(txtDamagedTitle)) !=
        platform::MsgAnswer::Yes)
        return false;
    job = damage->intact;
    return true;
}

} // namespace

void StartRestoreRun(QWidget& currentPage) {
    frmRS_Choice* first = RestoreChoicePage();
    if (!first)
        return;
    takeChoices(*first, first->job());
    if (!goOnDespiteDamage(*first))
        return;
    forms::get<frmRS_Plan>(QStringLiteral("frmRS_Plan")).showPlan(PlanRestore(first->job()), currentPage);
    currentPage.hide();
}

void RunRestoreNow(QWidget& currentPage, const RestorePlan& plan) {
    frmProgress& window = ShowProgress();
    window.setFrameText(Str(txtPleaseWait));
    window.setTitle(Str(txtRestoreWizard));
    currentPage.hide();
    StartRun(window, [plan](RunContext& run) { WizardRestore(plan, run); });
}

} // namespace stowline
