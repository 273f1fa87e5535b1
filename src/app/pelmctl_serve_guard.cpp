#include "app/pelmctl_serve_guard.h"

#include <QTcpSocket>
#include <QTimer>
#include <memory>

namespace pelmctl {

RequestBounds::Verdict RequestBounds::take(const QByteArray& bytes) {
    for (const char byte : bytes) {
        if (bodyLeft_ > 0) {
            --bodyLeft_;
            continue;
        }
        head_.append(byte);
        if (head_.size() > kMaxHeadBytes) return Verdict::HeadTooLarge;
        if (head_.endsWith("\r\n\r\n")) {
            const Verdict verdict = headEnded();
            if (verdict != Verdict::Within) return verdict;
        }
    }
    return Verdict::Within;
}

RequestBounds::Verdict RequestBounds::headEnded() {
    const QList<QByteArray> lines = head_.split('\n');
    head_.clear();
    // The request line, the headers, and the two empty pieces of the end.
    if (lines.size() - 3 > kMaxHeaderLines) return Verdict::HeadTooLarge;
    for (const QByteArray& line : lines) {
        const QByteArray lower = line.trimmed().toLower();
        if (lower.startsWith("transfer-encoding:")) return Verdict::BodyTooLarge;
        if (!lower.startsWith("content-length:")) continue;
        bool number = false;
        const qint64 length = lower.mid(15).trimmed().toLongLong(&number);
        if (!number || length < 0 || length > kMaxBodyBytes) return Verdict::BodyTooLarge;
        bodyLeft_ = length;
    }
    return Verdict::Within;
}

namespace {

void refuse(QTcpSocket* socket, RequestBounds::Verdict verdict) {
    socket->readAll();  // never reaches the server's parser
    const QByteArray status = verdict == RequestBounds::Verdict::HeadTooLarge
                                  ? "431 Request Header Fields Too Large"
                                  : "413 Payload Too Large";
    socket->write("HTTP/1.1 " + status +
                  "\r\nContent-Length: 0\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n");
    socket->disconnectFromHost();
}

}  // namespace

void GuardedTcpServer::incomingConnection(qintptr descriptor) {
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    auto* idle = new QTimer(socket);
    idle->setSingleShot(true);
    idle->start(kIdleMs);
    connect(idle, &QTimer::timeout, socket, [socket] { socket->abort(); });
    // Connected before the server's own reader, so it sees each byte first.
    auto bounds = std::make_shared<RequestBounds>();
    auto refused = std::make_shared<bool>(false);
    connect(socket, &QTcpSocket::readyRead, socket, [socket, idle, bounds, refused] {
        idle->start(kIdleMs);
        if (*refused) {
            socket->readAll();
            return;
        }
        const auto verdict = bounds->take(socket->peek(socket->bytesAvailable()));
        if (verdict == RequestBounds::Verdict::Within) return;
        *refused = true;
        refuse(socket, verdict);
    });
    addPendingConnection(socket);
}

}  // namespace pelmctl
