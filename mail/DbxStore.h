#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>
#include <memory>

namespace stowline::mail {

// Text the client recorded in the system's 8-bit code page, or UTF-8.
QString recordedText(QByteArrayView bytes);

// The bytes of one store file, read by offset: a file on disk or a member of an archive.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual qint64 size() const = 0;
    // Up to `length` bytes at `offset`; the count read (short only at the end), -1 on a read failure.
    virtual qint64 readAt(qint64 offset, char* into, qint64 length) = 0;
};

// A store file on disk; null when it cannot be opened.
std::unique_ptr<ByteSource> openFileSource(const QString& path);

// One message as the store's index lists it.
struct MessageEntry {
    int index = 0;         // the store's own message number, shown in reports
    qint64 infoOffset = 0; // where its index record lies; 0 for a message found in free space
    qint64 firstBlock = 0; // the first block of its text
    QDateTime date;        // received (or sent) time, UTC; invalid when not recorded
    QString from;          // sender name and address as the index records them
    QString subject;
    qint64 size = 0;   // length of the text as recorded (may be wrong in a damaged store)
    bool read = false; // the person has read it
};

// A message whose text could not be read whole, and why (one line, untranslated detail).
struct StoreProblem {
    int index = -1; // -1 when the problem is the store itself or its index
    QString detail;
};

// Called with each piece of a message's text, in order; false stops the reading.
using ByteSink = std::function<bool(const char* data, qint64 length)>;

// Reads one message store (.dbx). Never reads past the end of the source and never follows a
// block chain, tree link or list in a circle: every walk is bounded by the file's size and the
// objects already visited. What cannot be read is listed in problems(); the rest stays readable.
class DbxStore {
public:
    explicit DbxStore(std::unique_ptr<ByteSource> source);
    ~DbxStore();
    DbxStore(const DbxStore&) = delete;
    DbxStore& operator=(const DbxStore&) = delete;

    // False when the source is no message store at all (then messages() is empty).
    bool isMessageStore() const;
    // Every message the index lists, in index order; read from the index on first use.
    const QList<MessageEntry>& messages() const;
    // Every message the index lists, each handed to `visit` as soon as its record is read, in the
    // order the records lie in the file: a source that reads only forwards lists the store and reads
    // its messages in one pass. False when `visit` stopped; then messages() lists anew.
    bool visitInFileOrder(const std::function<bool(const MessageEntry&)>& visit);
    // The number of messages the store's header records (no reading of the index).
    int recordedCount() const;
    // Messages left in the free space after deletion, not listed by the index.
    QList<MessageEntry> recoverable();
    // Streams one message's stored text to sink; false (and a problem recorded) when its block chain
    // breaks, loops or leaves the file, or the sink stopped.
    bool readMessage(const MessageEntry& message, const ByteSink& sink);
    // Includes the index's problems once messages() was asked for.
    const QList<StoreProblem>& problems() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// One mail folder as Folders.dbx records it.
struct FolderRecord {
    int id = 0;
    int parentId = -1;
    QString name;
    QString storeFile; // the .dbx file name; empty for a folder that only holds others
};

// The folder records of a Folders.dbx; problems (if any) are appended to `problems`.
QList<FolderRecord> readFolderTree(ByteSource& source, QList<StoreProblem>* problems = nullptr);

} // namespace stowline::mail
