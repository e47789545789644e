#include "restore/RestoreSteps.h"

#include "archive/cmpZIP.h"
#include "foundation/modAppRunning.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "foundation/modTempPath.h"

namespace stowline {

namespace {
constexpr qint32 kExtractIntoFolder = 6;
}

QString WorkspaceFolder() { return TempDir() + QStringLiteral("stowline/"); }

void StopIfFailureReported() {
    if (FailureShown())
        throw VbError(LastError().number, LastError().description, VbError::Reported);
}

void ImportRegFile(const QString& regFile) { ExecCmd(QStringLiteral("regedit /s \"") + regFile + u'"'); }

void UnpackZip(cmpZIP& zip, const QString& zipFile, const QString& folder) {
    zip.Options = kExtractIntoFolder;
    zip.FileSpec = QStringLiteral("*.*");
    zip.ExtractFolder = folder;
    zip.ArchiveFile = zipFile;
    zip.Extract();
}

QString FileNamePart(const QString& path) {
    const qsizetype cut = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    return path.mid(cut + 1);
}

} // namespace stowline
