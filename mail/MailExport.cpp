#include "mail/MailExport.h"

namespace stowline::mail {

int MailExportResult::exported() const {
    int total = 0;
    for (const IdentityExportCount& identity : identities)
        total += identity.messages;
    return total;
}

int MailExportResult::exitStatus() const {
    if (!error.isEmpty() || (exported() == 0 && !unreadable.isEmpty()))
        return 1;
    return unreadable.isEmpty() ? 0 : 3;
}

MailExportResult ExportMail(MailSource&, const MailExportOptions&, MailExportObserver&) { return {}; }

QString SafeFileName(const QString& name) { return name; }

} // namespace stowline::mail
