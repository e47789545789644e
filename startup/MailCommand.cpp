#include "startup/MailCommand.h"

#include "archive/ArchivePassphrase.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "mail/MailExport.h"
#include "mail/MailIndex.h"
#include "mail/MailUpload.h"
#include "platform/Keyring.h"
#include "platform/PrivateFiles.h"
#include "platform/SecureConnection.h"
#include "startup/FindMail.h"

#include <QFileInfo>
#include <QSet>

namespace stowline {

namespace {

// The archive the command names, else the profile of this process's registry. An encrypted archive
// opens with the passphrase the unattended backup uses, when there is one.
std::unique_ptr<mail::MailSource> OpenMailSource(const CommandLineOptions& options, QString* error) {
    if (options.mailArchive.isEmpty())
        return mail::MailSource::openRegistry(error);
    ProvideUnattendedPassphrase(options.mailArchive);
    return mail::MailSource::openArchive(options.mailArchive, error);
}

// Every message that could not be exported is said on stderr as soon as it is known.
// One line on stderr for a message that could not go: what happened, where, which, and why.
void sayMessageProblem(QTextStream& err, int what, const QString& identity, const QString& folder, int index,
                       const QString& detail) {
    err << "stowline: " << Str(what) << identity << ": " << folder;
    if (index >= 0)
        err << ": " << Str(txtMailMessage) << index;
    if (!detail.isEmpty())
        err << ": " << detail;
    err << '\n';
    err.flush();
}

class CommandObserver final : public mail::MailExportObserver {
public:
    explicit CommandObserver(QTextStream& err) : m_err(err) {}
    void unreadable(const mail::UnreadableMessage& message) override {
        sayMessageProblem(m_err, txtNotExported, message.identity, message.folder, message.index,
                          message.detail);
    }

private:
    QTextStream& m_err;
};

constexpr int BadQueryOrSource = 2;

// Says on stderr that the search waits for the index, and for what.
class IndexingSaid final : public mail::MailIndexObserver {
public:
    IndexingSaid(QTextStream& err, QString source) : m_err(err), m_source(std::move(source)) {}
    void waiting() override { say(txtIndexWaiting); }
    void started() override { say(txtIndexingSource); }

private:
    void say(int text) {
        m_err << "stowline: " << Str(text) << m_source << '\n';
        m_err.flush();
    }
    QTextStream& m_err;
    QString m_source;
};

// The source's index, built now when the cache holds none for the source as it is.
std::unique_ptr<mail::MailIndex> readyIndex(mail::MailSource& source, QTextStream& err, QString* error) {
    std::unique_ptr<mail::MailIndex> index = mail::MailIndex::open(source, error);
    if (!index || index->complete())
        return index;
    IndexingSaid said(err, source.description());
    if (!index->build(source, said, error))
        return nullptr;
    if (const qint64 damaged = index->counts().damaged)
        err << "stowline: " << damaged << Str(txtIndexedInPart) << '\n';
    return index;
}

// identity id, folder id and first block: what names a message of a source.
QString messageKey(const QString& identityId, int folderId, qint64 firstBlock) {
    return identityId + u'\n' + QString::number(folderId) + u'\n' + QString::number(firstBlock);
}

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
        sayMessageProblem(m_err, txtNotUploaded, message.identity, message.folder, message.index,
                          message.detail);
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
    std::unique_ptr<mail::MailSource> source = OpenMailSource(options, &error);
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
    std::optional<mail::MailQuery> query;
    if (!options.mailQuery.isEmpty() && !(query = mail::ParseMailQuery(options.mailQuery, &error))) {
        err << "stowline: " << error << '\n';
        return BadQueryOrSource;
    }
    std::unique_ptr<mail::MailSource> source = OpenMailSource(options, &error);
    if (!source) {
        err << "stowline: " << error << '\n';
        return 1;
    }
    mail::MailExportOptions settings;
    QSet<QString> matches;
    if (query) {
        const std::unique_ptr<mail::MailIndex> index = readyIndex(*source, err, &error);
        if (!index) {
            err << "stowline: " << error << '\n';
            return 1;
        }
        for (const mail::MailHit& hit : index->search(*query))
            matches.insert(messageKey(hit.identityId, hit.folderId, hit.entry.firstBlock));
        settings.include = [&matches](const mail::MailIdentity& identity, const mail::MailFolder& folder,
                                      const mail::MessageEntry& message) {
            return matches.contains(messageKey(identity.id, folder.id, message.firstBlock));
        };
    }
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

int FindMailCommand(const CommandLineOptions& options, QTextStream& out, QTextStream& err) {
    QString error;
    const std::optional<mail::MailQuery> query = mail::ParseMailQuery(options.mailQuery, &error);
    std::unique_ptr<mail::MailSource> source = query ? OpenMailSource(options, &error) : nullptr;
    const std::unique_ptr<mail::MailIndex> index = source ? readyIndex(*source, err, &error) : nullptr;
    if (!index) {
        err << "stowline: " << error << '\n';
        err.flush();
        return BadQueryOrSource;
    }
    err.flush();
    return PrintMailHits(*index, *query, out);
}

} // namespace stowline
