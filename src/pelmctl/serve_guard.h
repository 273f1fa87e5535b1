#pragma once
// What stands between the venue's network and the control room's HTTP
// server. Qt's server (6.4) bounds neither the number of connections nor how
// long a request head may take, takes a body of any length and as many
// header lines as come, and keeps answering a connection whose answers
// nobody reads. So the server reads a connection only when it holds one
// request, whole, within these bounds and addressed to this server, and
// answers it at once; nobody reads the connection again until the answer
// is taken, and then the guard waits for the next request. Each bound holds
// by construction, whatever order Qt connects its own handlers in: the
// server sees a request only when the guard is done with it.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QStringList>
#include <QTcpServer>
#include <optional>

namespace pelmctl {

/// The bounds every connection keeps.
struct ConnectionBounds {
    static constexpr int kMaxHeadBytes = 8 * 1024;  // request line and headers
    static constexpr int kMaxHeaderLines = 40;
    static constexpr int kMaxBodyBytes = 1024;  // only GET and HEAD are answered
    /// The whole head must have come by then; bytes trickling in do not
    /// extend it.
    static constexpr int kHeadDeadlineMs = 10000;
    /// The answer must have been taken by then.
    static constexpr int kAnswerDeadlineMs = 30000;
    static constexpr int kMaxConnections = 128;
    static constexpr int kMaxConnectionsPerAddress = 64;
    /// Answers on one connection before it is closed; Qt's server keeps a
    /// little for each until then.
    static constexpr int kMaxRequestsPerConnection = 100;
};

/// What the bytes of a connection so far make of its request.
struct RequestHead {
    enum class Reading {
        Incomplete,    // more bytes to come
        Complete,      // a whole request: `size` bytes, head and body
        TooLarge,      // 431: head past its bounds
        BodyTooLarge,  // 413
        Malformed,     // 400: no request line, a second request behind the first
        Misdirected,   // 421: a Host this server does not go by
    };
    Reading reading = Reading::Incomplete;
    qsizetype size = 0;
    QByteArray method;
    bool keepAlive = false;  // the client wants the connection kept for more
};

/// The names a request may give as Host: the server's own.
class HostNames {
public:
    /// For a server listening on `address`: that address (every address of
    /// this PC and its host name for 0.0.0.0 or ::), "localhost" on
    /// loopback, and `extra` names (a reverse proxy's, a DNS name).
    HostNames(const QHostAddress& address, const QStringList& extra);
    bool accepts(const QByteArray& host) const;
    const QStringList& names() const { return names_; }

private:
    QStringList names_;  // lower case, addresses without brackets
};

/// Reads `bytes`, all a connection sent so far, against the bounds.
RequestHead readRequestHead(const QByteArray& bytes, const HostNames& hosts);

/// The listening socket. Its connections go on to the server one request
/// each; past the bounds on connections, the oldest still waiting for its
/// head (else the slowest to take its answer) makes room for the newcomer.
class GuardedTcpServer : public QTcpServer {
public:
    GuardedTcpServer(HostNames hosts, QObject* parent = nullptr);
    ~GuardedTcpServer() override;

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    class Connection;
    void admit(Connection* connection);
    void awaitRequest(Connection* connection);
    void look(Connection* connection);
    void makeRoomFor(const QHostAddress& address);
    void handOver(Connection* connection, const RequestHead& head);
    void forget(Connection* connection);

    HostNames hosts_;
    QList<Connection*> connections_;  // oldest first
};

}  // namespace pelmctl
