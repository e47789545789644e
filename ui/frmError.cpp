#include "ui/frmError.h"

#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "foundation/modOSInfo.h"
#include "foundation/modReboot.h"
#include "platform/Platform.h"
#include "ui/Windows.h"
#include "ui/WizardPage.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace stowline {

namespace {

QPushButton* button(QWidget* parent, const char* name) {
    auto* b = new QPushButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}
} // namespace

frmError::frmError(QWidget* parent)
    : QWidget(parent), m_lbl1(new QLabel(this)), m_txtError(new QPlainTextEdit(this)),
      m_lbl2(new QLabel(this)), m_lbl3(new QLabel(this)), m_cmdReboot(button(this, "cmdReboot")),
      m_cmdExit(button(this, "cmdExit")), m_cmdReport(button(this, "cmdReport")) {
    setWindowTitle(QStringLiteral(" "));
    setAttribute(Qt::WA_DeleteOnClose);
    m_lbl1->setObjectName(QStringLiteral("lbl1"));
    m_lbl2->setObjectName(QStringLiteral("lbl2"));
    m_lbl3->setObjectName(QStringLiteral("lbl3"));
    m_txtError->setObjectName(QStringLiteral("txtError"));
    m_txtError->setReadOnly(true);
    m_txtError->setMaximumHeight(80);
    for (QLabel* label : {m_lbl1, m_lbl2, m_lbl3}) {
        label->setWordWrap(true);
        label->setTextFormat(Qt::PlainText);
    }

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdReport);
    buttons->addWidget(m_cmdReboot);
    buttons->addWidget(m_cmdExit);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_lbl1);
    layout->addWidget(m_txtError);
    layout->addWidget(m_lbl2);
    layout->addWidget(m_lbl3);
    layout->addLayout(buttons);
    setMinimumWidth(480);

    connect(m_cmdReport, &QPushButton::clicked, this, &frmError::cmdReport_Click);
    connect(m_cmdReboot, &QPushButton::clicked, this, &frmError::cmdReboot_Click);
    connect(m_cmdExit, &QPushButton::clicked, this, &frmError::cmdExit_Click);
}

void frmError::Form_Load() {
    m_lbl1->setText(Str(txtCrashIntro));
    m_lbl2->setText(Str(txtCrashReboot));
    m_lbl3->setText(Str(txtCrashReport));
    m_cmdReboot->setText(Str(txtRebootButton));
    m_cmdExit->setText(Str(txtExitButton));
    m_cmdReport->setText(Str(txtReportButton));
    m_txtError->setPlainText(LastError().description + Str(txtCoreIn) + LastError().procedure +
                             Str(txtCoreAtLine) + QString::number(LastError().line));
    m_txtError->setAccessibleName(m_lbl1->text());
    for (QPushButton* b : {m_cmdReboot, m_cmdExit, m_cmdReport})
        b->setAccessibleName(QString(b->text()).remove(u'&'));
}

void frmError::showReport() {
    // A second failure refreshes the open window with the latest record.
    const bool alreadyOpen = forms::find(QStringLiteral("frmError")) != nullptr;
    auto& window = forms::get<frmError>(QStringLiteral("frmError"));
    if (alreadyOpen)
        window.Form_Load();
    window.show();
    window.raise();
}

QString frmError::reportAddress() {
    const platform::OsVersion os = GetOSVersion();
    return Str(txtMailtoStart) + u'<' + BugMailAddress() + u'>' + Str(txtMailSubject) +
           QString::number(VersionMajor) + u'.' + QString::number(VersionMinor) + u'.' +
           QString::number(VersionRevision) + Str(txtMailBody) + LastError().procedure + Str(txtLine) +
           QString::number(LastError().line) + Str(txtErrorNumber) + QString::number(LastError().number) +
           QStringLiteral(", ") + LastError().description + Str(txtWindowsVersion) +
           QString::number(os.major) + u'.' + QString::number(os.minor) + u'.' + QString::number(os.build);
}

void frmError::cmdReport_Click() {
    OpenOrSayWhere(reportAddress());
    platform::system().endProgram(1);
}

void frmError::cmdReboot_Click() {
    RequestReboot();
    platform::system().endProgram(1);
}

void frmError::cmdExit_Click() { platform::system().endProgram(1); }

} // namespace stowline
