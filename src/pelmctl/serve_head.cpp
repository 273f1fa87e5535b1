#include "pelmctl/serve_head.h"

#include <QNetworkInterface>
#include <QRegularExpression>
#include <QSysInfo>
#include <algorithm>
#include <optional>

namespace pelmctl {
namespace {

using Reading = RequestHead::Reading;

// RFC 9110's token: what a method and a field name are made of.
bool token(const QByteArray& text) {
    static const QByteArray marks("!#$%&'*+-.^_`|~");
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               marks.contains(c);
    });
}

// A field value: visible characters, blanks, tabs, and bytes past ASCII.
bool fieldValue(const QByteArray& value) {
    return std::all_of(value.begin(), value.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte == '\t' || (byte >= 0x20 && byte != 0x7f);
    });
}

// Whether every line of `head` ends in CR LF, the one line end there is: a
// bare LF, or a CR before anything but LF, is refused. A CR last may still
// get its LF.
bool onlyCrlf(const QByteArray& head) {
    for (qsizetype i = 0; i < head.size(); ++i) {
        if (head[i] == '\n' && (i == 0 || head[i - 1] != '\r')) return false;
        if (head[i] == '\r' && i + 1 < head.size() && head[i + 1] != '\n') return false;
    }
    return true;
}

// The lines of a head whose every line ends in CR LF.
QList<QByteArray> crlfLines(const QByteArray& head) {
    QList<QByteArray> lines = head.split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r')) line.chop(1);
    }
    return lines;
}

struct RequestLine {
    QByteArray method;
    bool http10 = false;
};

// "METHOD /target HTTP/1.x", one blank apart. Only a target on this server
// (a path): an absolute URI names a host of its own, which Host would not.
std::optional<RequestLine> requestLine(const QByteArray& line) {
    const QList<QByteArray> parts = line.split(' ');
    if (parts.size() != 3 || !token(parts[0]) || !parts[1].startsWith('/')) return std::nullopt;
    const bool plainTarget = std::all_of(parts[1].begin(), parts[1].end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte > 0x20 && byte < 0x7f;
    });
    if (!plainTarget || (parts[2] != "HTTP/1.1" && parts[2] != "HTTP/1.0")) return std::nullopt;
    return RequestLine{parts[0], parts[2] == "HTTP/1.0"};
}

// A host and maybe a port, nothing else: no user information ("a@b"), no
// path, no second host behind the first.
bool plainHost(const QByteArray& host) {
    static const QRegularExpression pattern(
        QStringLiteral("^([A-Za-z0-9._~-]+|\\[[0-9A-Fa-f:.]+\\])(:[0-9]{1,5})?$"));
    return pattern.match(QString::fromLatin1(host)).hasMatch();
}

struct Headers {
    Reading reading = Reading::Complete;
    std::optional<qsizetype> bodyBytes;
    std::optional<QByteArray> host;
    QByteArray connection;  // the Connection header, lower case
};

// One header line into `headers`; what it makes of the request.
Reading readHeader(const QByteArray& line, Headers& headers) {
    const qsizetype colon = line.indexOf(':');
    const QByteArray name = line.left(colon).toLower();
    const QByteArray raw = line.mid(colon + 1);
    if (colon <= 0 || !token(name) || !fieldValue(raw)) return Reading::Malformed;
    const QByteArray value = raw.trimmed();
    if (name == "transfer-encoding") return Reading::BodyTooLarge;
    if (name == "connection") headers.connection = value.toLower();
    if (name == "host") {
        if (headers.host || !plainHost(value)) return Reading::Malformed;
        headers.host = value;
    }
    if (name != "content-length") return Reading::Complete;
    const bool digits = !value.isEmpty() && std::all_of(value.begin(), value.end(), [](char c) {
        return c >= '0' && c <= '9';
    });
    if (headers.bodyBytes || !digits) return Reading::Malformed;  // none signed, one only
    if (value.size() > 6 || value.toInt() > HeadBounds::kMaxBodyBytes) return Reading::BodyTooLarge;
    headers.bodyBytes = value.toInt();
    return Reading::Complete;
}

Headers readHeaders(const QList<QByteArray>& lines) {
    Headers headers;
    if (lines.size() - 1 > HeadBounds::kMaxHeaderLines) {
        headers.reading = Reading::TooLarge;
        return headers;
    }
    for (qsizetype index = 1; index < lines.size() && headers.reading == Reading::Complete; ++index)
        headers.reading = readHeader(lines[index], headers);
    return headers;
}

QByteArray lowerHost(QByteArray host) {
    host = host.trimmed().toLower();
    if (host.startsWith('[')) return host.mid(1, host.indexOf(']') - 1);
    const qsizetype colon = host.lastIndexOf(':');
    if (colon >= 0) host.truncate(colon);
    if (host.endsWith('.')) host.chop(1);
    return host;
}

QString plainAddress(QHostAddress address) {
    address.setScopeId(QString());
    return address.toString().toLower();
}

// What a head that came whole makes of the request.
RequestHead readWholeHead(const QByteArray& bytes, qsizetype end, const HostNames& hosts) {
    RequestHead head;
    head.reading = Reading::Malformed;
    const QByteArray text = bytes.left(end);
    if (!onlyCrlf(text)) return head;
    const QList<QByteArray> lines = crlfLines(text);
    const std::optional<RequestLine> line = requestLine(lines.first());
    if (!line) return head;
    const Headers headers = readHeaders(lines);
    head.reading = headers.reading;
    if (headers.reading != Reading::Complete) return head;
    head.reading = Reading::Malformed;
    if (!headers.host && !line->http10) return head;  // HTTP/1.1 must name the host
    head.reading = Reading::Misdirected;
    if (headers.host && !hosts.accepts(*headers.host)) return head;
    const qsizetype size = end + 4 + headers.bodyBytes.value_or(0);
    head.reading = bytes.size() < size ? Reading::Incomplete : Reading::Malformed;
    if (bytes.size() != size) return head;  // one request at a time: nothing behind it
    const bool keepAlive = line->http10 ? headers.connection.contains("keep-alive")
                                        : !headers.connection.contains("close");
    return {Reading::Complete, size, line->method, keepAlive};
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
    const qsizetype end = bytes.indexOf("\r\n\r\n");
    RequestHead head;
    if (end < 0) {
        // A line end of another kind is refused as soon as it comes, not
        // waited on until the head's deadline.
        if (!onlyCrlf(bytes.left(HeadBounds::kMaxHeadBytes + 1))) {
            head.reading = Reading::Malformed;
        } else if (bytes.size() > HeadBounds::kMaxHeadBytes) {
            head.reading = Reading::TooLarge;
        }
        return head;
    }
    if (end > HeadBounds::kMaxHeadBytes) {
        head.reading = Reading::TooLarge;
        return head;
    }
    return readWholeHead(bytes, end, hosts);
}

QByteArray refusalStatus(Reading reading) {
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

}  // namespace pelmctl
