#pragma once

#include "mail/MailIndex.h"
#include "startup/CommandLineOptions.h"

#include <QTextStream>
#include <memory>
#include <optional>

namespace stowline {

// One line a match, newest first, tab-separated: date (ISO 8601, UTC), identity, folder path, sender,
// subject. 0 something matched, 1 nothing.
int PrintMailHits(const mail::MailIndex& index, const mail::MailQuery& query, QTextStream& out);

// `--find-mail` answered from the cache alone, without reading any message and without a MIME reader:
// null (nothing said) when the query is no query or the source has no complete index yet, for the
// program that can build one to answer.
std::optional<int> FindMailInCache(const CommandLineOptions& options, QTextStream& out);

} // namespace stowline
