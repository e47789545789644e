#include "startup/MailCommand.h"

#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "mail/MailExport.h"
#include "mail/MailIndex.h"

#include <QSet>

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

constexpr int BadQueryOrSource = 2;

std::unique_ptr<mail::MailSource> openSource(const CommandLineOptions& options, QString* error) {
    return options.mailArchive.isEmpty() ? mail::MailSource::openRegistry(error)
                                         : mail::MailSource::openArchive(options.mailArchive, error);
}

// The source's index, built now when the cache holds none for the source as it is.
std::unique_ptr<mail::MailIndex> readyIndex(mail::MailSource& source, QTextStream& err, QString* error) {
    std::unique_ptr<mail::MailIndex> index = mail::MailIndex::open(source, error);
    if (!index || index->complete())
        return index;
    err << "stowline: " << Str(txtIndexingSource) << source.description() << '\n';
    err.flush();
    mail::MailIndexObserver quiet;
    if (!index->build(source, quiet, error))
        return nullptr;
    if (const qint64 damaged = index->counts().damaged)
        err << "stowline: " << damaged << Str(txtIndexedInPart) << '\n';
    return index;
}

QString field(QString text) {
    for (QChar& c : text)
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
    return text;
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

} // namespace

int ExportMailCommand(const CommandLineOptions& options, QTextStream& out, QTextStream& err) {
    QString error;
    std::optional<mail::MailQuery> query;
    if (!options.mailQuery.isEmpty() && !(query = mail::ParseMailQuery(options.mailQuery, &error))) {
        err << "stowline: " << error << '\n';
        return BadQueryOrSource;
    }
    std::unique_ptr<mail::MailSource> source = openSource(options, &error);
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
    std::unique_ptr<mail::MailSource> source = query ? openSource(options, &error) : nullptr;
    const std::unique_ptr<mail::MailIndex> index = source ? readyIndex(*source, err, &error) : nullptr;
    if (!index) {
        err << "stowline: " << error << '\n';
        err.flush();
        return BadQueryOrSource;
    }
    const QList<mail::MailHit> hits = index->search(*query);
    for (const mail::MailHit& hit : hits)
        out << (hit.entry.date.isValid() ? hit.entry.date.toUTC().toString(Qt::ISODate) : QString()) << '\t'
            << field(hit.identityName) << '\t' << field(hit.folderPath.join(u'/')) << '\t'
            << field(hit.entry.from) << '\t' << field(hit.entry.subject) << '\n';
    out.flush();
    err.flush();
    return hits.isEmpty() ? 1 : 0;
}

} // namespace stowline
