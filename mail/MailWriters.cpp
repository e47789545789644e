#include "mail/MailWriters.h"

#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "platform/FileAccess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QTimeZone>
#include <cerrno>
#include <cstring>

namespace stowline::mail {

namespace {

constexpr qsizetype BufferSize = 1 << 20;

// A new file written through a large buffer; every failure is kept, not thrown.
class OutputFile {
public:
    ~OutputFile() { close(); }
    bool create(const QString& path) {
        m_fd = platform::createNewFile(QFile::encodeName(path).constData(), 0644);
        m_ok = m_fd >= 0;
        m_written = 0;
        m_buffer.reserve(BufferSize);
        return m_ok;
    }
    void write(const char* data, qint64 length) {
        if (m_buffer.size() + length > BufferSize)
            flush();
        if (length >= BufferSize)
            writeOut(data, length);
        else
            m_buffer.append(data, length);
        if (length > 0)
            m_last = data[length - 1];
    }
    void write(QByteArrayView bytes) { write(bytes.data(), bytes.size()); }
    qint64 position() const { return m_written + m_buffer.size(); }
    char lastByte() const { return m_last; }
    bool flush() {
        writeOut(m_buffer.constData(), m_buffer.size());
        m_buffer.clear();
        return m_ok;
    }
    // Drops everything after `position` (a message that could not be read whole).
    void truncate(qint64 position) {
        flush();
        if (m_ok && platform::resizeFile(m_fd, position) == 0 && platform::seekTo(m_fd, position) == position)
            m_written = position;
        else
            m_ok = false;
        m_last = '\n';
    }
    bool close() {
        if (m_fd < 0)
            return m_ok;
        flush();
        m_ok = platform::closeFile(m_fd) == 0 && m_ok;
        m_fd = -1;
        return m_ok;
    }
    bool ok() const { return m_ok; }

private:
    void writeOut(const char* data, qint64 length) {
        while (m_ok && length > 0) {
            const ssize_t n = platform::writeBytes(m_fd, data, size_t(length));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                m_ok = false;
                return;
            }
            data += n;
            length -= n;
            m_written += n;
        }
    }

    int m_fd = -1;
    bool m_ok = false;
    qint64 m_written = 0;
    QByteArray m_buffer;
    char m_last = '\n';
};

// mboxrd: one file, each message after a "From " line; a line of the message that starts with
// '>'s and "From " gets one more '>'; a blank line ends each message.
class MboxWriter final : public FolderWriter {
public:
    bool open(const QString& path) { return m_file.create(path); }
    void begin(const MessageEntry& message) override {
        m_start = m_file.position();
        m_file.write(QByteArray(MboxFromLine(message) + '\n'));
        m_lineStart = true;
        m_pending.clear();
    }
    bool write(const char* data, qint64 length) override {
        const char* p = data;
        const char* end = data + length;
        static constexpr char From[] = "From ";
        while (p < end) {
            if (m_lineStart || !m_pending.isEmpty()) {
                const qsizetype letters = matchedLetters();
                m_lineStart = false;
                if ((letters == 0 && *p == '>') || *p == From[letters]) {
                    m_pending.append(*p++);
                    if (letters + 1 == 5) {
                        m_file.write(">", 1);
                        m_file.write(m_pending);
                        m_pending.clear();
                    }
                    continue;
                }
                m_file.write(m_pending);
                m_pending.clear();
            }
            const char* newline = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
            const char* stop = newline ? newline + 1 : end;
            m_file.write(p, stop - p);
            m_lineStart = newline != nullptr;
            p = stop;
        }
        return m_file.ok();
    }
    bool commit() override {
        m_file.write(m_pending);
        m_pending.clear();
        if (m_file.lastByte() != '\n')
            m_file.write("\n", 1);
        m_file.write("\n", 1);
        return m_file.ok();
    }
    void discard() override { m_file.truncate(m_start); }
    bool healthy() const override { return m_file.ok(); }
    ~MboxWriter() override { m_file.close(); }

private:
    // How many letters of "From " the pending bytes hold after their '>'s.
    qsizetype matchedLetters() const {
        qsizetype quotes = 0;
        while (quotes < m_pending.size() && m_pending[quotes] == '>')
            ++quotes;
        return m_pending.size() - quotes;
    }

    OutputFile m_file;
    qint64 m_start = 0;
    bool m_lineStart = true;
    QByteArray m_pending;
};

// One file per message, written under a temporary name and renamed into place when complete.
class FilePerMessageWriter : public FolderWriter {
public:
    void begin(const MessageEntry& message) override {
        m_final = finalPath(message);
        m_temporary = temporaryPath(message);
        m_open = m_file.create(m_temporary);
        m_healthy = m_open || errno == EEXIST;
    }
    bool write(const char* data, qint64 length) override {
        m_file.write(data, length);
        return m_file.ok();
    }
    bool commit() override {
        if (!m_open || !m_file.close())
            return false;
        m_open = false;
        // Never replace: a name already there (a second message of the same number) gets a suffix.
        QString target = m_final;
        for (int n = 2; QFile::exists(target); ++n)
            target = withSuffix(m_final, n);
        if (platform::renamePath(QFile::encodeName(m_temporary).constData(),
                                 QFile::encodeName(target).constData()) != 0) {
            m_healthy = false;
            return false;
        }
        return true;
    }
    void discard() override {
        const bool written = m_file.close();
        QFile::remove(m_temporary);
        m_healthy = m_healthy && written;
        m_open = false;
    }
    bool healthy() const override { return m_healthy; }

protected:
    virtual QString finalPath(const MessageEntry& message) = 0;
    virtual QString temporaryPath(const MessageEntry& message) = 0;
    virtual QString withSuffix(const QString& path, int n) = 0;

private:
    OutputFile m_file;
    QString m_final, m_temporary;
    bool m_open = false;
    bool m_healthy = true;
};

class EmlWriter final : public FilePerMessageWriter {
public:
    explicit EmlWriter(QString folder) : m_folder(std::move(folder)) {}

protected:
    QString finalPath(const MessageEntry& message) override {
        return m_folder + QStringLiteral("/%1.eml").arg(message.index, 6, 10, QLatin1Char('0'));
    }
    QString temporaryPath(const MessageEntry& message) override {
        return finalPath(message) + QStringLiteral(".part");
    }
    QString withSuffix(const QString& path, int n) override {
        return path.chopped(4) + QStringLiteral("_%1.eml").arg(n);
    }

private:
    QString m_folder;
};

// Maildir: delivered through tmp/ into cur/, the read flag in the name.
class MaildirWriter final : public FilePerMessageWriter {
public:
    explicit MaildirWriter(QString folder) : m_folder(std::move(folder)) {}

protected:
    QString uniqueName(const MessageEntry& message) const {
        return QStringLiteral("%1.P%2Q%3.stowline")
            .arg(message.date.isValid() ? message.date.toSecsSinceEpoch() : 0)
            .arg(QCoreApplication::applicationPid())
            .arg(m_sequence);
    }
    QString finalPath(const MessageEntry& message) override {
        ++m_sequence;
        return m_folder + QStringLiteral("/cur/") + uniqueName(message) +
               (message.read ? QStringLiteral(":2,S") : QStringLiteral(":2,"));
    }
    QString temporaryPath(const MessageEntry& message) override {
        return m_folder + QStringLiteral("/tmp/") + uniqueName(message);
    }
    QString withSuffix(const QString& path, int n) override { return path + QString::number(n); }

private:
    QString m_folder;
    int m_sequence = 0;
};

QString htmlEscaped(const QString& text) { return text.toHtmlEscaped(); }

struct BookmarkFolder {
    QMap<QString, BookmarkFolder> folders; // sorted without regard to case by the key's folding
    QList<const FavoriteLink*> links;
};

void writeFolder(QByteArray& out, const BookmarkFolder& folder, int depth) {
    const QByteArray indent(depth * 4, ' ');
    out += indent + "<DL><p>\n";
    for (auto it = folder.folders.begin(); it != folder.folders.end(); ++it) {
        out += indent + "    <DT><H3>" + htmlEscaped(it.key().section(u'\n', 1)).toUtf8() + "</H3>\n";
        writeFolder(out, it.value(), depth + 1);
    }
    for (const FavoriteLink* link : folder.links)
        out += indent + "    <DT><A HREF=\"" + htmlEscaped(link->url).toUtf8() + "\">" +
               htmlEscaped(link->name).toUtf8() + "</A>\n";
    out += indent + "</DL><p>\n";
}

} // namespace

std::unique_ptr<FolderWriter> FolderWriter::create(MailFormat format, const QString& parent,
                                                   const QString& name) {
    const QString folder = parent + u'/' + name;
    switch (format) {
    case MailFormat::Mbox: {
        auto writer = std::make_unique<MboxWriter>();
        return writer->open(folder + QStringLiteral(".mbox")) ? std::move(writer) : nullptr;
    }
    case MailFormat::Maildir:
        for (const char* sub : {"cur", "new", "tmp"})
            if (!QDir().mkpath(folder + u'/' + QLatin1String(sub)))
                return nullptr;
        return std::make_unique<MaildirWriter>(folder);
    case MailFormat::Eml:
        if (!QDir().mkpath(folder))
            return nullptr;
        return std::make_unique<EmlWriter>(folder);
    }
    return nullptr;
}

QByteArray MboxFromLine(const MessageEntry& message) {
    static const QRegularExpression bracketed(QStringLiteral("<([^<>\\s]+@[^<>\\s]+)>"));
    static const QRegularExpression bare(QStringLiteral("^\\S+@\\S+$"));
    QString sender = bracketed.match(message.from).captured(1);
    if (sender.isEmpty() && bare.match(message.from.trimmed()).hasMatch())
        sender = message.from.trimmed();
    if (sender.isEmpty())
        sender = QStringLiteral("MAILER-DAEMON");
    const QDateTime when =
        message.date.isValid() ? message.date.toUTC() : QDateTime::fromSecsSinceEpoch(0, QTimeZone::utc());
    static const char* const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDate date = when.date();
    const QTime time = when.time();
    return "From " + sender.toUtf8() +
           QString::asprintf(" %s %s %2d %02d:%02d:%02d %d", days[date.dayOfWeek() - 1],
                             months[date.month() - 1], date.day(), time.hour(), time.minute(), time.second(),
                             date.year())
               .toLatin1();
}

bool WriteBookmarks(const QString& path, const QList<FavoriteLink>& links) {
    BookmarkFolder root;
    for (const FavoriteLink& link : links) {
        BookmarkFolder* folder = &root;
        for (const QString& name : link.folders)
            folder = &folder->folders[name.toCaseFolded() + u'\n' + name];
        folder->links.append(&link);
    }
    std::function<void(BookmarkFolder&)> sortLinks = [&](BookmarkFolder& folder) {
        std::sort(folder.links.begin(), folder.links.end(), [](const FavoriteLink* a, const FavoriteLink* b) {
            return a->name.compare(b->name, Qt::CaseInsensitive) < 0;
        });
        for (BookmarkFolder& child : folder.folders)
            sortLinks(child);
    };
    sortLinks(root);
    const QByteArray title = htmlEscaped(Str(txtBookmarksTitle)).toUtf8();
    QByteArray out = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"
                     "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n"
                     "<TITLE>" +
                     title + "</TITLE>\n<H1>" + title + "</H1>\n";
    writeFolder(out, root, 0);
    OutputFile file;
    if (!file.create(path))
        return false;
    file.write(out);
    return file.close();
}

} // namespace stowline::mail
