#include "restore/RestoreSteps.h"

#include "archive/PhaseLog.h"
#include "archive/RunContext.h"
#include "archive/ZipLibzip.h"
#include "archive/cmpZIP.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modAppRunning.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "foundation/modTempPath.h"
#include "restore/RestoreUndo.h"

namespace stowline {

namespace {
constexpr qint32 kExtractIntoFolder = 6;
} // namespace

QString WorkspaceFolder() { return TempDir() + QStringLiteral("stowline/"); }

ItemZip ItemZipOf(const QString& archivePath, const QString& member) {
    if (InnerZipStored(archivePath, member))
        return {archivePath, member};
    return {WorkspaceFolder() + member, QString()};
}

void StopIfFailureReported() {
    if (FailureShown())
        throw VbError(LastError().number, LastError().description, VbError::Reported);
}

QString ImportRegFile(const QString& regFile) {
    const PhaseLog phase("regedit import " + FileNamePart(regFile).toUtf8());
    return ExecCmd(QStringLiteral("regedit /s \"") + regFile + u'"');
}

bool UnpackKept(RunContext& run, const ItemZip& itemZip, const QString& folder, const QString& header) {
    QStringList names = itemZip.names.value_or(QStringList());
    if (!itemZip.names)
        if (const auto members = itemZip.member.isEmpty()
                                     ? ZipMemberEntries(itemZip.file)
                                     : InnerZipMemberEntries(itemZip.file, itemZip.member))
            for (const ZipMemberEntry& member : *members)
                names << member.name;
    restoreJournal().keepFiles(folder, names);
    CreateFolder(folder);
    StopIfFailureReported();
    try {
        UnpackZip(run.zip, itemZip, folder);
    } catch (const VbError& error) {
        if (error.alreadyReported())
            throw;
        StopRestore(run.ask, header, error.description());
        return false;
    }
    return true;
}

void StopRestore(Questions& ask, const QString& header, const QString& what) {
    // Stopped before its first change, a restore has nothing to put back.
    const int outcome = restoreJournal().recordedAnything() ? txtPutBack : txtNothingRestored;
    restoreJournal().rollBack();
    ask.tell(Questions::Notice::RestoreStopped,
             header + QStringLiteral("\r\r") + what + QStringLiteral("\r\r") + Str(outcome));
}

void UnpackZip(cmpZIP& zip, const ItemZip& itemZip, const QString& folder) {
    const PhaseLog phase("unpack " + (itemZip.member.isEmpty() ? itemZip.file : itemZip.member).toUtf8());
    zip.Options = kExtractIntoFolder;
    zip.FileSpec = QStringLiteral("*.*");
    zip.ExtractFolder = folder;
    zip.ArchiveFile = itemZip.file;
    zip.ArchiveMember = itemZip.member;
    zip.Extract();
}

QString FileNamePart(const QString& path) {
    const qsizetype cut = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    return path.mid(cut + 1);
}

} // namespace stowline
