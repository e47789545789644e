#include "ui/frmRS_Identity.h"

#include "archive/ArchiveLayout.h"
#include "archive/cmpZIP.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "ui/modFont.h"
#include "foundation/modGlobal.h"
#include "foundation/modTempPath.h"
#include "restore/RestoreGuard.h"
#include "restore/RestoreSteps.h"
#include "restore/modWizardRestore.h"
#include "ui/DialogQuestions.h"
#include "ui/IdentityListModel.h"
#include "ui/Windows.h"
#include "ui/frmRS_Choice.h"
#include "ui/frmRS_IEF.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>

namespace stowline {

namespace {

constexpr qint32 kExtractIntoFolder = 6;

void applyProperFont(QWidget& widget) {
    QFont font = widget.font();
    SetProperFont(font);
    widget.setFont(font);
}

// The hourglass for as long as the index is read, whatever happens meanwhile.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace

frmRS_Identity::frmRS_Identity(std::shared_ptr<RestoreJob> job, QWidget* parent)
    : IdentityPage(job->identities, parent), m_job(std::move(job)) {
    connect(&model(), &IdentityListModel::checksChanged, this, &frmRS_Identity::lstIdentities_ItemCheck);
    connect(&nextButton(), &QPushButton::clicked, this, &frmRS_Identity::cmdNext_Click);
    connect(&backButton(), &QPushButton::clicked, this, &frmRS_Identity::cmdBack_Click);
}

bool frmRS_Identity::Form_Load() {
    bool loaded = false;
    m_loadFailed = true;
    TRAP_BEGIN("frmRS_Identity:Form_Load")
        STEP(1) title().setText(Str(txtRestoreWizard));
        STEP(2) frame().setTitle(Str(txtRestoreIdentitiesFrame));
        STEP(3) frame().setAccessibleName(Str(txtRestoreIdentitiesFrame));
        STEP(4) comment().setText(Str(txtCheckIdentities));
        STEP(5) list().setAccessibleName(Str(txtCheckIdentities));
        STEP(6) setCaption(backButton(), Str(txtRestoreBack));
        STEP(7) setCaption(nextButton(), Str(txtRestoreNext));
        STEP(8) applyProperFont(list());
        STEP(10) if (archiveRefused()) return loaded;
        STEP(11) const WaitCursor hourglass;
        STEP(12) if (!readIdentityIndex()) return loaded;
        STEP(13) list().setFocus();
        STEP(14) loaded = true;
        m_loadFailed = false;
    TRAP_END
    // The unpacked index names identities: after a failure it does not wait for the next start.
    if (FailureShown())
        DeleteTempFolder();
    return loaded;
}

// An archive that would write outside the workspace is not opened at all; the wizard ends.
bool frmRS_Identity::archiveRefused() {
    const Refusal refusal = CheckZipFile(m_job->archivePath);
    if (!refusal.refused())
        return false;
    DialogQuestions ask;
    ShowRefusal(ask, Str(txtBackupNotRestored) + u' ' + FileNamePart(m_job->archivePath), refusal,
                txtNothingRestored);
    frmMain_Enabled();
    return true;
}

// The index alone is unpacked into a fresh workspace, read, and the workspace removed again.
bool frmRS_Identity::readIdentityIndex() {
    DialogQuestions ask;
    if (!CreateTempFolder(ask)) {
        StopIfFailureReported();
        frmMain_Enabled();
        return false;
    }
    const QString workspace = TempDir() + QStringLiteral("stowline/");
    cmpZIP zip;
    zip.Options = kExtractIntoFolder;
    zip.FileSpec = layout::IdentityIndexFile;
    zip.ExtractFolder = workspace;
    zip.ArchiveFile = m_job->archivePath;
    try {
        zip.Extract();
    } catch (const VbError& error) {
        // A damaged index is a message naming it, not a crash: nothing has been written yet.
        if (error.alreadyReported())
            throw;
        StopRestore(ask, Str(txtBackupNotRestored) + u' ' + FileNamePart(m_job->archivePath),
                    error.description());
        DeleteTempFolder();
        frmMain_Enabled();
        return false;
    }
    const QList<layout::IdentityRecord> records =
        layout::ReadIdentityIndex(workspace + layout::IdentityIndexFile);
    m_job->identities.clear();
    for (const layout::IdentityRecord& record : records)
        m_job->identities.add({record.name, record.id, {}});
    model().reload();
    DeleteTempFolder();
    return true;
}

void frmRS_Identity::setVisible(bool visible) {
    if (visible && m_loadFailed)
        return;
    WizardPage::setVisible(visible);
    if (visible)
        Form_Activate();
}

void frmRS_Identity::Form_Activate() {
    TRAP_BEGIN("frmRS_Identity:Form_Activate")
        STEP(1) checkLoneLine();
        STEP(4) const frmRS_Choice* choice = RestoreChoicePage();
        STEP(5) const bool favoritesFollow = choice && choice->favoritesChosen();
        STEP(6) setCaption(nextButton(), Str(favoritesFollow ? txtRestoreNext : txtRestore));
    TRAP_END
}

void frmRS_Identity::lstIdentities_ItemCheck() {
    TRAP_BEGIN("frmRS_Identity:lstIdentities_ItemCheck")
        STEP(1) nextButton().setEnabled(m_job->identities.anySelected());
    TRAP_END
}

void frmRS_Identity::cmdNext_Click() {
    TRAP_BEGIN("frmRS_Identity:cmdNext_Click")
        STEP(1) const frmRS_Choice* choice = RestoreChoicePage();
        STEP(2) if (choice && choice->favoritesChosen()) {
            STEP(3) ShowPage(forms::get<frmRS_IEF>(QStringLiteral("frmRS_IEF")));
            STEP(4) hide();
        }
        else {
            STEP(5) StartRestoreRun(*this);
        }
    TRAP_END
}

void frmRS_Identity::cmdBack_Click() {
    TRAP_BEGIN("frmRS_Identity:cmdBack_Click")
        STEP(1) if (frmRS_Choice* choice = RestoreChoicePage()) ShowPage(*choice);
        STEP(2) forms::unload(QStringLiteral("frmRS_Identity"));
    TRAP_END
}

} // namespace stowline
