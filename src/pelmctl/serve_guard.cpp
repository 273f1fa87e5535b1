#include "pelmctl/serve_guard.h"

#include <QElapsedTimer>
#include <QNetworkInterface>
#include <QSysInfo>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>

namespace pelmctl {
namespace {

using Reading = RequestHead::Reading;

// Where the head ends ("\r\n\r\n", or "\n\n" from a terse client) and the
// length of the ending; nothing while it has not come.
std::optional<std::pair<qsizetype, qsizetype>> headEnd(const QByteArray& bytes) {
    const qsizetype crlf = bytes.indexOf("\r\n\r\n");
    const qsizetype lf = bytes.indexOf("\n\n");
    if (crlf < 0 && lf < 0) return std::nullopt;
    if (lf >= 0 && (crlf < 0 || lf < crlf)) return std::pair{lf, qsizetype(2)};
    return std::pair{crlf, qsizetype(4)};
}

// "METHOD target HTTP/1.x": the method, or nothing for anything else.
std::optional<QByteArray> requestMethod(const QByteArray& line, bool& http10) {
    const QList<QByteArray> parts = line.trimmed().split(' ');
    if (parts.size() != 3 || parts[0].isEmpty() || parts[1].isEmpty()) return std::nullopt;
    if (parts[2] != "HTTP/1.1" && parts[2] != "HTTP/1.0") return std::nullopt;
    http10 = parts[2] == "HTTP/1.0";
    return parts[0];
}

// The header lines after the request line: the body's length (-1: none
// allowed) and the Host, if any.
struct Headers {
    Reading reading = Reading::Complete;
    qsizetype bodyBytes = 0;
    std::optional<QByteArray> host;
    QByteArray connection;  // the Connection header, lower case
};

Headers failing(Reading reading) {
    Headers headers;
    headers.reading = reading;
    return headers;
}

Headers readHeaders(const QList<QByteArray>& lines) {
    Headers headers;
    if (lines.size() - 1 > ConnectionBounds::kMaxHeaderLines) return failing(Reading::TooLarge);
    for (qsizetype index = 1; index < lines.size(); ++index) {
        const QByteArray& line = lines[index];
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0) return failing(Reading::Malformed);
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "transfer-encoding") return failing(Reading::BodyTooLarge);
        if (name == "host") headers.host = value;
        if (name == "connection") headers.connection = value.toLower();
        if (name != "content-length") continue;
        bool number = false;
        headers.bodyBytes = value.toLongLong(&number);
        if (!number || headers.bodyBytes < 0 || headers.bodyBytes > ConnectionBounds::kMaxBodyBytes)
            return failing(Reading::BodyTooLarge);
    }
    return headers;
}

QByteArray lowerHost(QByteArray host) {
    host = host.trimmed().toLower();
    if (host.startsWith('[')) return host.mid(1, host.indexOf(']') - 1);
    const qsizetype colon = host.lastIndexOf(':');
    if (colon >= 0 && host.indexOf(':') == colon) host.truncate(colon);  // a port, not IPv6
    if (host.endsWith('.')) host.chop(1);
    return host;
}

QString plainAddress(QHostAddress address) {
    address.setScopeId(QString());
    return address.toString().toLower();
}

QByteArray statusLine(Reading reading) {
    switch (reading) {
        case Reading::TooLarge:
            return "431 Request Header Fields Too Large";
        case Reading::BodyTooLarge:
            return "413 Payload Too Large";
        case Reading::Misdirected:
            return "421 Misdirected Request";
        case Reading::Incomplete:
            return "408 Request Timeout";
        default:
            return "400 Bad Request";
    }
}

}  // namespace

HostNames::HostNames(const QHostAddress& address, const QStringList& extra) {
    const bool everywhere = address == QHostAddress::Any || address == QHostAddress::AnyIPv4 ||
                            address == QHostAddress::AnyIPv6;
    if (everywhere) {
        for (const QHostAddress& local : QNetworkInterface::allAddresses())
            names_ << plainAddress(local);
        names_ << QSysInfo::machineHostName().toLower();
    } else {
        names_ << plainAddress(address);
    }
    if (everywhere || address.isLoopback()) names_ << QStringLiteral("localhost");
    for (const QString& name : extra) names_ << name.toLower();
    names_.removeDuplicates();
}

bool HostNames::accepts(const QByteArray& host) const {
    return names_.contains(QString::fromLatin1(lowerHost(host)));
}

RequestHead readRequestHead(const QByteArray& bytes, const HostNames& hosts) {
    RequestHead head;
    const auto end = headEnd(bytes);
    if (!end) {
        if (bytes.size() > ConnectionBounds::kMaxHeadBytes) head.reading = Reading::TooLarge;
        return head;
    }
    head.reading = Reading::TooLarge;
    if (end->first > ConnectionBounds::kMaxHeadBytes) return head;
    QList<QByteArray> lines = bytes.left(end->first).split('\n');
    for (QByteArray& line : lines) line = line.trimmed();
    bool http10 = false;
    head.reading = Reading::Malformed;
    const std::optional<QByteArray> method = requestMethod(lines.first(), http10);
    if (!method) return head;
    const Headers headers = readHeaders(lines);
    head.reading = headers.reading;
    if (headers.reading != Reading::Complete) return head;
    head.reading = Reading::Malformed;
    if (!headers.host && !http10) return head;  // HTTP/1.1 must name the host
    head.reading = Reading::Misdirected;
    if (headers.host && !hosts.accepts(*headers.host)) return head;
    const qsizetype size = end->first + end->second + headers.bodyBytes;
    head.reading = bytes.size() < size ? Reading::Incomplete : Reading::Malformed;
    if (bytes.size() != size) return head;  // one request at a time: nothing behind it
    const bool keepAlive =
        http10 ? headers.connection.contains("keep-alive") : !headers.connection.contains("close");
    return {Reading::Complete, size, *method, keepAlive};
}

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
        write("HTTP/1.1 " + statusLine(reading) +
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
    Stage stage_ = Stage::Request;
    int answers_ = 0;
    bool keepAlive_ = true;
    bool bodyless_ = false;
    bool headSent_ = false;
    QByteArray tail_;
};

GuardedTcpServer::GuardedTcpServer(HostNames hosts, QObject* parent)
    : QTcpServer(parent), hosts_(std::move(hosts)) {}

GuardedTcpServer::~GuardedTcpServer() = default;

void GuardedTcpServer::incomingConnection(qintptr descriptor) {
    auto* connection = new Connection(this);
    if (!connection->setSocketDescriptor(descriptor)) {
        delete connection;
        return;
    }
    makeRoomFor(connection->peerAddress());
    admit(connection);
}

void GuardedTcpServer::admit(Connection* connection) {
    connections_.append(connection);
    connection->setReadBufferSize(ConnectionBounds::kMaxHeadBytes +
                                  ConnectionBounds::kMaxBodyBytes + 1);
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

// Past a bound, the connection that costs the others most goes: the one
// waiting longest for a request, else the one slowest to take its answer.
void GuardedTcpServer::makeRoomFor(const QHostAddress& address) {
    QList<Connection*> same;
    for (Connection* connection : connections_) {
        if (connection->peerAddress() == address) same.append(connection);
    }
    const bool perAddress = same.size() >= ConnectionBounds::kMaxConnectionsPerAddress;
    if (!perAddress && connections_.size() < ConnectionBounds::kMaxConnections) return;
    const QList<Connection*>& candidates = perAddress ? same : connections_;
    const auto costlier = [](const Connection* a, const Connection* b) {
        if (a->stage() != b->stage()) return a->stage() == Connection::Stage::Request;
        return a->stageMs() > b->stageMs();
    };
    Connection* victim = *std::min_element(candidates.begin(), candidates.end(), costlier);
    forget(victim);
    victim->abort();
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
    if (connection->lastAnswer()) connection->disconnectFromHost();
}

void GuardedTcpServer::forget(Connection* connection) {
    connections_.removeOne(connection);
}

}  // namespace pelmctl
