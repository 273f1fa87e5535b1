#pragma once
// What the control room makes of the bytes a client sent before it lets
// Qt's server see them: one request, whole, within its bounds, addressed to
// this server, and read in exactly one way. Qt's parser and this one must
// never disagree on where a request ends, or a body would be taken for a
// second request behind the guard's back; so anything a lenient reader
// could take two ways (a name with a blank before its colon, two lengths,
// a bare CR or LF as a line end, a target or Host naming somebody else) is
// refused, never guessed at.

#include <QByteArray>
#include <QHostAddress>
#include <QStringList>

namespace pelmctl {

/// The bounds of one request.
struct HeadBounds {
    static constexpr int kMaxHeadBytes = 8 * 1024;  // request line and headers
    static constexpr int kMaxHeaderLines = 40;
    static constexpr int kMaxBodyBytes = 1024;  // only GET and HEAD are answered
};

/// What the bytes of a connection so far make of its request.
struct RequestHead {
    enum class Reading {
        Incomplete,    // more bytes to come
        Complete,      // a whole request: `size` bytes, head and body
        TooLarge,      // 431: head past its bounds
        BodyTooLarge,  // 413
        Malformed,     // 400: not one plain request, or a second behind the first
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

/// The status line that refuses a request read as `reading`.
QByteArray refusalStatus(RequestHead::Reading reading);

}  // namespace pelmctl
