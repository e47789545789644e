#include "ui/frmInterface.h"

#include "foundation/ProgressView.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "foundation/modTempPath.h"
#include "platform/Platform.h"

#include <QFileInfo>

namespace stowline {

namespace {
constexpr int ExitCancelled = 2; // like any due run that wrote no archive
} // namespace

frmInterface::frmInterface(ProgressView& progress, QObject* parent)
    : QObject(parent), m_progress(progress), m_run{progress, m_cmpZIP, m_questions, m_cancel, {}, {}} {
    m_cmpZIP.setObjectName(QStringLiteral("cmpZIP"));
    m_cmpZIP.Cancel = &m_cancel;
    // Direct: the events arrive on the thread the run works on, which may not be this one's.
    constexpr auto direct = Qt::DirectConnection;
    connect(&m_cmpZIP, &cmpZIP::FileStartedCompressing, this, &frmInterface::cmpZIP_FileStartedCompressing,
            direct);
    connect(&m_cmpZIP, &cmpZIP::FileStartedDecompressing, this,
            &frmInterface::cmpZIP_FileStartedDecompressing, direct);
    connect(&m_cmpZIP, &cmpZIP::OnError, this, &frmInterface::cmpZIP_OnError, direct);
    connect(&m_cmpZIP, &cmpZIP::ProcessEnded, this, &frmInterface::cmpZIP_ProcessEnded, direct);
    connect(&m_cmpZIP, &cmpZIP::Statistics, this, &frmInterface::cmpZIP_Statistics, direct);
}

void frmInterface::showFileLine(const QString& path) {
    // Member names may use either separator.
    const QString name = QFileInfo(QString(path).replace(u'\\', u'/')).fileName();
    m_progress.setFileLine(Str(txtFileLine) + u' ' + name);
}

void frmInterface::cmpZIP_FileStartedCompressing(const QString& path) {
    TRAP_BEGIN("frmInterface:cmpZIP_FileStartedCompressing")
        STEP(1) showFileLine(path);
    TRAP_END
}

void frmInterface::cmpZIP_FileStartedDecompressing(const QString& path) {
    TRAP_BEGIN("frmInterface:cmpZIP_FileStartedDecompressing")
        STEP(1) showFileLine(path);
    TRAP_END
}

void frmInterface::cmpZIP_OnError(int code) {
    TRAP_BEGIN("frmInterface:cmpZIP_OnError")
        STEP(1) if (code == 10) { STEP(2) Raise(Err::TempFolderFull, Str(txtTempFolderFull)); }
    TRAP_END
}

void frmInterface::cmpZIP_ProcessEnded() {
    TRAP_BEGIN("frmInterface:cmpZIP_ProcessEnded")
        STEP(1) if (m_cancel.requested()) {
            STEP(3) DeleteTempFolder();
            STEP(4) if (LaunchOESetting == 1) Launch_OE();
            STEP(5) platform::system().endProgram(ExitCancelled);
        }
    TRAP_END
}

void frmInterface::cmpZIP_Statistics(double wholeRunPercent, double currentFilePercent) {
    TRAP_BEGIN("frmInterface:cmpZIP_Statistics")
        STEP(1) m_progress.setBars(static_cast<int>(wholeRunPercent), static_cast<int>(currentFilePercent));
    TRAP_END
}

} // namespace stowline
