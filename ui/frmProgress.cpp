#include "ui/frmProgress.h"

#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "ui/Windows.h"
#include "ui/WizardPage.h"
#include "ui/modFont.h"

#include <QCloseEvent>
#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace stowline {

namespace {

QProgressBar* bar(QWidget* parent, const char* name) {
    auto* b = new QProgressBar(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setRange(0, 100);
    b->setValue(0);
    return b;
}

void applyProperFont(QLabel* label) {
    QFont font = label->font();
    SetProperFont(font);
    label->setFont(font);
}
} // namespace

frmProgress::frmProgress(QWidget* parent)
    : QWidget(parent), m_lblTitle(new QLabel(this)), m_frmWindow(new QGroupBox(this)),
      m_lblComment1(new QLabel), m_progressBar1(bar(this, "ProgressBar1")), m_lblComment2(new QLabel),
      m_progressBar2(bar(this, "ProgressBar2")), m_cmdCancel(new QPushButton(this)),
      m_cmdClose(new QPushButton(this)), m_lblSummary(new QLabel), m_cmdOpenFolder(new QPushButton(this)) {
    setWindowTitle(QStringLiteral(" "));
    m_lblTitle->setObjectName(QStringLiteral("lblTitle"));
    m_frmWindow->setObjectName(QStringLiteral("frmWindow"));
    m_lblComment1->setObjectName(QStringLiteral("lblComment1"));
    m_lblComment2->setObjectName(QStringLiteral("lblComment2"));
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    m_cmdClose->setObjectName(QStringLiteral("cmdClose"));
    m_lblSummary->setObjectName(QStringLiteral("lblSummary"));
    m_cmdOpenFolder->setObjectName(QStringLiteral("cmdOpenFolder"));
    m_lblSummary->setWordWrap(true);
    m_lblSummary->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    for (QLabel* label : {m_lblTitle, m_lblComment1, m_lblComment2, m_lblSummary})
        label->setTextFormat(Qt::PlainText); // file names from the archive and the disk
    QFont titleFont = m_lblTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
    titleFont.setBold(true);
    m_lblTitle->setFont(titleFont);
    for (QLabel* line : {m_lblComment1, m_lblComment2}) {
        // Long file names must not widen the window.
        line->setMinimumWidth(1);
        line->setTextInteractionFlags(Qt::TextSelectableByKeyboard);
    }

    auto* frameLayout = new QVBoxLayout(m_frmWindow);
    frameLayout->addWidget(m_lblComment1);
    frameLayout->addWidget(m_progressBar1);
    frameLayout->addSpacing(8);
    frameLayout->addWidget(m_lblComment2);
    frameLayout->addWidget(m_progressBar2);
    frameLayout->addWidget(m_lblSummary);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_cmdOpenFolder);
    buttons->addStretch();
    buttons->addWidget(m_cmdCancel);
    buttons->addWidget(m_cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_lblTitle);
    layout->addWidget(m_frmWindow, 1);
    layout->addLayout(buttons);
    setMinimumSize(480, 260);

    m_cmdCancel->hide();
    m_cmdClose->setEnabled(false);
    m_cmdClose->setDefault(true);
    connect(m_cmdCancel, &QPushButton::clicked, this, &frmProgress::cmdCancel_Click);
    connect(m_cmdClose, &QPushButton::clicked, this, &frmProgress::cmdClose_Click);
    connect(m_cmdOpenFolder, &QPushButton::clicked, this, &frmProgress::cmdOpenFolder_Click);
    clearSummary();
}

void frmProgress::Form_Load() {
    TRAP_BEGIN("frmProgress:Form_Load")
        STEP(1) setTitle(Str(txtCoreBackupWizard));
        STEP(2) setFrameText(Str(txtCreatesBackup));
        STEP(3) m_cmdCancel->setText(Str(txtCancel));
        STEP(4) m_cmdClose->setText(Str(txtClose));
        STEP(5) m_cmdCancel->setAccessibleName(plainCaption(m_cmdCancel->text()));
        STEP(6) m_cmdClose->setAccessibleName(plainCaption(m_cmdClose->text()));
        m_cmdOpenFolder->setText(Str(txtOpenFolder));
        m_cmdOpenFolder->setAccessibleName(plainCaption(m_cmdOpenFolder->text()));
        STEP(7) applyProperFont(m_lblComment1);
        STEP(8) applyProperFont(m_lblComment2);
    TRAP_END
}

void frmProgress::setTitle(const QString& text) {
    m_lblTitle->setText(text);
    setWindowTitle(text);
}

void frmProgress::setFrameText(const QString& text) {
    m_frmWindow->setTitle(text);
    m_frmWindow->setAccessibleName(text);
}

void frmProgress::setStatus(const QString& text) {
    m_lblComment1->setText(text);
    m_lblComment1->setAccessibleName(text);
    emit statusChanged(text);
}

void frmProgress::setFileLine(const QString& text) {
    m_lblComment2->setText(text);
    m_lblComment2->setAccessibleName(text);
    emit fileLineChanged(text);
}

void frmProgress::setBars(int upper, int lower) {
    m_progressBar1->setValue(upper);
    m_progressBar2->setValue(lower);
}

void frmProgress::setCloseEnabled(bool enabled) {
    m_cmdClose->setEnabled(enabled);
    if (enabled)
        m_cmdClose->setFocus();
}

void frmProgress::showSummary(const QStringList& lines, const QString& folder) {
    m_lblSummary->setText(lines.join(u'\n'));
    m_lblSummary->setAccessibleName(lines.join(u' '));
    m_lblSummary->show();
    m_summaryFolder = folder;
    m_cmdOpenFolder->setVisible(!folder.isEmpty());
    // The window grows to the summary but stays on the screen.
    adjustSize();
    KeepOnScreen(*this);
}

void frmProgress::clearSummary() {
    m_lblSummary->clear();
    m_lblSummary->hide();
    m_cmdOpenFolder->hide();
    m_summaryFolder.clear();
}

QString frmProgress::summary() const { return m_lblSummary->text(); }

void frmProgress::cmdOpenFolder_Click() {
    OpenOrSayWhere(QUrl::fromLocalFile(m_summaryFolder).toString(),
                   QDir::toNativeSeparators(m_summaryFolder));
}

QString frmProgress::status() const { return m_lblComment1->text(); }
QString frmProgress::fileLine() const { return m_lblComment2->text(); }

void frmProgress::cmdCancel_Click() {
    TRAP_BEGIN("frmProgress:cmdCancel_Click")
        STEP(1) emit cancelRequested();
    TRAP_END
}

void frmProgress::cmdClose_Click() {
    TRAP_BEGIN("frmProgress:cmdClose_Click")
        STEP(1) frmMain_Enabled();
    TRAP_END
}

void frmProgress::closeEvent(QCloseEvent* event) {
    // The program's own unloads only hide windows, so a close is always the user's. It acts as the
    // button that is live: Close after a run, Cancel in a scheduled run; while an interactive run
    // works there is nothing to stop, so it is ignored.
    event->ignore();
    if (m_cmdClose->isVisible() && m_cmdClose->isEnabled())
        cmdClose_Click();
    else if (m_cmdCancel->isVisible() && m_cmdCancel->isEnabled())
        cmdCancel_Click();
}

frmProgress& Progress() { return forms::get<frmProgress>(QStringLiteral("frmProgress")); }

frmProgress& ShowProgress() {
    frmProgress& window = Progress();
    ShowPage(window);
    return window;
}

} // namespace stowline
