#include "mail/ImapClient.h"

#include "platform/SecureConnection.h"

#include <QRegularExpression>
#include <QTimeZone>
#include <QUrl>

namespace stowline::mail {

namespace {

constexpr std::array<const char*, 12> MonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
// The largest literal a server with only LITERAL- takes without asking.
constexpr qint64 SmallLiteral = 4096;
// Message bytes are handed to the connection in pieces of about this size.
constexpr qsizetype SendPiece = 256 * 1024;

QString decoded(const QString& text) { return QUrl::fromPercentEncoding(text.toUtf8()); }

QByteArray quoted(QByteArrayView text) {
    QByteArray result = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            result += '\\';
        result += c;
    }
    return result + '"';
}

QByteArray atomWord(QByteArrayView text) {
    const qsizetype space = text.indexOf(' ');
    return (space < 0 ? text : text.first(space)).toByteArray().toUpper();
}

// "03-Mar-2003 09:10:00 +0000" back to a point in time; invalid when it is not one.
QDateTime parseImapDateTime(const QByteArray& text) {
    static const QRegularExpression pattern(QStringLiteral(
        "^\\s*(\\d{1,2})-([A-Za-z]{3})-(\\d{4}) (\\d\\d):(\\d\\d):(\\d\\d) ([+-])(\\d\\d)(\\d\\d)$"));
    const QRegularExpressionMatch m = pattern.match(QString::fromLatin1(text));
    if (!m.hasMatch())
        return {};
    int month = 0;
    for (int i = 0; i < 12; ++i)
        if (m.captured(2).compare(QLatin1String(MonthNames[i]), Qt::CaseInsensitive) == 0)
            month = i + 1;
    const int offset =
        (m.captured(8).toInt() * 3600 + m.captured(9).toInt() * 60) * (m.captured(7) == u'-' ? -1 : 1);
    return QDateTime(QDate(m.captured(3).toInt(), month, m.captured(1).toInt()),
                     QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt()),
                     QTimeZone(offset));
}

QByteArray searchDate(const QDate& day) {
    return QByteArray::number(day.day()) + '-' + MonthNames[day.month() - 1] + '-' +
           QByteArray::number(day.year());
}

} // namespace

QString ImapAccount::name() const { return user + u'@' + host + u':' + QString::number(port); }

std::optional<ImapAccount> ParseImapAddress(const QString& address, QString* error) {
    ImapAccount account;
    QString rest;
    if (address.startsWith(QLatin1String("imaps://"), Qt::CaseInsensitive)) {
        rest = address.mid(8);
    } else if (address.startsWith(QLatin1String("imap://"), Qt::CaseInsensitive)) {
        rest = address.mid(7);
        account.tlsAtOnce = false;
        account.port = 143;
    } else {
        *error = QStringLiteral("imaps://USER@HOST[:PORT][/FOLDER]");
        return std::nullopt;
    }
    const qsizetype slash = rest.indexOf(u'/');
    const QString authority = slash < 0 ? rest : rest.left(slash);
    const qsizetype at = authority.lastIndexOf(u'@');
    QString hostPort = authority.mid(at + 1);
    account.user = decoded(authority.left(std::max<qsizetype>(at, 0)));
    QString portText;
    if (hostPort.startsWith(u'[')) {
        const qsizetype close = hostPort.indexOf(u']');
        account.host = hostPort.mid(1, close - 1);
        portText = close > 0 ? hostPort.mid(close + 1) : QString();
    } else {
        const qsizetype colon = hostPort.lastIndexOf(u':');
        account.host = colon < 0 ? hostPort : hostPort.left(colon);
        portText = colon < 0 ? QString() : hostPort.mid(colon);
    }
    if (!portText.isEmpty()) {
        bool number = false;
        const uint port = portText.startsWith(u':') ? portText.mid(1).toUInt(&number) : 0;
        if (!number || port == 0 || port > 65535) {
            *error = QStringLiteral("port: ") + portText;
            return std::nullopt;
        }
        account.port = quint16(port);
    }
    if (at <= 0 || account.user.isEmpty() || account.host.isEmpty()) {
        *error = QStringLiteral("imaps://USER@HOST[:PORT][/FOLDER]");
        return std::nullopt;
    }
    if (slash >= 0)
        for (const QString& level : rest.mid(slash + 1).split(u'/', Qt::SkipEmptyParts))
            if (const QString name = decoded(level).trimmed(); !name.isEmpty())
                account.folder << name;
    if (account.folder.isEmpty())
        account.folder << QStringLiteral("Old Mail");
    return account;
}

QByteArray ModifiedUtf7(const QString& name) {
    QByteArray result;
    QByteArray pending; // UTF-16BE of the characters not written as themselves
    auto closeShift = [&] {
        if (pending.isEmpty())
            return;
        QByteArray encoded = pending.toBase64(QByteArray::OmitTrailingEquals);
        encoded.replace('/', ',');
        result += '&' + encoded + '-';
        pending.clear();
    };
    for (const QChar c : name) {
        const char16_t unit = c.unicode();
        if (unit >= 0x20 && unit <= 0x7e) {
            closeShift();
            result += unit == u'&' ? QByteArray("&-") : QByteArray(1, char(unit));
        } else {
            pending += char(unit >> 8);
            pending += char(unit & 0xff);
        }
    }
    closeShift();
    return result;
}

QByteArray ImapDateTime(const QDateTime& when) {
    const int offset = when.offsetFromUtc();
    const QDateTime local = when.toOffsetFromUtc(offset);
    const int minutes = std::abs(offset) / 60;
    return QStringLiteral("%1-%2-%3 %4 %5%6%7")
        .arg(local.date().day(), 2, 10, QLatin1Char('0'))
        .arg(QLatin1String(MonthNames[local.date().month() - 1]))
        .arg(local.date().year(), 4, 10, QLatin1Char('0'))
        .arg(local.time().toString(QStringLiteral("HH:mm:ss")))
        .arg(QChar(offset < 0 ? u'-' : u'+'))
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'))
        .toLatin1();
}

ImapClient::ImapClient(platform::SecureConnection& connection) : m_connection(connection) {}

bool ImapClient::fail(const QString& text) {
    if (m_failure.isEmpty())
        m_failure = text;
    return false;
}

QByteArray ImapClient::nextTag() { return 'A' + QByteArray::number(++m_nextTag); }

bool ImapClient::hasCapability(const QByteArray& name) const { return m_capabilities.contains(name); }

void ImapClient::readCapabilities(const QByteArray& text) {
    m_capabilities.clear();
    for (const QByteArray& word : text.split(' '))
        if (!word.isEmpty())
            m_capabilities.insert(word.toUpper());
    for (const QByteArray& word : std::as_const(m_capabilities))
        if (word.startsWith("APPENDLIMIT="))
            m_appendLimit = word.mid(12).toLongLong();
}

std::optional<ImapClient::Response> ImapClient::readResponse() {
    std::optional<QByteArray> line = m_connection.readLine();
    if (!line)
        return std::nullopt;
    QByteArray whole;
    // A line that ends in {n} goes on after n bytes of literal.
    static const QRegularExpression literal(QStringLiteral("\\{(\\d+)\\}\\r?\\n$"));
    for (;;) {
        whole += *line;
        const QRegularExpressionMatch m = literal.match(QString::fromLatin1(*line));
        if (!m.hasMatch())
            break;
        whole.chop(m.capturedLength());
        std::optional<QByteArray> data = m_connection.read(m.captured(1).toLongLong());
        if (!data || !(line = m_connection.readLine()))
            return std::nullopt;
        whole += *data;
    }
    while (whole.endsWith('\n') || whole.endsWith('\r'))
        whole.chop(1);
    const qsizetype space = whole.indexOf(' ');
    return Response{space < 0 ? whole : whole.left(space), space < 0 ? QByteArray() : whole.mid(space + 1)};
}

bool ImapClient::dispatch(const Response& response) {
    if (response.tag == "*") {
        m_untagged.append(response.text);
        return true;
    }
    if (response.tag == "+") {
        m_continuation = true;
        return true;
    }
    if (const auto pending = m_appends.find(response.tag); pending != m_appends.end()) {
        const AppendDone done = std::move(pending.value());
        m_appends.erase(pending);
        AppendOutcome outcome;
        outcome.stored = atomWord(response.text) == "OK";
        static const QRegularExpression appendUid(QStringLiteral("\\[APPENDUID (\\d+) (\\d+)\\]"),
                                                  QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch m = appendUid.match(QString::fromLatin1(response.text));
        // Only a server that announces UIDPLUS is taken at its APPENDUID: UID EXPUNGE needs the same.
        if (m.hasMatch() && hasCapability("UIDPLUS")) {
            outcome.uidValidity = m.captured(1).toUInt();
            outcome.uid = m.captured(2).toUInt();
        }
        outcome.serverText = QString::fromUtf8(response.text.mid(response.text.indexOf(' ') + 1));
        done(outcome);
        return true;
    }
    if (response.tag == m_waitingTag) {
        const QByteArray status = atomWord(response.text);
        m_completion = Completion{status, response.text.mid(status.size() + 1), m_untagged};
    }
    return true;
}

bool ImapClient::sendCommandLine(const QByteArray& tag, const QByteArray& line) {
    return m_connection.write(tag + ' ' + line + "\r\n") || fail(m_connection.problemText());
}

std::optional<ImapClient::Completion> ImapClient::run(const QByteArray& command) {
    if (!awaitAppends())
        return std::nullopt;
    m_waitingTag = nextTag();
    m_completion.reset();
    m_untagged.clear();
    if (!sendCommandLine(m_waitingTag, command) || !m_connection.flush())
        return fail(m_connection.problemText()), std::nullopt;
    while (!m_completion) {
        const std::optional<Response> response = readResponse();
        if (!response)
            return fail(m_connection.problemText()), std::nullopt;
        dispatch(*response);
    }
    return m_completion;
}

bool ImapClient::commandFailed(const QByteArray& command, const Completion& completion) {
    return fail(QString::fromLatin1(command) + QStringLiteral(": ") + QString::fromUtf8(completion.text));
}

bool ImapClient::refreshCapabilities() {
    const std::optional<Completion> done = run("CAPABILITY");
    if (!done)
        return false;
    for (const QByteArray& line : done->untagged)
        if (atomWord(line) == "CAPABILITY")
            readCapabilities(line.mid(11));
    return done->status == "OK" || commandFailed("CAPABILITY", *done);
}

bool ImapClient::start() {
    const std::optional<Response> greeting = readResponse();
    if (!greeting)
        return fail(m_connection.problemText());
    if (greeting->tag != "*" || (atomWord(greeting->text) != "OK" && atomWord(greeting->text) != "PREAUTH"))
        return fail(QString::fromUtf8(greeting->text));
    if (!refreshCapabilities())
        return false;
    if (m_connection.encrypted())
        return true;
    if (!hasCapability("STARTTLS"))
        return fail(QStringLiteral("the server does not offer STARTTLS"));
    const std::optional<Completion> done = run("STARTTLS");
    if (!done)
        return false;
    if (done->status != "OK")
        return commandFailed("STARTTLS", *done);
    if (!m_connection.startTls())
        return fail(m_connection.problemText());
    // What was said before TLS cannot be trusted.
    return refreshCapabilities();
}

std::optional<ImapClient::Completion> ImapClient::authenticatePlain(const QString& user,
                                                                    const QByteArray& password) {
    const QByteArray response = QByteArray(QByteArray(1, '\0') + user.toUtf8() + '\0' + password).toBase64();
    if (hasCapability("SASL-IR"))
        return run("AUTHENTICATE PLAIN " + response);
    m_waitingTag = nextTag();
    m_completion.reset();
    m_continuation = false;
    if (!sendCommandLine(m_waitingTag, "AUTHENTICATE PLAIN") || !m_connection.flush() ||
        !waitForContinuation())
        return std::nullopt;
    if (!m_completion && (!m_connection.write(response + "\r\n") || !m_connection.flush()))
        return fail(m_connection.problemText()), std::nullopt;
    while (!m_completion) {
        const std::optional<Response> answer = readResponse();
        if (!answer)
            return fail(m_connection.problemText()), std::nullopt;
        dispatch(*answer);
    }
    return m_completion;
}

bool ImapClient::login(const QString& user, const QByteArray& password) {
    std::optional<Completion> done;
    if (hasCapability("AUTH=PLAIN")) {
        done = authenticatePlain(user, password);
    } else if (hasCapability("LOGINDISABLED")) {
        return fail(QStringLiteral("the server takes neither LOGIN nor AUTHENTICATE PLAIN"));
    } else {
        // A password with line ends or 8-bit characters cannot be quoted: it goes as a literal.
        const bool plain =
            std::all_of(password.begin(), password.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
        if (plain) {
            done = run("LOGIN " + quoted(user.toUtf8()) + ' ' + quoted(password));
        } else {
            m_waitingTag = nextTag();
            m_completion.reset();
            m_continuation = false;
            const QByteArray line =
                "LOGIN " + quoted(user.toUtf8()) + " {" + QByteArray::number(password.size()) + '}';
            if (!sendCommandLine(m_waitingTag, line) || !m_connection.flush() || !waitForContinuation())
                return false;
            if (!m_completion && (!m_connection.write(password + "\r\n") || !m_connection.flush()))
                return fail(m_connection.problemText());
            while (!m_completion) {
                const std::optional<Response> answer = readResponse();
                if (!answer)
                    return fail(m_connection.problemText());
                dispatch(*answer);
            }
            done = m_completion;
        }
    }
    if (!done)
        return false;
    if (done->status != "OK") {
        m_loginRefused = true;
        return fail(QString::fromUtf8(done->text));
    }
    return refreshCapabilities();
}

bool ImapClient::learnHierarchy() {
    static const QRegularExpression personal(
        QStringLiteral("^NAMESPACE \\(\\(\"((?:[^\"\\\\]|\\\\.)*)\" (?:\"(\\\\?.)\"|NIL)"),
        QRegularExpression::CaseInsensitiveOption);
    if (hasCapability("NAMESPACE")) {
        const std::optional<Completion> done = run("NAMESPACE");
        if (!done)
            return false;
        for (const QByteArray& line : done->untagged) {
            const QRegularExpressionMatch m = personal.match(QString::fromUtf8(line));
            if (m.hasMatch()) {
                m_prefix = m.captured(1);
                if (!m.captured(2).isEmpty())
                    m_separator = m.captured(2).back();
                return true;
            }
        }
    }
    const std::optional<Completion> done = run("LIST \"\" \"\"");
    if (!done)
        return false;
    static const QRegularExpression list(QStringLiteral("^LIST \\([^)]*\\) \"(\\\\?.)\""),
                                         QRegularExpression::CaseInsensitiveOption);
    for (const QByteArray& line : done->untagged)
        if (const QRegularExpressionMatch m = list.match(QString::fromUtf8(line)); m.hasMatch())
            m_separator = m.captured(1).back();
    return done->status == "OK" || commandFailed("LIST", *done);
}

bool ImapClient::createFolder(const QByteArray& mailbox) {
    const std::optional<Completion> created = run("CREATE " + quoted(mailbox));
    if (!created)
        return false;
    if (created->status != "OK") {
        const std::optional<Completion> listed = run("LIST \"\" " + quoted(mailbox));
        if (!listed)
            return false;
        if (listed->untagged.isEmpty())
            return commandFailed("CREATE " + quoted(mailbox), *created);
    }
    // Phones and webmail show only subscribed folders.
    const std::optional<Completion> subscribed = run("SUBSCRIBE " + quoted(mailbox));
    return subscribed.has_value();
}

bool ImapClient::removeMessages(const QByteArray& mailbox, const QList<quint32>& uids) {
    if (!hasCapability("UIDPLUS"))
        return false;
    QByteArray set;
    for (const quint32 uid : uids)
        set += (set.isEmpty() ? "" : ",") + QByteArray::number(uid);
    if (!select(mailbox))
        return false;
    const std::optional<Completion> flagged = run("UID STORE " + set + " +FLAGS.SILENT (\\Deleted)");
    if (!flagged || flagged->status != "OK")
        return flagged && commandFailed("UID STORE", *flagged);
    const std::optional<Completion> expunged = run("UID EXPUNGE " + set);
    return expunged && (expunged->status == "OK" || commandFailed("UID EXPUNGE", *expunged));
}

bool ImapClient::select(const QByteArray& mailbox) {
    const std::optional<Completion> done = run("SELECT " + quoted(mailbox));
    return done && (done->status == "OK" || commandFailed("SELECT " + quoted(mailbox), *done));
}

bool ImapClient::waitForContinuation() {
    while (!m_continuation && !m_completion && !m_failure.size()) {
        const std::optional<Response> response = readResponse();
        if (!response)
            return fail(m_connection.problemText());
        dispatch(*response);
    }
    m_continuation = false;
    return m_failure.isEmpty();
}

bool ImapClient::append(const QByteArray& mailbox, bool seen, const QDateTime& date, qint64 size,
                        const BodyWriter& body, AppendDone done) {
    const bool withoutAsking =
        hasCapability("LITERAL+") || (hasCapability("LITERAL-") && size <= SmallLiteral);
    QByteArray line = "APPEND " + quoted(mailbox);
    if (seen)
        line += " (\\Seen)";
    if (date.isValid())
        line += " \"" + ImapDateTime(date) + '"';
    line += " {" + QByteArray::number(size) + (withoutAsking ? "+}" : "}");
    const QByteArray tag = nextTag();
    m_appends.insert(tag, std::move(done));
    if (!sendCommandLine(tag, line))
        return false;
    if (!withoutAsking) {
        if (!m_connection.flush())
            return fail(m_connection.problemText());
        m_waitingTag = tag; // a refusal instead of "+" ends the wait
        m_completion.reset();
        while (!m_continuation && m_appends.contains(tag)) {
            const std::optional<Response> response = readResponse();
            if (!response)
                return fail(m_connection.problemText());
            dispatch(*response);
        }
        m_waitingTag.clear();
        const bool asked = m_continuation;
        m_continuation = false;
        if (!asked)
            return true; // refused before the text was sent
    }
    QByteArray piece;
    qint64 sent = 0;
    const bool written = body([&](const char* data, qint64 length) {
        sent += length;
        piece.append(data, length);
        if (piece.size() < SendPiece)
            return true;
        const bool ok = m_connection.write(piece);
        piece.clear();
        return ok;
    });
    if (!written || sent != size)
        return fail(QStringLiteral("the message changed while it was sent"));
    return m_connection.write(piece + "\r\n") || fail(m_connection.problemText());
}

bool ImapClient::awaitAppends(int inFlight) {
    if (m_appends.size() > inFlight && !m_connection.flush())
        return fail(m_connection.problemText());
    while (m_appends.size() > inFlight) {
        const std::optional<Response> response = readResponse();
        if (!response)
            return fail(m_connection.problemText());
        dispatch(*response);
    }
    return true;
}

std::optional<QList<quint32>> ImapClient::findMessages(const QByteArray& mailbox, const QByteArray& messageId,
                                                       const QDateTime& date, qint64 size) {
    const std::optional<Completion> examined = run("EXAMINE " + quoted(mailbox));
    if (!examined)
        return std::nullopt;
    if (examined->status != "OK")
        return QList<quint32>{}; // no such folder: nothing of ours in it
    QByteArray criteria =
        "LARGER " + QByteArray::number(size - 1) + " SMALLER " + QByteArray::number(size + 1);
    if (!messageId.isEmpty())
        criteria += " HEADER Message-ID " + quoted(messageId);
    if (date.isValid()) // INTERNALDATE's day is the server's: a day either side
        criteria +=
            " SINCE " + searchDate(date.date().addDays(-1)) + " BEFORE " + searchDate(date.date().addDays(2));
    const std::optional<Completion> searched = run("UID SEARCH " + criteria);
    if (!searched)
        return std::nullopt;
    QList<quint32> candidates;
    for (const QByteArray& line : searched->untagged)
        if (atomWord(line) == "SEARCH")
            for (const QByteArray& word : line.mid(6).split(' '))
                if (const quint32 uid = word.toUInt())
                    candidates << uid;
    if (candidates.isEmpty() || !date.isValid())
        return candidates;
    QByteArray set;
    for (const quint32 uid : candidates)
        set += (set.isEmpty() ? "" : ",") + QByteArray::number(uid);
    const std::optional<Completion> fetched = run("UID FETCH " + set + " (INTERNALDATE)");
    if (!fetched)
        return std::nullopt;
    static const QRegularExpression item(
        QStringLiteral("UID (\\d+).*INTERNALDATE \"([^\"]*)\"|INTERNALDATE \"([^\"]*)\".*UID (\\d+)"));
    QList<quint32> found;
    for (const QByteArray& line : fetched->untagged) {
        const QRegularExpressionMatch m = item.match(QString::fromLatin1(line));
        if (!m.hasMatch())
            continue;
        const quint32 uid = (m.captured(1).isEmpty() ? m.captured(4) : m.captured(1)).toUInt();
        const QDateTime stored =
            parseImapDateTime((m.captured(2).isEmpty() ? m.captured(3) : m.captured(2)).toLatin1());
        if (stored.toSecsSinceEpoch() == date.toSecsSinceEpoch())
            found << uid;
    }
    return found;
}

void ImapClient::logout() {
    if (run("LOGOUT"))
        m_connection.close();
}

} // namespace stowline::mail
