#include "startup/MailCommand.h"

#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "mail/MailExport.h"
#include "mail/MailUpload.h"
#include "platform/Keyring.h"
#include "platform/PrivateFiles.h"
#include "platform/SecureConnection.h"

#include <QFileInfo>

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

class UploadObserver final : public mail::MailUploadObserver {
public:
    explicit UploadObserver(QTextStream& err) : m_err(err) {}
    void refused(const mail::RefusedMessage& message) override {
        m_err << "stowline: " << Str(txtNotUploaded) << message.identity << ": " << message.folder;
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

int secretProblemText(platform::SecretFileProblem problem) {
    switch (problem) {
    case platform::SecretFileProblem::Missing:
        return txtSecretMissing;
    case platform::SecretFileProblem::NotAFile:
        return txtSecretNotAFile;
    case platform::SecretFileProblem::OtherOwner:
        return txtSecretOtherOwner;
    case platform::SecretFileProblem::OpenToOthers:
        return txtSecretOpenToOthers;
    default:
        return txtSecretUnreadable;
    }
}

// From the file given, else the keyring where the window saved it, else asked on the terminal.
std::optional<QByteArray> uploadPassword(const CommandLineOptions& options, const mail::ImapAccount& account,
                                         QString* problem) {
    if (!options.passwordFile.isEmpty()) {
        const platform::SecretFile file = platform::readSecretFile(options.passwordFile);
        if (file.problem == platform::SecretFileProblem::None)
            return file.secret;
        *problem = Str(txtPasswordFileRefused) + options.passwordFile + QStringLiteral(": ") +
                   Str(secretProblemText(file.problem));
        return std::nullopt;
    }
    const platform::KeyringAnswer saved =
        platform::ReadKeyringSecret(account.keyringKey(), std::chrono::seconds(5));
    if (saved.status == platform::KeyringAnswer::Status::Done)
        return saved.secret.toUtf8();
    if (std::optional<QByteArray> typed =
            platform::ReadHiddenLine(Str(txtPasswordFor) + account.name() + QStringLiteral(": ")))
        return typed;
    *problem = Str(txtNoPasswordTerminal);
    return std::nullopt;
}

// The same archive or profile however it was spelled; a Wine prefix or Windows disk is its own source.
QString uploadSourceName(const CommandLineOptions& options) {
    if (!options.mailArchive.isEmpty())
        return QFileInfo(options.mailArchive).absoluteFilePath();
    if (!options.winePrefix.isEmpty())
        return QStringLiteral("wine:") + QFileInfo(options.winePrefix).absoluteFilePath();
    if (!options.profile.isEmpty())
        return QStringLiteral("windows:") + QFileInfo(options.profile).absoluteFilePath();
    return QString();
}

} // namespace

int UploadMailCommand(const CommandLineOptions& options, QTextStream& out, QTextStream& err) {
    auto failed = [&](const QString& reason) {
        err << "stowline: " << reason << '\n';
        err.flush();
        return 1;
    };
    mail::MailUploadOptions settings;
    QString error;
    const std::optional<mail::ImapAccount> account = mail::ParseImapAddress(options.uploadAddress, &error);
    if (!account)
        return failed(Str(txtUploadBadAddress) + options.uploadAddress + QStringLiteral(" (") + error + u')');
    std::unique_ptr<mail::MailSource> source =
        options.mailArchive.isEmpty() ? mail::MailSource::openRegistry(&error)
                                      : mail::MailSource::openArchive(options.mailArchive, &error);
    if (!source)
        return failed(error);
    const std::optional<QByteArray> password = uploadPassword(options, *account, &error);
    if (!password)
        return failed(error);
    settings.account = *account;
    settings.password = *password;
    settings.caFile = options.caFile;
    settings.recover = options.recoverMail;
    settings.sourceName = uploadSourceName(options);
    UploadObserver observer(err);
    const mail::MailUploadResult result = mail::UploadMail(*source, settings, observer);
    if (!result.error.isEmpty())
        return failed(result.error);
    out << result.uploaded << Str(txtUploadedCount) << result.alreadyThere << Str(txtAlreadyThereCount)
        << result.refused.size() << Str(txtRefusedCountInto) << account->name() << u'/' << result.target
        << '\n';
    out.flush();
    if (result.cancelled)
        return failed(Str(txtUploadCancelled));
    if (result.exitStatus() == 1)
        return failed(Str(txtNothingUploaded));
    return result.exitStatus();
}

int ExportMailCommand(const CommandLineOptions& options, QTextStream& out, QTextStream& err) {
    QString error;
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
