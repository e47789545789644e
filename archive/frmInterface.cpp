#include "archive/frmInterface.h"

#include "foundation/RegEdit.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "foundation/modFont.h"
#include "foundation/modGlobal.h"
#include "foundation/modTempPath.h"
#include "platform/Platform.h"

#include <QFileInfo>
#include <QListWidget>

namespace stowline {

namespace {
constexpr int txtFileLine = 120;
constexpr int txtTempFolderFull = 121;
constexpr int ExitCancelled = 2; // like any due run that wrote no archive

void showFileLine(const QString& path) {
    // Member names may use either separator.
    const QString name = QFileInfo(QString(path).replace(u'\\', u'/')).fileName();
    progress().setFileLine(Str(txtFileLine) + u' ' + name);
}

QListWidget* hiddenList(QWidget* parent, const char* name) {
    auto* list = new QListWidget(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setSelectionMode(QAbstractItemView::MultiSelection);
    list->hide();
    return list;
}
} // namespace

frmInterface::frmInterface(QWidget* parent)
    : QWidget(parent), m_cmpZIP(new cmpZIP(this)), m_lstIdentities(hiddenList(this, "lstIdentities")),
      m_lst1(hiddenList(this, "lst1")), m_lst2(hiddenList(this, "lst2")) {
    m_cmpZIP->setObjectName(QStringLiteral("cmpZIP"));
    connect(m_cmpZIP, &cmpZIP::FileStartedCompressing, this, &frmInterface::cmpZIP_FileStartedCompressing);
    connect(m_cmpZIP, &cmpZIP::FileStartedDecompressing, this,
            &frmInterface::cmpZIP_FileStartedDecompressing);
    connect(m_cmpZIP, &cmpZIP::OnError, this, &frmInterface::cmpZIP_OnError);
    connect(m_cmpZIP, &cmpZIP::ProcessEnded, this, &frmInterface::cmpZIP_ProcessEnded);
    connect(m_cmpZIP, &cmpZIP::ProcessMessages, this, &frmInterface::cmpZIP_ProcessMessages);
    connect(m_cmpZIP, &cmpZIP::Statistics, this, &frmInterface::cmpZIP_Statistics);
}

frmInterface::~frmInterface() { resetRegistryInstances(); }

void frmInterface::Form_Load() {
    TRAP_BEGIN("frmInterface:Form_Load")
        for (QListWidget* list : {m_lstIdentities, m_lst1, m_lst2}) {
            STEP(1) QFont font = list->font();
            STEP(2) SetProperFont(font);
            STEP(3) list->setFont(font);
        }
    TRAP_END
}

void frmInterface::cmpZIP_FileStartedCompressing(const QString& path) {
    TRAP_BEGIN("frmInterface:cmpZIP_FileStartedCompressing")
        STEP(1) showFileLine(path);
    TRAP_END
}

void frmInterface::cmpZIP_FileStartedDecompressing(const QString& path) {
    TRAP_BEGIN("frmInterface:cmpZIP_FileStartedDecompressing")
        STEP(1) showFileLine(path);
        STEP(2) DoEvents();
    TRAP_END
}

void frmInterface::cmpZIP_OnError(int code) {
    TRAP_BEGIN("frmInterface:cmpZIP_OnError")
        STEP(1) if (code == 10) { STEP(2) Raise(407, Str(txtTempFolderFull)); }
    TRAP_END
}

void frmInterface::cmpZIP_ProcessEnded() {
    TRAP_BEGIN("frmInterface:cmpZIP_ProcessEnded")
        STEP(1) if (CancelFlag) {
            STEP(2) DoEvents();
            STEP(3) DeleteTempFolder();
            STEP(4) if (LaunchOESetting == 1) Launch_OE();
            STEP(5) platform::system().endProgram(ExitCancelled);
        }
    TRAP_END
}

void frmInterface::cmpZIP_ProcessMessages(qint16& cancel) {
    TRAP_BEGIN("frmInterface:cmpZIP_ProcessMessages")
        STEP(1) DoEvents();
        STEP(2) cancel = CancelFlag ? -1 : 0;
    TRAP_END
}

void frmInterface::cmpZIP_Statistics(double wholeRunPercent, double currentFilePercent) {
    TRAP_BEGIN("frmInterface:cmpZIP_Statistics")
        STEP(1) progress().setBars(static_cast<int>(wholeRunPercent), static_cast<int>(currentFilePercent));
        STEP(2) DoEvents();
    TRAP_END
}

frmInterface& Interface() { return forms::get<frmInterface>(QStringLiteral("frmInterface")); }

cmpZIP& Zip() { return Interface().zip(); }

} // namespace stowline
