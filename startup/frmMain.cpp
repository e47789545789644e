#include "startup/frmMain.h"

#include "foundation/RegEdit.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "foundation/modSettings.h"
#include "foundation/modSystemPath.h"
#include "platform/Platform.h"
#include "platform/RegistrySource.h"
#include "restore/RestoreUndo.h"
#include "scheduler/BackupHealth.h"
#include "scheduler/frmSchedule1.h"
#include "scheduler/modCommandLine.h"
#include "startup/LinkEntry.h"
#include "startup/StartSteps.h"
#include "ui/RunWorker.h"
#include "ui/Windows.h"
#include "ui/WizardPage.h"
#include "ui/frmAdvancedOptions.h"
#include "ui/frmBK_Choice.h"
#include "ui/frmExportMail.h"
#include "ui/frmMailBrowser.h"
#include "ui/frmRS_Choice.h"
#include "ui/frmUploadMail.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

namespace stowline {

namespace {

constexpr int FeatureCount = 6;
const QString RememberLocationDir = QStringLiteral("RememberLocationDir");

QString parentFolder(const QString& path) { return QFileInfo(path).absolutePath(); }

QString registryLine() {
    const platform::RegistrySource source = platform::registrySource();
    const int kind = source.kind == platform::RegistrySource::Kind::WinePrefix ? txtWinePrefix
                     : source.kind == platform::RegistrySource::Kind::Profile  ? txtWindowsProfile
                                                                               : txtRegistryStore;
    const platform::PathMapper& mapper = platform::pathMapper();
    return Str(txtRegistry) + Str(kind) + source.location + u'\n' + Str(txtDrives) +
           (mapper.isNative() ? Str(txtPathsAsRecorded) : mapper.driveList());
}
} // namespace

frmMain& frmMain::Load(const QString& commandLine) {
    auto* hub = new frmMain;
    forms::add(QStringLiteral("frmMain"), hub);
    hub->Form_Load(commandLine);
    return *hub;
}

frmMain::frmMain(QWidget* parent)
    : QWidget(parent), m_lblTitle(label("lblTitle")), m_lbl02(label("lbl02")), m_lbl09(label("lbl09")),
      m_lbl10(label("lbl10")), m_lblBackup(entry("lblBackup", &frmMain::lblBackup_Click)),
      m_lblRestore(entry("lblRestore", &frmMain::lblRestore_Click)),
      m_lblUndoRestore(entry("lblUndoRestore", &frmMain::lblUndoRestore_Click)),
      m_lblSchedule(entry("lblSchedule", &frmMain::lblSchedule_Click)),
      m_lblAdvanced(entry("lblAdvanced", &frmMain::lblAdvanced_Click)),
      m_lblExportMail(entry("lblExportMail", &frmMain::lblExportMail_Click)),
      m_lblUploadMail(entry("lblUploadMail", &frmMain::lblUploadMail_Click)),
      m_lblBrowseArchive(entry("lblBrowseArchive", &frmMain::lblBrowseArchive_Click)),
      m_lblWebsite(entry("lblWebsite", &frmMain::lblWebsite_Click)),
      m_lblHelp(entry("lblHelp", &frmMain::lblHelp_Click)),
      m_lblProgram(entry("lblProgram", &frmMain::lblProgram_Click)), m_lblVersion(label("lblVersion")),
      m_lblComment(label("lblComment")), m_lblRegistry(label("lblRegistry")),
      m_lblStatus(label("lblStatus")) {
    for (int i = 0; i < FeatureCount; ++i)
        m_features << label(
            QStringLiteral("lbl%1").arg(i + 3, 2, 10, QLatin1Char('0')).toLatin1().constData());

    styleLabels();
    setLayout(buildLayout());
    qApp->installEventFilter(this);
}

void frmMain::styleLabels() {
    QFont titleFont = m_lblTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 2.2);
    titleFont.setBold(true);
    m_lblTitle->setFont(titleFont);
    m_lblTitle->setStyleSheet(QStringLiteral("color: white;"));
    for (QLabel* heading : {m_lbl09, m_lbl10}) {
        QFont bold = heading->font();
        bold.setBold(true);
        heading->setFont(bold);
    }
    for (QLabel* small : {m_lblVersion, m_lblComment, m_lblRegistry})
        small->setStyleSheet(QStringLiteral("color: #555555;"));
}

QLayout* frmMain::buildLayout() {
    auto* banner = new QFrame(this);
    banner->setObjectName(QStringLiteral("banner"));
    banner->setStyleSheet(QStringLiteral("#banner { background-color: #23456e; }"));
    auto* bannerLayout = new QHBoxLayout(banner);
    bannerLayout->setContentsMargins(24, 14, 24, 14);
    bannerLayout->addWidget(m_lblTitle);

    auto* features = new QVBoxLayout;
    features->setSpacing(4);
    features->addWidget(m_lbl02);
    for (int i = 0; i < FeatureCount; ++i) {
        // The three identity features belong under the first line.
        m_features[i]->setContentsMargins(i >= 1 && i <= 3 ? 28 : 12, 0, 0, 0);
        features->addWidget(m_features[i]);
    }
    features->addStretch();

    auto* entries = new QVBoxLayout;
    entries->setSpacing(2);
    entries->addWidget(m_lbl09);
    for (LinkEntry* e : {m_lblBackup, m_lblRestore, m_lblUndoRestore, m_lblSchedule, m_lblAdvanced,
                         m_lblExportMail, m_lblUploadMail, m_lblBrowseArchive})
        entries->addWidget(e, 0, Qt::AlignLeft);
    entries->addSpacing(14);
    entries->addWidget(m_lbl10);
    for (LinkEntry* e : {m_lblWebsite, m_lblHelp, m_lblProgram})
        entries->addWidget(e, 0, Qt::AlignLeft);
    entries->addStretch();

    auto* body = new QHBoxLayout;
    body->setContentsMargins(24, 16, 24, 8);
    body->setSpacing(32);
    body->addLayout(features, 1);
    body->addLayout(entries, 1);

    m_lblRegistry->setContentsMargins(24, 0, 24, 4);
    m_lblRegistry->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_lblStatus->setContentsMargins(24, 0, 24, 8);
    m_lblStatus->setWordWrap(true);
    m_lblStatus->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);

    auto* footer = new QHBoxLayout;
    footer->setContentsMargins(24, 0, 24, 12);
    footer->addWidget(m_lblVersion);
    footer->addStretch();
    footer->addWidget(m_lblComment);

    auto* layout = new QVBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(banner);
    layout->addLayout(body, 1);
    layout->addWidget(m_lblRegistry);
    layout->addWidget(m_lblStatus);
    layout->addLayout(footer);
    return layout;
}

QLabel* frmMain::label(const char* name) {
    auto* l = new QLabel(this);
    l->setObjectName(QString::fromLatin1(name));
    l->setTextFormat(Qt::PlainText); // the registry line names files
    return l;
}

LinkEntry* frmMain::entry(const char* name, void (frmMain::*handler)()) {
    auto* e = new LinkEntry(QString::fromLatin1(name), this);
    connect(e, &QPushButton::clicked, this, handler);
    return e;
}

void frmMain::Form_Load(const QString& commandLine) {
    TRAP_BEGIN("frmMain:Form_Load")
        STEP(1) setCaptions();
        STEP(2) setWindowTitle(Str(txtProduct));
        STEP(3) EnsureSettingsKey(regAccess());
        STEP(4) CountStart([](const QString& address) { OpenOrSayWhere(address); });
        STEP(5) LoadStartupSettings(regAccess());
        STEP(6) Command_Input(commandLine);
        STEP(7)
        m_lblComment->setText(Str(txtBuild) + u' ' + QString::number(VersionRevision) + u' ' +
                              Str(txtReleaseName));
        STEP(8)
        m_lblVersion->setText(Str(txtVersion) + u' ' + QString::number(VersionMajor) + u'.' +
                              QString::number(VersionMinor));
        STEP(9) m_lblRegistry->setText(registryLine());
        refreshStatusLine();
        placeOnScreen();
        STEP(10) show();
        bringOpenedPagesForward();
    TRAP_END
    if (FailureShown())
        Command_InputAfterFailure(commandLine);
}

// A wizard the command line opened (/R) was shown before the hub: it goes in front, over the hub,
// which waits for it as it waits for a wizard opened from it.
void frmMain::bringOpenedPagesForward() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (qobject_cast<WizardPage*>(window) && window->isVisible()) {
            frmMain_Disabled();
            ShowPage(*window);
        }
}

// Centred on the screen's free area, and wholly on it, whatever the window manager (or none) does.
void frmMain::placeOnScreen() {
    adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen(); screen && !testAttribute(Qt::WA_Moved))
        move(screen->availableGeometry().center() - rect().center());
    KeepOnScreen(*this);
}

void frmMain::refreshStatusLine() {
    const BackupHealth health = CurrentBackupHealth();
    const QString line = health.lines.join(QStringLiteral("  \u00B7  "));
    m_lblStatus->setText(line);
    m_lblStatus->setAccessibleName(line);
    m_lblUndoRestore->setVisible(UndoDataSize() >= 0);
    // Green only for a good backup on a schedule that runs; nothing yet is no success.
    m_lblStatus->setStyleSheet(!health.healthy   ? QStringLiteral("color: #a11a1a; font-weight: bold;")
                               : health.backedUp ? QStringLiteral("color: #1d5e20;")
                                                 : QStringLiteral("color: #555555;"));
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    // Any wizard page or dialog closing may have run a backup or changed the schedule.
    if (event->type() == QEvent::Hide && watched != this && watched->isWidgetType() && isVisible() &&
        isEnabled()) {
        const auto* window = static_cast<QWidget*>(watched);
        if (window->windowType() == Qt::Window || window->windowType() == Qt::Dialog)
            refreshStatusLine();
    }
    return QWidget::eventFilter(watched, event);
}

void frmMain::changeEvent(QEvent* event) {
    // Enabled or active again after a run or a wizard: the ledger may hold a new record, a restore
    // may have left something to undo.
    const bool back = (event->type() == QEvent::EnabledChange && isEnabled()) ||
                      (event->type() == QEvent::ActivationChange && isActiveWindow());
    if (back && m_lblStatus)
        refreshStatusLine();
    QWidget::changeEvent(event);
}

void frmMain::setCaptions() {
    m_lblTitle->setText(Str(txtProduct));
    m_lbl02->setText(Str(txtIntro));
    for (int i = 0; i < FeatureCount; ++i)
        m_features[i]->setText(Str(txtFirstFeature + i));
    m_lbl09->setText(Str(txtBackupOptions));
    m_lblBackup->setEntryText(Str(txtCoreCreateBackup));
    m_lblRestore->setEntryText(Str(txtRestoreBackup));
    m_lblUndoRestore->setEntryText(Str(txtUndoRestore));
    m_lblSchedule->setEntryText(Str(txtScheduleBackup));
    m_lblAdvanced->setEntryText(Str(txtAdvancedOptions));
    m_lblExportMail->setEntryText(Str(txtExportMailMenu));
    m_lblUploadMail->setEntryText(Str(txtUploadMailMenu));
    m_lblBrowseArchive->setEntryText(Str(txtBrowseArchiveMenu));
    m_lbl10->setText(Str(txtOnlineItems));
    m_lblWebsite->setEntryText(Str(txtWebsite));
    m_lblHelp->setEntryText(Str(txtOnlineHelp));
    m_lblProgram->setEntryText(Str(txtUpdates));
}

platform::FileDialogRequest frmMain::archiveDialog(const QString& title) {
    platform::FileDialogRequest request;
    request.initialFolder = archiveDialogFolder();
    request.defaultFolder = SystemPath(CSIDL_PERSONAL);
    request.title = title;
    request.filter = Str(txtCoreArchiveFilter);
    return request;
}

QString frmMain::archiveDialogFolder() {
    const QString documents = SystemPath(CSIDL_PERSONAL);
    if (RememberLocationsSetting == 0)
        return documents;
    if (const std::optional<QString> remembered = ReadSetting(regAccess(), RememberLocationDir))
        return *remembered;
    WriteSetting(regAccess(), RememberLocationDir, documents);
    return {};
}

void frmMain::rememberFolderOf(const QString& archivePath) {
    WriteSetting(regAccess(), RememberLocationDir, parentFolder(archivePath));
}

void frmMain::openVendorPage(const QString& path) { OpenOrSayWhere(VendorWebHost() + path); }

void frmMain::lblBackup_Click() {
    using platform::MsgButtons, platform::MsgIcon;
    TRAP_BEGIN("frmMain:lblBackup_Click")
        STEP(1) m_lblBackup->setColor(visitedColor());
        STEP(2) frmMain_Disabled();
        STEP(3) platform::FileDialogRequest request = archiveDialog(Str(txtCoreSaveTitle));
        STEP(4)
        request.proposedName = Str(txtBackupName) + u' ' + platform::system().today().toString(Qt::ISODate);
        STEP(5) const QString chosen = platform::dialogs().saveFile(request);
        STEP(6) if (chosen.isEmpty()) {
            frmMain_Enabled();
            return;
        }
        STEP(8) if (QFileInfo(chosen).completeBaseName().isEmpty()) {
            STEP(9)
            platform::dialogs().messageBox(Str(txtInvalidFilename), MsgButtons::OK, MsgIcon::Critical,
                                           Str(txtFoundationErrorTitle));
            STEP(10) frmMain_Enabled();
            return;
        }
        STEP(11) rememberFolderOf(chosen);
        STEP(12) auto job = std::make_shared<BackupJob>();
        job->archivePath = chosen;
        ShowPage(forms::get<frmBK_Choice>(QStringLiteral("frmBK_Choice"), std::move(job)));
    TRAP_END
}

void frmMain::lblUndoRestore_Click() {
    using platform::MsgButtons, platform::MsgIcon;
    platform::Dialogs& ask = platform::dialogs();
    if (ask.messageBox(Str(txtUndoQuestion), MsgButtons::YesNo, MsgIcon::Question, Str(txtUndoRestore)) !=
        platform::MsgAnswer::Yes)
        return;
    const UndoOutcome outcome = UndoLastRestore();
    ask.messageBox(outcome.summary(), MsgButtons::OK,
                   outcome.failure.isEmpty() ? MsgIcon::Information : MsgIcon::Critical, Str(txtUndoRestore));
    refreshStatusLine();
}

void frmMain::lblRestore_Click() {
    using platform::MsgButtons, platform::MsgIcon;
    TRAP_BEGIN("frmMain:lblRestore_Click")
        STEP(1) m_lblRestore->setColor(visitedColor());
        STEP(2) frmMain_Disabled();
        STEP(3) const QString chosen = platform::dialogs().openFile(archiveDialog(Str(txtOpenTitle)));
        STEP(4) if (chosen.isEmpty()) {
            frmMain_Enabled();
            return;
        }
        STEP(6) rememberFolderOf(chosen);
        STEP(7) if (!OpenRestoreWizard(chosen, Str(txtArchiveMissing), txtCoreNotAnArchive)) {
            STEP(14) frmMain_Enabled();
        }
    TRAP_END
}

void frmMain::lblSchedule_Click() {
    TRAP_BEGIN("frmMain:lblSchedule_Click")
        STEP(1) m_lblSchedule->setColor(visitedColor());
        // The hub stays enabled during this wizard: bring back a page already open instead of a second one.
        for (const char* later : {"frmSchedule3", "frmSchedule2"}) {
            STEP(2) QWidget* open = forms::find(QString::fromLatin1(later));
            STEP(3) if (open && open->isVisible()) {
                ShowPage(*open);
                return;
            }
        }
        STEP(4) ShowPage(forms::get<frmSchedule1>(QStringLiteral("frmSchedule1")));
    TRAP_END
}

void frmMain::lblAdvanced_Click() {
    TRAP_BEGIN("frmMain:lblAdvanced_Click")
        STEP(1) m_lblAdvanced->setColor(visitedColor());
        STEP(2) frmMain_Disabled();
        STEP(3) ShowPage(forms::get<frmAdvancedOptions>(QStringLiteral("frmAdvancedOptions")));
    TRAP_END
}

void frmMain::lblExportMail_Click() {
    TRAP_BEGIN("frmMain:lblExportMail_Click")
        STEP(1) m_lblExportMail->setColor(visitedColor());
        STEP(2) OpenMailExport(QString(), nullptr);
    TRAP_END
}

void frmMain::lblUploadMail_Click() {
    TRAP_BEGIN("frmMain:lblUploadMail_Click")
        STEP(1) m_lblUploadMail->setColor(visitedColor());
        STEP(2) OpenMailUpload(QString(), nullptr);
    TRAP_END
}

// The browser only reads: the hub stays enabled while it is open.
void frmMain::lblBrowseArchive_Click() {
    TRAP_BEGIN("frmMain:lblBrowseArchive_Click")
        STEP(1) m_lblBrowseArchive->setColor(visitedColor());
        STEP(2) const QString chosen = platform::dialogs().openFile(archiveDialog(Str(txtOpenTitle)));
        STEP(3) if (chosen.isEmpty()) return;
        STEP(4) rememberFolderOf(chosen);
        STEP(5)
        if (CheckArchiveChosen(chosen, Str(txtArchiveMissing), txtCoreNotAnArchive) && UnlockArchive(chosen))
            BrowseArchive(chosen);
    TRAP_END
}

void frmMain::lblWebsite_Click() {
    TRAP_BEGIN("frmMain:lblWebsite_Click")
        STEP(1) m_lblWebsite->setColor(visitedColor());
        STEP(2) openVendorPage(Str(txtWebsitePage));
    TRAP_END
}

void frmMain::lblHelp_Click() {
    TRAP_BEGIN("frmMain:lblHelp_Click")
        STEP(1) m_lblHelp->setColor(visitedColor());
        STEP(2) openVendorPage(Str(txtHelpPage));
    TRAP_END
}

void frmMain::lblProgram_Click() {
    TRAP_BEGIN("frmMain:lblProgram_Click")
        STEP(1) m_lblProgram->setColor(visitedColor());
        STEP(2)
        openVendorPage(Str(txtUpdatesFolder) + QString::number(VersionMajor) + QString::number(VersionMinor) +
                       QString::number(VersionRevision) + Str(txtWebsitePage));
    TRAP_END
}

void frmMain::closeEvent(QCloseEvent* event) {
    // A run on its worker ends first: its progress window says when.
    if (RunGoing()) {
        event->ignore();
        return;
    }
    // Closing the hub ends the program with every other window.
    UnloadFlowWindows();
    QWidget::closeEvent(event);
    QCoreApplication::quit();
}

} // namespace stowline
