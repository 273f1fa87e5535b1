#pragma once
// What stands between the venue's network and the control room's HTTP
// server. Qt's server (6.4) bounds neither the number of connections nor how
// long a request head may take, takes a body of any length and as many
// header lines as come, and keeps answering a connection whose answers
// nobody reads. So the server reads a connection only when it holds one
// request, whole, within the bounds of serve_head.h and addressed to this
// server, and answers it at once; nobody reads the connection again until
// the answer is taken, and then the guard waits for the next request. Each
// bound holds by construction, whatever order Qt connects its own handlers
// in: the server sees a request only when the guard is done with it.
//
// Room for a newcomer, and memory for an answer, is made by closing the
// connections that cost the most: those of the address that holds the most
// first, within it the one waiting longest for a request, else the one
// slowest to take its answer; never one whose answer is on its way on time.
// A laptop that floods the server from a few addresses pays for its own
// connections, and a browser beside it keeps being answered.

#include <QHostAddress>
#include <QList>
#include <QTcpServer>

#include "pelmctl/serve_head.h"

namespace pelmctl {

/// The bounds every connection keeps.
struct ConnectionBounds {
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
    /// Answers not yet taken, held for clients that read slowly: all
    /// together, and from one address.
    static constexpr qint64 kMaxQueuedBytes = 48 * 1024 * 1024;
    static constexpr qint64 kMaxQueuedBytesPerAddress = 8 * 1024 * 1024;
    /// An answer under way for less than this is on time: its connection is
    /// never closed to make room for another.
    static constexpr int kOnTimeMs = 100;
    /// Connections the system holds until the server takes them: a flood of
    /// them must not make a newcomer's wait for its turn.
    static constexpr int kListenBacklog = 1024;
};

/// The listening socket. Its connections go on to the server one request
/// each, within the bounds above.
class GuardedTcpServer : public QTcpServer {
public:
    GuardedTcpServer(HostNames hosts, QObject* parent = nullptr);
    ~GuardedTcpServer() override;

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    class Connection;
    // What room is made for: a newcomer, an answer's bytes, an answer's
    // bytes within its own address's bound.
    enum class Room { ForConnection, ForAnswer, ForOwnAnswer };

    void admit(Connection* connection);
    void awaitRequest(Connection* connection);
    void look(Connection* connection);
    bool makeRoomFor(const QString& address);
    void keepQueuedBytes(Connection* answered);
    bool closeForBytes(const Connection* answered, qint64 floor);
    bool closeCostliest(const QList<Connection*>& among, const Connection* keep, Room room);
    QList<QList<Connection*>> byAddress(Room room) const;
    void handOver(Connection* connection, const RequestHead& head);
    void forget(Connection* connection);

    HostNames hosts_;
    QList<Connection*> connections_;  // oldest first
};

}  // namespace pelmctl
