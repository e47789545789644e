#include "mail/MailSource.h"

namespace stowline::mail {

std::unique_ptr<MailSource> MailSource::openArchive(const QString&, QString* error) {
    if (error)
        error->clear();
    return nullptr;
}

std::unique_ptr<MailSource> MailSource::openRegistry(QString* error) {
    if (error)
        error->clear();
    return nullptr;
}

} // namespace stowline::mail
