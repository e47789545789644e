#include "startup/ReportCommands.h"

#include "archive/ArchivePassphrase.h"
#include "archive/ArchiveVerify.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "restore/RestoreUndo.h"
#include "scheduler/BackupHealth.h"

#include <QFileInfo>

namespace stowline {

int VerifyCommand(const QString& archivePath, QTextStream& out, QTextStream& err) {
    // A mistyped name is not a damaged archive.
    if (!QFileInfo::exists(archivePath)) {
        err << "stowline: " << Str(txtVerifyFailed) << ' ' << archivePath << ' ' << Str(txtDoesNotExist)
            << '\n';
        err.flush();
        return 1;
    }
    ProvideUnattendedPassphrase(archivePath);
    const VerifyResult result = VerifyArchive(archivePath);
    if (!result.ok()) {
        err << "stowline: " << VerifyFailureText(archivePath, result) << '\n';
        err.flush();
        return 1;
    }
    out << archivePath << ": " << Str(txtSoundArchive) << '\n';
    out.flush();
    return 0;
}

int StatusCommand(QTextStream& out) {
    const BackupHealth health = CurrentBackupHealth(DateStyle::Iso);
    for (const QString& line : health.lines)
        out << line << '\n';
    out.flush();
    return health.healthy ? 0 : 1;
}

int UndoRestoreCommand(QTextStream& out, QTextStream& err) {
    const UndoOutcome outcome = UndoLastRestore();
    const QString text = outcome.summary().replace(u'\r', u'\n');
    if (!outcome.failure.isEmpty()) {
        err << "stowline: " << text << '\n';
        return 1;
    }
    out << text << '\n';
    return 0;
}

} // namespace stowline
