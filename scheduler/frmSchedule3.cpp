#include "scheduler/frmSchedule3.h"

#include "archive/ArchivePassphrase.h"
#include "foundation/RegEdit.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "foundation/modSettings.h"
#include "foundation/modSystemPath.h"
#include "platform/Dialogs.h"
#include "scheduler/frmSchedule1.h"
#include "scheduler/frmSchedule2.h"
#include "scheduler/modCommandLine.h"
#include "ui/ArchiveEncryptionSetup.h"
#include "ui/ScheduleTimerSetup.h"
#include "ui/Windows.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace stowline {

namespace {

int sliderPosition(const QString& pageName) {
    auto* page = qobject_cast<ScheduleSliderPage*>(forms::find(pageName));
    if (!page)
        Raise(Err::ObjectNotSet);
    return page->position();
}
} // namespace

frmSchedule3::frmSchedule3(QWidget* parent) : WizardPage(QStringLiteral("frmItems"), parent) {
    m_chk = addItemBoxes();
    for (QCheckBox* box : m_chk) {
        connect(box, &QCheckBox::toggled, this, &frmSchedule3::chk_Click);
    }
    m_chkEncrypt = new QCheckBox(this);
    m_chkEncrypt->setObjectName(QStringLiteral("chkEncrypt"));
    frameLayout().addWidget(m_chkEncrypt);
    m_chk[0]->setFocus();
    connect(&nextButton(), &QPushButton::clicked, this, &frmSchedule3::cmdNext_Click);
    connect(&backButton(), &QPushButton::clicked, this, &frmSchedule3::cmdBack_Click);
}

void frmSchedule3::Form_Load() {
    TRAP_BEGIN("frmSchedule3:Form_Load")
        STEP(1) title().setText(Str(txtWizardTitle));
        STEP(2) frame().setTitle(Str(txtSchedulerCheckItems));
        for (size_t i = 0; i < m_chk.size(); ++i) {
            STEP(3) m_chk[i]->setText(Str(txtFirstItemName + static_cast<int>(i)));
            STEP(4) m_chk[i]->setAccessibleName(plainCaption(m_chk[i]->text()));
        }
        STEP(5) setCaption(backButton(), Str(txtSchedulerBack));
        STEP(6) setCaption(nextButton(), Str(txtSchedulerNext));
        STEP(7) loadItems();
        STEP(8) m_chkEncrypt->setText(Str(txtEncryptArchive));
        m_chkEncrypt->setAccessibleName(plainCaption(m_chkEncrypt->text()));
        STEP(9) m_chkEncrypt->setChecked(EncryptSetting());
    TRAP_END
}

void frmSchedule3::loadItems() {
    TRAP_BEGIN("frmSchedule3:loadItems")
        STEP(1) const std::optional<QString> stored = ReadSetting(regAccess(), QStringLiteral("Items"));
        STEP(2) if (!stored || stored->isEmpty()) return;
        for (size_t i = 0; i < m_chk.size(); ++i) {
            STEP(3) m_chk[i]->setChecked(QStringView(*stored).mid(static_cast<qsizetype>(i), 1) == u"1");
        }
    TRAP_END
}

QString frmSchedule3::itemFlags() const {
    QString flags;
    for (const QCheckBox* box : m_chk)
        flags += box->isChecked() ? u'1' : u'0';
    return flags;
}

void frmSchedule3::chk_Click() {
    TRAP_BEGIN("frmSchedule3:chk_Click")
        bool anyChecked = false;
        STEP(1) for (const QCheckBox* box : m_chk) anyChecked = anyChecked || box->isChecked();
        STEP(2) nextButton().setEnabled(anyChecked);
    TRAP_END
}

void frmSchedule3::cmdNext_Click() {
    TRAP_BEGIN("frmSchedule3:cmdNext_Click")
        RegEdit& reg = regAccess();
        platform::FileDialogRequest request;
        STEP(1) request.title = Str(txtSchedulerSaveTitle);
        STEP(2) request.filter = Str(txtSchedulerArchiveFilter);
        STEP(3) request.proposedName = ReadSetting(reg, QStringLiteral("Filename")).value_or(QString());
        STEP(4)
        request.initialFolder =
            ArchiveFolderOnDisk(ReadSetting(reg, QStringLiteral("Pathname")).value_or(QString()));
        request.defaultFolder = SystemPath(CSIDL_PERSONAL);
        STEP(5) const QString chosen = platform::dialogs().saveFile(request);
        STEP(6) if (chosen.isEmpty()) return;
        // The scheduled run finds its passphrase without anyone there: it is chosen now.
        STEP(15)
        if (m_chkEncrypt->isChecked() && FindUnattendedPassphrase().passphrase.isEmpty() &&
            ChooseNewPassphrase().isEmpty())
            return;
        STEP(16)
        WriteSetting(reg, QStringLiteral("Encrypt"),
                     m_chkEncrypt->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
        STEP(7) const QString schedule = QString::number(sliderPosition(QStringLiteral("frmSchedule1")));
        STEP(8) const QString deletion = QString::number(sliderPosition(QStringLiteral("frmSchedule2")));
        const QFileInfo archive(chosen);
        STEP(9) WriteSetting(reg, QStringLiteral("Schedule"), schedule);
        STEP(10) WriteSetting(reg, QStringLiteral("Delete"), deletion);
        STEP(11) WriteSetting(reg, QStringLiteral("Items"), itemFlags());
        STEP(12) WriteSetting(reg, QStringLiteral("Filename"), archive.completeBaseName());
        STEP(13) WriteSetting(reg, QStringLiteral("Pathname"), ArchiveFolderRecorded(archive.absolutePath()));
        SetUpScheduleTimer();
        STEP(14) EndScheduleWizard();
    TRAP_END
}

void frmSchedule3::cmdBack_Click() {
    TRAP_BEGIN("frmSchedule3:cmdBack_Click")
        STEP(1) ShowScheduleBack(*this, QStringLiteral("frmSchedule3"), QStringLiteral("frmSchedule2"));
    TRAP_END
}

void frmSchedule3::closedByUser() { EndScheduleWizard(); }

void frmSchedule3::closeEvent(QCloseEvent* event) {
    closedByUser();
    QWidget::closeEvent(event);
}

} // namespace stowline
