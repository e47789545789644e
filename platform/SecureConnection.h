#pragma once

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

namespace stowline::platform {

// A TCP connection that is or becomes TLS, the server's certificate checked against the system's
// trust store or one CA file, its name against the host asked for. Every call blocks the calling
// thread until the network answers (never longer than the answer limit); not for the GUI thread.
class SecureConnection {
public:
    enum class Problem { None, Unreachable, Untrusted, Closed, TimedOut };

    SecureConnection();
    ~SecureConnection();
    SecureConnection(const SecureConnection&) = delete;
    SecureConnection& operator=(const SecureConnection&) = delete;

    // Connects; with tlsAtOnce the handshake follows at once, else startTls() does it later. An empty
    // caFile trusts the system's store, a given one trusts only the authorities in that file.
    bool open(const QString& host, quint16 port, bool tlsAtOnce, const QString& caFile);
    bool startTls();
    bool encrypted() const;

    // One line with its line end; nothing when the connection failed.
    std::optional<QByteArray> readLine();
    // Exactly `count` bytes.
    std::optional<QByteArray> read(qint64 count);
    // Queues the bytes; waits only while much is still unsent, so a pipeline stays full.
    bool write(const QByteArray& data);
    // Waits until everything queued is on its way.
    bool flush();
    void close();

    Problem problem() const { return m_problem; }
    // What went wrong, one line in the network library's words.
    QString problemText() const { return m_problemText; }

private:
    bool fail(Problem problem, const QString& text);
    bool waitForInput();

    struct Impl;
    std::unique_ptr<Impl> d;
    Problem m_problem = Problem::None;
    QString m_problemText;
};

// Reads one line from the controlling terminal with echo off, after showing the prompt there;
// nothing when the process has no terminal.
std::optional<QByteArray> ReadHiddenLine(const QString& prompt);

} // namespace stowline::platform
