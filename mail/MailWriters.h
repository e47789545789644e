#pragma once

#include "mail/MailExport.h"

#include <memory>

namespace stowline::mail {

// Writes the messages of one mail folder in one of the open formats. A message is begun, written
// in pieces and then committed or discarded; a discarded message leaves nothing behind.
class FolderWriter {
public:
    virtual ~FolderWriter() = default;
    // The folder's mbox file "<name>.mbox", Maildir "<name>/" or .eml folder "<name>/" below parent;
    // null when it cannot be created. Never replaces an existing file.
    static std::unique_ptr<FolderWriter> create(MailFormat format, const QString& parent,
                                                const QString& name);

    virtual void begin(const MessageEntry& message) = 0;
    virtual bool write(const char* data, qint64 length) = 0;
    virtual bool commit() = 0;
    virtual void discard() = 0;
    // False once writing failed (disk full, folder gone): the run cannot go on.
    virtual bool healthy() const = 0;
};

// The links as a bookmark file in the Netscape format browsers import, folders as nested lists.
bool WriteBookmarks(const QString& path, const QList<FavoriteLink>& links);

// The "From " line that opens a message in an mbox file (without its line end).
QByteArray MboxFromLine(const MessageEntry& message);

} // namespace stowline::mail
