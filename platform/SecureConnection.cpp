#include "platform/SecureConnection.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace stowline::platform {

namespace {

// A server that says nothing for this long is taken as gone.
constexpr int AnswerLimitMs = 120'000;
// Enough unsent bytes to keep a fast link busy, little enough to keep memory flat.
constexpr qint64 WriteQueueLimit = 4 * 1024 * 1024;

} // namespace

struct SecureConnection::Impl {
    QSslSocket socket;
};

SecureConnection::SecureConnection() : d(std::make_unique<Impl>()) {}

SecureConnection::~SecureConnection() = default;

bool SecureConnection::fail(Problem problem, const QString& text) {
    if (m_problem == Problem::None) {
        m_problem = problem;
        m_problemText = text;
    }
    d->socket.abort();
    return false;
}

bool SecureConnection::open(const QString& host, quint16 port, bool tlsAtOnce, const QString& caFile) {
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    if (!caFile.isEmpty()) {
        const QList<QSslCertificate> authorities = QSslCertificate::fromPath(caFile, QSsl::Pem);
        if (authorities.isEmpty())
            return fail(Problem::Untrusted, QStringLiteral("no certificate in ") + caFile);
        config.setCaCertificates(authorities);
    }
    d->socket.setSslConfiguration(config);
    d->socket.setPeerVerifyName(host);
    d->socket.connectToHost(host, port);
    if (!d->socket.waitForConnected(AnswerLimitMs))
        return fail(Problem::Unreachable, d->socket.errorString());
    // Pipelined commands are small writes that must not wait for the previous one's acknowledgement.
    d->socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    return !tlsAtOnce || startTls();
}

bool SecureConnection::startTls() {
    d->socket.startClientEncryption();
    if (d->socket.waitForEncrypted(AnswerLimitMs))
        return true;
    const QList<QSslError> errors = d->socket.sslHandshakeErrors();
    if (!errors.isEmpty())
        return fail(Problem::Untrusted, errors.constFirst().errorString());
    return fail(Problem::Closed, d->socket.errorString());
}

bool SecureConnection::encrypted() const { return d->socket.isEncrypted(); }

bool SecureConnection::waitForInput() {
    if (d->socket.waitForReadyRead(AnswerLimitMs))
        return true;
    if (d->socket.error() == QAbstractSocket::SocketTimeoutError)
        return fail(Problem::TimedOut, d->socket.errorString());
    return fail(Problem::Closed, d->socket.errorString());
}

std::optional<QByteArray> SecureConnection::readLine() {
    while (!d->socket.canReadLine())
        if (!waitForInput())
            return std::nullopt;
    return d->socket.readLine();
}

std::optional<QByteArray> SecureConnection::read(qint64 count) {
    QByteArray data;
    while (data.size() < count) {
        if (d->socket.bytesAvailable() == 0 && !waitForInput())
            return std::nullopt;
        data += d->socket.read(count - data.size());
    }
    return data;
}

bool SecureConnection::write(const QByteArray& data) {
    if (d->socket.state() != QAbstractSocket::ConnectedState)
        return fail(Problem::Closed, d->socket.errorString());
    d->socket.write(data);
    while (d->socket.bytesToWrite() + d->socket.encryptedBytesToWrite() > WriteQueueLimit)
        if (!d->socket.waitForBytesWritten(AnswerLimitMs))
            return fail(Problem::Closed, d->socket.errorString());
    return true;
}

bool SecureConnection::flush() {
    while (d->socket.bytesToWrite() + d->socket.encryptedBytesToWrite() > 0)
        if (!d->socket.waitForBytesWritten(AnswerLimitMs))
            return fail(Problem::Closed, d->socket.errorString());
    return true;
}

void SecureConnection::close() {
    if (d->socket.state() == QAbstractSocket::ConnectedState) {
        d->socket.disconnectFromHost();
        if (d->socket.state() != QAbstractSocket::UnconnectedState)
            d->socket.waitForDisconnected(2000);
    }
}

std::optional<QByteArray> ReadHiddenLine(const QString& prompt) {
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    const QByteArray shown = prompt.toLocal8Bit();
    (void)!::write(fd, shown.constData(), shown.size());
    termios before{};
    const bool isTerminal = ::tcgetattr(fd, &before) == 0;
    if (isTerminal) {
        termios hidden = before;
        hidden.c_lflag &= ~tcflag_t(ECHO);
        hidden.c_lflag |= ECHONL;
        ::tcsetattr(fd, TCSAFLUSH, &hidden);
    }
    QByteArray line;
    char c = 0;
    while (::read(fd, &c, 1) == 1 && c != '\n')
        line += c;
    if (isTerminal)
        ::tcsetattr(fd, TCSAFLUSH, &before);
    ::close(fd);
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

} // namespace stowline::platform
