#include "mail/UploadRecord.h"

#include "platform/FileAccess.h"
#include "platform/FileCalls.h"
#include "platform/PrivateFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace stowline::mail {

namespace {

QByteArray field(const QString& text) { return QUrl::toPercentEncoding(text); }
QByteArray field(const QByteArray& bytes) { return bytes.toPercentEncoding(); }
QString textField(const QByteArray& raw) { return QString::fromUtf8(QByteArray::fromPercentEncoding(raw)); }

} // namespace

UploadRecord::~UploadRecord() {
    if (m_fd >= 0)
        platform::closeFile(m_fd);
}

QString UploadRecord::defaultFolder() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/stowline");
}

QString UploadRecord::entryKey(const QByteArray& mailbox, const QString& key) {
    return QString::fromLatin1(mailbox) + u'\t' + key;
}

bool UploadRecord::open(const QString& folder, const QString& account, const QString& source,
                        QString* error) {
    if (!QDir(folder).exists() &&
        (!QDir().mkpath(QFileInfo(folder).absolutePath()) || platform::makePrivateFolder(folder) != 0)) {
        *error = folder;
        return false;
    }
    const QByteArray id =
        QCryptographicHash::hash((account + u'\n' + source).toUtf8(), QCryptographicHash::Sha256);
    m_path = folder + QStringLiteral("/upload-") + QString::fromLatin1(id.toHex().left(20)) +
             QStringLiteral(".log");
    QFile existing(m_path);
    QByteArray tail;
    if (existing.open(QIODevice::ReadOnly)) {
        // Only whole lines count: a run killed while writing leaves at most one part of a line.
        while (!existing.atEnd()) {
            const QByteArray line = existing.readLine();
            if (line.endsWith('\n'))
                readLine(line.chopped(1));
            tail = line;
        }
    }
    m_fd = platform::openPrivateFile(m_path, true);
    if (m_fd < 0) {
        *error = m_path;
        return false;
    }
    if (!tail.isEmpty() && !tail.endsWith('\n') && !append("\n"))
        return *error = m_path, false;
    if (existing.size() == 0 && !append("# " + account.toUtf8() + " <- " + source.toUtf8() + '\n'))
        return *error = m_path, false;
    return true;
}

void UploadRecord::readLine(const QByteArray& line) {
    const QList<QByteArray> parts = line.split('\t');
    if (parts.value(0) == "P" && parts.size() == 6) {
        Sending entry{QByteArray::fromPercentEncoding(parts[2]), textField(parts[1]),
                      QByteArray::fromPercentEncoding(parts[3]), QDateTime(), parts[5].toLongLong()};
        if (!parts[4].isEmpty())
            entry.date = QDateTime::fromSecsSinceEpoch(parts[4].toLongLong(), Qt::UTC);
        m_sending.insert(entryKey(entry.mailbox, entry.key), entry);
    } else if (parts.value(0) == "D" && parts.size() == 5) {
        const QByteArray mailbox = QByteArray::fromPercentEncoding(parts[2]);
        const QString key = entryKey(mailbox, textField(parts[1]));
        m_confirmed.insert(key);
        m_sending.remove(key);
        if (const quint32 uid = parts[4].toUInt())
            m_uids[mailbox].insert(uid);
    }
}

bool UploadRecord::confirmed(const QByteArray& mailbox, const QString& key) const {
    return m_confirmed.contains(entryKey(mailbox, key));
}

QList<UploadRecord::Sending> UploadRecord::unconfirmed(const QByteArray& mailbox) const {
    QList<Sending> result;
    for (const Sending& entry : m_sending)
        if (entry.mailbox == mailbox)
            result.append(entry);
    return result;
}

QSet<quint32> UploadRecord::claimedUids(const QByteArray& mailbox) const { return m_uids.value(mailbox); }

bool UploadRecord::append(const QByteArray& lines) {
    qsizetype done = 0;
    while (done < lines.size()) {
        const ssize_t written =
            platform::writeFile(m_fd, lines.constData() + done, size_t(lines.size() - done));
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

bool UploadRecord::markSending(const QList<Sending>& messages) {
    QByteArray lines;
    for (const Sending& entry : messages) {
        lines += "P\t" + field(entry.key) + '\t' + field(entry.mailbox) + '\t' + field(entry.messageId) +
                 '\t' +
                 (entry.date.isValid() ? QByteArray::number(entry.date.toSecsSinceEpoch()) : QByteArray()) +
                 '\t' + QByteArray::number(entry.size) + '\n';
        m_sending.insert(entryKey(entry.mailbox, entry.key), entry);
    }
    return append(lines) && sync();
}

bool UploadRecord::markConfirmed(const QByteArray& mailbox, const QString& key, quint32 uidValidity,
                                 quint32 uid) {
    const QString entry = entryKey(mailbox, key);
    m_confirmed.insert(entry);
    m_sending.remove(entry);
    if (uid != 0)
        m_uids[mailbox].insert(uid);
    return append("D\t" + field(key) + '\t' + field(mailbox) + '\t' + QByteArray::number(uidValidity) + '\t' +
                  QByteArray::number(uid) + '\n');
}

bool UploadRecord::sync() { return platform::syncFile(m_fd) == 0; }

} // namespace stowline::mail
