#pragma once
// The bounds a request must keep before the HTTP server parses it: Qt's
// parser takes any number of header lines, and a request body where none is
// wanted, so this sits in front of it on each connection.

#include <QByteArray>
#include <QTcpServer>

namespace pelmctl {

/// Follows the bytes of one connection, request after request.
class RequestBounds {
public:
    static constexpr int kMaxHeadBytes = 8 * 1024;  // request line and headers
    static constexpr int kMaxHeaderLines = 40;
    static constexpr qint64 kMaxBodyBytes = 1024;  // only GET and HEAD are answered

    enum class Verdict { Within, HeadTooLarge, BodyTooLarge };

    /// Takes the next bytes received; once it answers other than Within,
    /// the connection is to be closed.
    Verdict take(const QByteArray& bytes);

private:
    Verdict headEnded();

    QByteArray head_;
    qint64 bodyLeft_ = 0;
};

/// A listening socket whose connections answer 431 or 413 and close as soon
/// as a request oversteps RequestBounds, before the server reads it, and
/// close when idle for a while, so a client that sends nothing holds no
/// connection for ever.
class GuardedTcpServer : public QTcpServer {
public:
    using QTcpServer::QTcpServer;
    static constexpr int kIdleMs = 30000;

protected:
    void incomingConnection(qintptr descriptor) override;
};

}  // namespace pelmctl
