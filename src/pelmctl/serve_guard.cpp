#include "pelmctl/serve_guard.h"

#include <QElapsedTimer>
#include <QHash>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>

namespace pelmctl {

using Reading = RequestHead::Reading;

// One client's connection, the guard's while a request comes (it reads
// nothing, only looks at what has come), the server's while it answers it.
// Nobody reads it while an answer is on its way, so a client that does not
// take its answers sends nothing more either. A HEAD request's answer goes
// without the body Qt's server writes for it.
class GuardedTcpServer::Connection : public QTcpSocket {
public:
    enum class Stage { Request, Answer };

    explicit Connection(QObject* parent) : QTcpSocket(parent), deadline_(this) {
        deadline_.setSingleShot(true);
    }

    Stage stage() const { return stage_; }
    qint64 stageMs() const { return since_.elapsed(); }
    /// The peer's address, as it was when the connection came.
    const QString& address() const { return address_; }
    void noteAddress() { address_ = peerAddress().toString(); }
    bool answeredOnTime() const {
        return stage_ == Stage::Answer && since_.elapsed() < ConnectionBounds::kOnTimeMs;
    }
    QTimer& deadline() { return deadline_; }
    bool lastAnswer() const {
        return !keepAlive_ || answers_ >= ConnectionBounds::kMaxRequestsPerConnection;
    }

    void awaitRequest() { enter(Stage::Request, ConnectionBounds::kHeadDeadlineMs); }

    void answer(const RequestHead& head) {
        enter(Stage::Answer, ConnectionBounds::kAnswerDeadlineMs);
        bodyless_ = head.method == "HEAD";
        headSent_ = false;
        tail_.clear();
        keepAlive_ = head.keepAlive;
        ++answers_;
    }

    void refuse(Reading reading) {
        readAll();
        enter(Stage::Answer, ConnectionBounds::kAnswerDeadlineMs);
        keepAlive_ = false;
        write("HTTP/1.1 " + refusalStatus(reading) +
              "\r\nContent-Length: 0\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n");
        disconnectFromHost();
    }

protected:
    qint64 writeData(const char* data, qint64 size) override {
        if (!bodyless_) return QTcpSocket::writeData(data, size);
        if (headSent_) return size;  // taken, and dropped
        const QByteArray seen = tail_ + QByteArray(data, size);
        const qsizetype end = seen.indexOf("\r\n\r\n");
        const qsizetype pass = end < 0 ? size : end + 4 - tail_.size();
        headSent_ = end >= 0;
        tail_ = seen.right(3);
        const qint64 written = QTcpSocket::writeData(data, pass);
        return written < 0 ? written : size;
    }

private:
    void enter(Stage stage, int deadlineMs) {
        stage_ = stage;
        since_.start();
        deadline_.start(deadlineMs);
    }

    QTimer deadline_;
    QElapsedTimer since_;
    QString address_;
    Stage stage_ = Stage::Request;
    int answers_ = 0;
    bool keepAlive_ = true;
    bool bodyless_ = false;
    bool headSent_ = false;
    QByteArray tail_;
};

namespace {

template <class Connections>
qint64 queuedBytes(const Connections& connections) {
    qint64 bytes = 0;
    for (const auto* connection : connections) bytes += connection->bytesToWrite();
    return bytes;
}

}  // namespace

GuardedTcpServer::GuardedTcpServer(HostNames hosts, QObject* parent)
    : QTcpServer(parent), hosts_(std::move(hosts)) {
    setListenBacklogSize(ConnectionBounds::kListenBacklog);
}

GuardedTcpServer::~GuardedTcpServer() = default;

void GuardedTcpServer::incomingConnection(qintptr descriptor) {
    auto* connection = new Connection(this);
    if (!connection->setSocketDescriptor(descriptor)) {
        delete connection;
        return;
    }
    connection->noteAddress();
    if (!makeRoomFor(connection->address())) {
        connection->abort();  // every connection is being answered on time
        delete connection;
        return;
    }
    admit(connection);
}

void GuardedTcpServer::admit(Connection* connection) {
    connections_.append(connection);
    connection->setReadBufferSize(HeadBounds::kMaxHeadBytes + HeadBounds::kMaxBodyBytes + 1);
    connect(connection, &QObject::destroyed, this, [this, connection] { forget(connection); });
    connect(connection, &QTcpSocket::disconnected, connection, &QObject::deleteLater);
    connect(&connection->deadline(), &QTimer::timeout, connection, [connection] {
        if (connection->stage() == Connection::Stage::Request)
            connection->refuse(Reading::Incomplete);
        else
            connection->abort();
    });
    connect(connection, &QTcpSocket::bytesWritten, this, [this, connection] {
        if (connection->stage() == Connection::Stage::Answer && connection->bytesToWrite() == 0 &&
            connection->state() == QAbstractSocket::ConnectedState)
            awaitRequest(connection);
    });
    awaitRequest(connection);
}

void GuardedTcpServer::awaitRequest(Connection* connection) {
    connection->awaitRequest();
    connect(connection, &QTcpSocket::readyRead, this, [this, connection] { look(connection); });
    if (connection->bytesAvailable() > 0) look(connection);
}

// What has come so far: a whole request goes to the server, anything past
// the bounds is refused, and the rest waits for more.
void GuardedTcpServer::look(Connection* connection) {
    const RequestHead head =
        readRequestHead(connection->peek(connection->bytesAvailable()), hosts_);
    if (head.reading == Reading::Complete) return handOver(connection, head);
    const bool full = connection->bytesAvailable() >= connection->readBufferSize();
    if (head.reading != Reading::Incomplete) {
        connection->refuse(head.reading);
    } else if (full) {
        connection->refuse(Reading::TooLarge);
    }
}

// Past a bound on connections, one goes: of the newcomer's own address when
// that address has its fill, else of the address with the most, and never
// of an address with no more than the newcomer's own. False when there is
// none to close: every candidate is being answered on time.
bool GuardedTcpServer::makeRoomFor(const QString& address) {
    QList<Connection*> same;
    for (Connection* connection : connections_) {
        if (connection->address() == address) same.append(connection);
    }
    if (same.size() >= ConnectionBounds::kMaxConnectionsPerAddress)
        return closeCostliest(same, nullptr, Room::ForConnection);
    if (connections_.size() < ConnectionBounds::kMaxConnections) return true;
    for (const QList<Connection*>& group : byAddress(Room::ForConnection)) {
        const bool own = group.first()->address() == address;
        if (!own && group.size() <= same.size()) break;  // the rest have fewer
        if (closeCostliest(group, nullptr, Room::ForConnection)) return true;
    }
    return false;
}

// An answer just queued may take the held bytes past their bounds: the
// answered address's own slowest answers go first, then those of the
// address that holds the most, never of one that holds less than the
// answered address.
void GuardedTcpServer::keepQueuedBytes(Connection* answered) {
    const auto sameAddress = [&] {
        QList<Connection*> same;
        for (Connection* connection : connections_) {
            if (connection->address() == answered->address()) same.append(connection);
        }
        return same;
    };
    while (queuedBytes(sameAddress()) > ConnectionBounds::kMaxQueuedBytesPerAddress &&
           closeCostliest(sameAddress(), answered, Room::ForOwnAnswer)) {
    }
    while (queuedBytes(connections_) > ConnectionBounds::kMaxQueuedBytes &&
           closeForBytes(answered, queuedBytes(sameAddress()))) {
    }
}

// One answer's connection closed to bring the bytes held down, of the
// address holding the most, at least `floor`; false when none may go.
bool GuardedTcpServer::closeForBytes(const Connection* answered, qint64 floor) {
    for (const QList<Connection*>& group : byAddress(Room::ForAnswer)) {
        const bool own = group.first()->address() == answered->address();
        if (!own && queuedBytes(group) < floor) return false;  // the rest hold less
        if (closeCostliest(group, answered, Room::ForAnswer)) return true;
    }
    return false;
}

// Closes the connection of `among` that costs the others most, never
// `keep`; false when there is none to close. For a connection, the one
// waiting longest for a request goes first, else the one slowest to take
// its answer; for an answer's bytes, only those holding an answer count.
// An answer on its way on time is spared, except to its own address.
bool GuardedTcpServer::closeCostliest(const QList<Connection*>& among, const Connection* keep,
                                      Room room) {
    using Stage = Connection::Stage;
    const auto costlier = [](const Connection* a, const Connection* b) {
        if (a->stage() != b->stage()) return a->stage() == Stage::Request;
        return a->stageMs() > b->stageMs();
    };
    Connection* victim = nullptr;
    for (Connection* connection : among) {
        if (connection == keep ||
            (room != Room::ForConnection && connection->stage() != Stage::Answer))
            continue;
        if (room != Room::ForOwnAnswer && connection->answeredOnTime()) continue;
        if (!victim || costlier(connection, victim)) victim = connection;
    }
    if (!victim) return false;
    forget(victim);
    victim->abort();
    return true;
}

// The connections by address, the address that costs most first: the most
// connections, or the most bytes held for answers.
QList<QList<GuardedTcpServer::Connection*>> GuardedTcpServer::byAddress(Room room) const {
    QHash<QString, QList<Connection*>> groups;
    for (Connection* connection : connections_) groups[connection->address()].append(connection);
    QList<QList<Connection*>> ordered(groups.begin(), groups.end());
    const auto cost = [room](const QList<Connection*>& group) {
        return room == Room::ForConnection ? qint64(group.size()) : queuedBytes(group);
    };
    std::stable_sort(ordered.begin(), ordered.end(),
                     [&](const auto& a, const auto& b) { return cost(a) > cost(b); });
    return ordered;
}

// The server reads the connection only now, for this one request, and
// answers it at once; then nobody reads it until the answer is taken.
// Qt's server takes a connection as new each time, and keeps a little for
// each until the connection ends: the bound on answers keeps that small.
void GuardedTcpServer::handOver(Connection* connection, const RequestHead& head) {
    disconnect(connection, &QTcpSocket::readyRead, nullptr, nullptr);
    connection->answer(head);
    addPendingConnection(connection);
    emit newConnection();          // the server takes it,
    emit connection->readyRead();  // reads the request waiting, and answers it
    disconnect(connection, &QTcpSocket::readyRead, nullptr, nullptr);
    keepQueuedBytes(connection);
    if (connection->lastAnswer()) connection->disconnectFromHost();
}

void GuardedTcpServer::forget(Connection* connection) {
    connections_.removeOne(connection);
}

}  // namespace pelmctl
