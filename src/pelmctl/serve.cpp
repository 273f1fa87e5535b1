// pelmctl serve: the venue's boards at a glance in a browser, read-only,
// from the same status folder `pelmctl status --venue` reads.

#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QHttpServerResponse>
#include <QRegularExpression>
#include <iostream>

#include "pelmctl/command.h"
#include "pelmctl/serve_guard.h"
#include "pelmctl/serve_room.h"
#include "pelmctl/venue_key_option.h"

namespace pelmctl {
namespace {

constexpr std::string_view kHelp =
    R"(Usage: pelmctl serve --venue FOLDER [--listen ADDRESS:PORT] [--host-name NAMES]
                     [--venue-key FILE]

Serves one web page that shows every board whose status copy is in FOLDER
([Env] StatusDir of the boards) as a card, the boards in trouble first: the
screen's name, the picture of its screen and when it was taken, its state,
how long since this server saw its status change, the race shown as "Now",
the current error and its clock. A board whose copy has not changed for 10 s
by this PC's clock is not answering, whatever its own clock says; one listed
in FOLDER/expected-boards.txt (one name per line) without a copy is missing.
A copy speaks only for the board that wrote it: two copies that claim one
board are trouble, shown at the worse of the two; a copy of another user than
the one expected-boards.txt names after a board's name, or, with
--venue-key, one not signed with the key, is shown as a forgery. Copies left
unread (more than 512), damaged or forged are counted on the page. The page
updates itself every 2 seconds and says plainly when it cannot reach this
server or this server cannot read the folder. /venue.json holds
the same JSON as `pelmctl status --venue FOLDER --json`; /metrics the same in
the Prometheus text format, for a monitoring system.

The server is read-only: it answers GET and HEAD, and only for the page, its
script and style, the JSON, the metrics and the pictures beside the status
copies. A request must come whole within 10 s, bounded in size, addressed
to a name of this server (Host) and readable in one way only (400
otherwise); nothing more is read from a connection until its answer is
taken, which must be within 30 s; at most 128 connections, 64 from one
address, are open at a time, room made by closing the address that holds
the most.

Options:
  --venue FOLDER          the status folder of the venue's boards
  --listen ADDRESS:PORT   where to listen (default 127.0.0.1:8080, this PC
                          only); 0.0.0.0:8080 or [::]:8080 opens the page to
                          the venue's network; port 0 takes a free one
  --host-name NAMES       more names the page may be asked for by (Host),
                          comma-separated: a DNS name, a reverse proxy's
  --venue-key FILE        the venue key the boards sign their copies with
                          (made by `pelmctl venue-key`); an empty FILE: none

A FOLDER that cannot be read is said at start and on the page, which shows
the boards as soon as it can be read.

Exit status: runs until stopped; 1 when it cannot listen, 2 wrong arguments.

Examples:
  pelmctl serve --venue /srv/share/pelm-status
  pelmctl serve --venue /srv/share/pelm-status --listen 0.0.0.0:8080
)";

constexpr auto kDefaultListen = "127.0.0.1:8080";

using Status = QHttpServerResponder::StatusCode;
using Method = QHttpServerRequest::Method;
constexpr auto kReadOnly = Method::Get | Method::Head;

// The headers of every answer: nothing kept, nothing loaded but the
// page's own files, and the connection's end.
std::vector<std::pair<QByteArray, QByteArray>> commonHeaders() {
    return {{"Cache-Control", "no-store"},
            {"Content-Security-Policy",
             "default-src 'none'; img-src 'self'; script-src 'self'; style-src 'self'; "
             "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'"},
            {"X-Content-Type-Options", "nosniff"},
            {"Referrer-Policy", "no-referrer"}};
}

QHttpServerResponse pageFile(const char* name, const QByteArray& type) {
    QFile file(QStringLiteral(":/control_room/") + QLatin1String(name));
    file.open(QIODevice::ReadOnly);
    return QHttpServerResponse(type, file.readAll());
}

// A picture's name: plain, nothing a path could be made of.
bool plainPictureName(const QString& name) {
    static const QRegularExpression pattern(
        QStringLiteral("^[A-Za-z0-9][A-Za-z0-9._-]{0,127}\\.png$"));
    return pattern.match(name).hasMatch() && !name.contains(QLatin1String(".."));
}

void route(QHttpServer& server, const ControlRoom& room) {
    static const QHttpServerResponse::StatusCode notFound = Status::NotFound;
    server.route("/", kReadOnly, [] { return pageFile("venue.html", "text/html; charset=utf-8"); });
    server.route("/venue\\.js", kReadOnly,
                 [] { return pageFile("venue.js", "text/javascript; charset=utf-8"); });
    server.route("/venue\\.css", kReadOnly,
                 [] { return pageFile("venue.css", "text/css; charset=utf-8"); });
    server.route("/venue\\.json", kReadOnly,
                 [&room] { return QHttpServerResponse("application/json", room.json()); });
    server.route("/metrics", kReadOnly, [&room] {
        return QHttpServerResponse("text/plain; version=0.0.4; charset=utf-8", room.metrics());
    });
    server.route("/picture/<arg>", kReadOnly, [&room](const QString& name) {
        const QByteArray* picture = plainPictureName(name) ? room.picture(name) : nullptr;
        if (!picture)
            return QHttpServerResponse("text/plain; charset=utf-8", "not found\n", notFound);
        return QHttpServerResponse("image/png", *picture);
    });
    server.afterRequest([](QHttpServerResponse&& response, const QHttpServerRequest& request) {
        response.addHeaders(commonHeaders());
        if (request.value("connection").toLower().contains("close"))
            response.addHeader("Connection", "close");
        return std::move(response);
    });
    server.setMissingHandler([](const QHttpServerRequest& request, QHttpServerResponder&& out) {
        const bool readOnly = request.method() == Method::Get || request.method() == Method::Head;
        out.writeStatusLine(readOnly ? Status::NotFound : Status::MethodNotAllowed);
        for (const auto& [name, value] : commonHeaders()) out.writeHeader(name, value);
        if (!readOnly) out.writeHeader("Allow", "GET, HEAD");
        const QByteArray body = readOnly ? "not found\n" : "GET and HEAD only\n";
        out.writeHeader("Content-Type", "text/plain; charset=utf-8");
        out.writeHeader("Content-Length", QByteArray::number(body.size()));
        out.writeBody(body);
    });
}

std::optional<std::pair<QHostAddress, quint16>> listenAddress(const QString& text) {
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0) return std::nullopt;
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    bool number = false;
    const uint port = text.mid(colon + 1).toUInt(&number);
    QHostAddress address;
    if (!number || port > 65535 || !address.setAddress(host)) return std::nullopt;
    return std::pair{address, static_cast<quint16>(port)};
}

bool everywhere(const QHostAddress& address) {
    return address == QHostAddress::Any || address == QHostAddress::AnyIPv4 ||
           address == QHostAddress::AnyIPv6;
}

QString where(const QHostAddress& address, quint16 port) {
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? "[" + address.toString() + "]"
                             : address.toString();
    return QStringLiteral("http://%1:%2/").arg(host).arg(port);
}

int serve(const QString& folder, const QHostAddress& address, quint16 port,
          const QStringList& names, const std::optional<pelm::VenueKey>& key) {
    ControlRoom room(folder, key);
    QString failure;
    // Served all the same: the page says the folder cannot be read, and
    // shows the boards as soon as it can (a share mounted late, a folder
    // made after the service started).
    if (!room.firstLook(failure))
        std::cerr << "pelmctl: venue folder " << folder.toStdString()
                  << " cannot be read: " << failure.toStdString()
                  << "; the page says so until it can\n";
    QHttpServer server;
    route(server, room);
    auto* socket = new GuardedTcpServer(HostNames(address, names));
    if (!socket->listen(address, port)) {
        std::cerr << "pelmctl: cannot listen on " << where(address, port).toStdString() << ": "
                  << socket->errorString().toStdString() << "\n";
        delete socket;
        return kExitFailed;
    }
    server.bind(socket);
    if (everywhere(address))
        std::cerr << "pelmctl: the page is open to every network this PC is on; beyond the "
                     "venue's own network, put it behind a reverse proxy with TLS and a "
                     "password\n";
    // With port 0 the system picks one; the line says which.
    std::cout << "pelmctl: serving the boards of " << folder.toStdString() << " on "
              << where(address, socket->serverPort()).toStdString() << std::endl;
    return QCoreApplication::exec();
}

int run(const Arguments& arguments) {
    if (!arguments.positional.empty()) return usageError("serve takes no words, only options");
    const auto venue = arguments.option("--venue");
    if (!venue) return usageError("serve needs --venue FOLDER");
    const auto address = listenAddress(
        QString::fromStdString(arguments.option("--listen").value_or(kDefaultListen)));
    if (!address) return usageError("--listen wants ADDRESS:PORT, such as 127.0.0.1:8080");
    const QStringList names = QString::fromStdString(arguments.option("--host-name").value_or(""))
                                  .split(QLatin1Char(','), Qt::SkipEmptyParts);
    std::optional<pelm::VenueKey> key;
    if (!venueKeyOption(arguments, key)) return kExitFailed;
    int argc = 1;
    char name[] = "pelmctl";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    return serve(QString::fromStdString(*venue), address->first, address->second, names, key);
}

const CommandRegistration registration({"serve",
                                        "the venue's boards at a glance in a browser",
                                        kHelp,
                                        {"--venue", "--listen", "--host-name", "--venue-key"},
                                        {},
                                        run});

}  // namespace
}  // namespace pelmctl
