#include "startup/MailCommand.h"

#include "archive/ArchivePassphrase.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "mail/MailExport.h"

namespace stowline {

namespace {

// Every message that could not be exported is said on stderr as soon as it is known.
class CommandObserver final : public mail::MailExportObserver {
public:
    explicit CommandObserver(QTextStream& err) : m_err(err) {}
    void unreadable(const mail::UnreadableMessage& message) override {
        m_err << "stowline: " << Str(txtNotExported) << message.identity << ": " << message.folder;
        if (message.index >= 0)
            m_err << ": " << Str(txtMailMessage) << message.index;
        if (!message.detail.isEmpty())
            m_err << ": " << message.detail;
        m_err << '\n';
        m_err.flush();
    }

private:
    QTextStream& m_err;
};

mail::MailFormat formatNamed(const QString& name) {
    if (name == QLatin1String("maildir"))
        return mail::MailFormat::Maildir;
    if (name == QLatin1String("eml"))
        return mail::MailFormat::Eml;
    return mail::MailFormat::Mbox;
}

} // namespace

int ExportMailCommand(const CommandLineOptions& options, QTextStream& out, QTextStream& err) {
    QString error;
    if (!options.mailArchive.isEmpty())
        ProvideUnattendedPassphrase(options.mailArchive);
    std::unique_ptr<mail::MailSource> source =
        options.mailArchive.isEmpty() ? mail::MailSource::openRegistry(&error)
                                      : mail::MailSource::openArchive(options.mailArchive, &error);
    if (!source) {
        err << "stowline: " << error << '\n';
        return 1;
    }
    mail::MailExportOptions settings;
    settings.outputFolder = options.mailFolder;
    settings.format = formatNamed(options.mailFormat);
    settings.recover = options.recoverMail;
    CommandObserver observer(err);
    const mail::MailExportResult result = mail::ExportMail(*source, settings, observer);
    for (const mail::IdentityExportCount& identity : result.identities)
        out << identity.name << ": " << identity.messages << Str(txtMessagesCount) << identity.folders
            << Str(txtFoldersCount) << identity.outputFolder << '\n';
    if (result.favorites > 0)
        out << Str(txtBookmarksTitle) << ": " << result.favorites << Str(txtLinksIn) << result.bookmarksFile
            << '\n';
    out.flush();
    if (!result.error.isEmpty())
        err << "stowline: " << result.error << '\n';
    else if (result.cancelled)
        err << "stowline: " << Str(txtMailCancelled) << '\n';
    else if (result.exitStatus() == 1)
        err << "stowline: " << Str(txtNothingReadable) << '\n';
    err.flush();
    return result.exitStatus();
}

} // namespace stowline
