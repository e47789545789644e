#include "mail/DbxStore.h"

namespace stowline::mail {

struct DbxStore::Impl {
    std::unique_ptr<ByteSource> source;
    QList<MessageEntry> messages;
    QList<StoreProblem> problems;
};

std::unique_ptr<ByteSource> openFileSource(const QString&) { return nullptr; }

DbxStore::DbxStore(std::unique_ptr<ByteSource> source) : d(std::make_unique<Impl>()) {
    d->source = std::move(source);
}
DbxStore::~DbxStore() = default;
bool DbxStore::isMessageStore() const { return false; }
const QList<MessageEntry>& DbxStore::messages() const { return d->messages; }
QList<MessageEntry> DbxStore::recoverable() { return {}; }
bool DbxStore::readMessage(const MessageEntry&, const ByteSink&) { return false; }
const QList<StoreProblem>& DbxStore::problems() const { return d->problems; }

QList<FolderRecord> readFolderTree(ByteSource&, QList<StoreProblem>*) { return {}; }

} // namespace stowline::mail
