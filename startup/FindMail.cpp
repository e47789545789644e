#include "startup/FindMail.h"

#include "platform/RegistrySource.h"

namespace stowline {

namespace {

QString field(QString text) {
    for (QChar& c : text)
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
    return text;
}

// An archive's fingerprint needs only its central directory; the profile's needs its identities.
QByteArray sourceFingerprint(const CommandLineOptions& options) {
    if (!options.mailArchive.isEmpty())
        return mail::MailSource::archiveFingerprint(options.mailArchive);
    // One read for all the identities' keys: a transaction for each took most of the fingerprint's time.
    std::unique_ptr<mail::MailSource> profile;
    platform::registry().read([&] { profile = mail::MailSource::openRegistry(nullptr); });
    return profile ? profile->fingerprint() : QByteArray();
}

} // namespace

int PrintMailHits(const mail::MailIndex& index, const mail::MailQuery& query, QTextStream& out) {
    const QList<mail::MailHit> hits = index.search(query);
    for (const mail::MailHit& hit : hits)
        out << (hit.entry.date.isValid() ? hit.entry.date.toUTC().toString(Qt::ISODate) : QString()) << '\t'
            << field(hit.identityName) << '\t' << field(hit.folderPath.join(u'/')) << '\t'
            << field(hit.entry.from) << '\t' << field(hit.entry.subject) << '\n';
    out.flush();
    return hits.isEmpty() ? 1 : 0;
}

std::optional<int> FindMailInCache(const CommandLineOptions& options, QTextStream& out) {
    const std::optional<mail::MailQuery> query = mail::ParseMailQuery(options.mailQuery, nullptr);
    if (!query)
        return std::nullopt;
    const QByteArray fingerprint = sourceFingerprint(options);
    const std::unique_ptr<mail::MailIndex> index =
        fingerprint.isEmpty() ? nullptr : mail::MailIndex::openComplete(fingerprint);
    if (!index)
        return std::nullopt;
    return PrintMailHits(*index, *query, out);
}

} // namespace stowline
