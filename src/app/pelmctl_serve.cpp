// pelmctl serve: the venue's boards at a glance in a browser, read-only,
// from the same status folder `pelmctl status --venue` reads.

#include <QAbstractHttpServer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTcpSocket>
#include <atomic>
#include <chrono>
#include <iostream>
#include <memory>

#include "app/pelmctl_command.h"
#include "app/pelmctl_serve_guard.h"
#include "app/pelmctl_serve_page.h"
#include "app/pelmctl_venue.h"
#include "platform/untrusted_folder.h"

namespace pelmctl {
namespace {

constexpr std::string_view kHelp = R"(Usage: pelmctl serve --venue FOLDER [--listen ADDRESS:PORT]

Serves one web page that shows every board whose status copy is in FOLDER
([Env] StatusDir of the boards) as a card: the picture of its screen, host,
state, how long ago it refreshed, the race shown as "Now", the current error
and whether its clock is synchronised. A board whose copy is older than 10 s
is greyed. The page updates itself every 2 seconds; /venue.json holds the
same JSON as `pelmctl status --venue FOLDER --json`.

The server is read-only: it answers GET and HEAD, and only for the page, its
script and style, the JSON and the pictures the status copies name. Nothing
else in FOLDER, or anywhere, can be asked for.

Options:
  --venue FOLDER          the status folder of the venue's boards
  --listen ADDRESS:PORT   where to listen (default 127.0.0.1:8080, this PC
                          only); 0.0.0.0:8080 or [::]:8080 opens the page to
                          the venue's network; port 0 takes a free one

Exit status: runs until stopped; 1 when it cannot listen, 2 wrong arguments.

Examples:
  pelmctl serve --venue /srv/share/pelm-status
  pelmctl serve --venue /srv/share/pelm-status --listen 0.0.0.0:8080
)";

constexpr auto kDefaultListen = "127.0.0.1:8080";
// A folder that answers is read again for each poll at most this often;
// one that stalls is given this long before the next bounded try, twice as
// long after each further stall up to a minute, so a frozen share costs the
// server a wait now and then, not on every request, and leaves few reading
// threads stuck behind it.
constexpr qint64 kFreshReportMs = 1000;
constexpr qint64 kStalledReportMs = 5000;
constexpr qint64 kMostStalledReportMs = 60000;
constexpr std::chrono::milliseconds kPictureDeadline{1000};
constexpr std::size_t kMaxPictureBytes = 1 << 20;

using Status = QHttpServerResponder::StatusCode;

// A picture named by a status copy: a plain file name, nothing a path could
// be made of.
bool plainPictureName(const QString& name) {
    static const QRegularExpression pattern(
        QStringLiteral("^[A-Za-z0-9][A-Za-z0-9._-]{0,95}\\.png$"));
    return pattern.match(name).hasMatch() && !name.contains(QLatin1String(".."));
}

// A picture written in full ends with its IEND chunk; one still being
// written, or cut, does not, and is not served.
bool wholePng(const std::string& bytes) {
    static constexpr std::string_view kSignature("\x89PNG\r\n\x1a\n", 8);
    static constexpr std::string_view kEnd("\0\0\0\0IEND\xae\x42\x60\x82", 12);
    return bytes.size() > kSignature.size() + kEnd.size() && bytes.starts_with(kSignature) &&
           bytes.ends_with(kEnd);
}

class VenueServer : public QAbstractHttpServer {
public:
    explicit VenueServer(QString folder) : folder_(std::move(folder)) {}

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override {
        respond(request, socket);
        // Qt's server keeps every connection open; a client that asks for
        // the end gets it once the answer is out.
        if (request.value("connection").toLower() == "close") socket->disconnectFromHost();
        return true;
    }

    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override {
        QHttpServerResponder responder = makeResponder(request, socket);
        notFound(responder, request.method() == QHttpServerRequest::Method::Head);
    }

private:
    void respond(const QHttpServerRequest& request, QTcpSocket* socket) {
        QHttpServerResponder responder = makeResponder(request, socket);
        const auto method = request.method();
        if (method != QHttpServerRequest::Method::Get &&
            method != QHttpServerRequest::Method::Head) {
            answer(responder, false, Status::MethodNotAllowed, "text/plain; charset=utf-8",
                   "GET and HEAD only\n");
            return;
        }
        const bool head = method == QHttpServerRequest::Method::Head;
        // The path as sent: an encoded slash or dot stays encoded, and so
        // matches nothing below.
        const QString path = request.url().path(QUrl::FullyEncoded);
        if (path == QLatin1String("/")) {
            answer(responder, head, Status::Ok, "text/html; charset=utf-8", bytes(kVenuePage));
        } else if (path == QLatin1String("/venue.js")) {
            answer(responder, head, Status::Ok, "text/javascript; charset=utf-8",
                   bytes(kVenueScript));
        } else if (path == QLatin1String("/venue.css")) {
            answer(responder, head, Status::Ok, "text/css; charset=utf-8", bytes(kVenueStyle));
        } else if (path == QLatin1String("/venue.json")) {
            answer(responder, head, Status::Ok, "application/json",
                   QJsonDocument(report()).toJson(QJsonDocument::Compact));
        } else if (path.startsWith(QLatin1String("/picture/"))) {
            const auto picture = pictureNamed(path.mid(9));
            if (picture)
                answer(responder, head, Status::Ok, "image/png", *picture);
            else
                notFound(responder, head);
        } else {
            notFound(responder, head);
        }
    }

    static QByteArray bytes(std::string_view text) {
        return QByteArray::fromRawData(text.data(), static_cast<qsizetype>(text.size()));
    }

    static void answer(QHttpServerResponder& responder, bool head, Status status,
                       const QByteArray& type, const QByteArray& body) {
        responder.writeStatusLine(status);
        responder.writeHeader("Content-Type", type);
        responder.writeHeader("Content-Length", QByteArray::number(body.size()));
        responder.writeHeader("Cache-Control", "no-store");
        responder.writeHeader("Content-Security-Policy",
                              "default-src 'none'; img-src 'self'; script-src 'self'; "
                              "style-src 'self'; connect-src 'self'; base-uri 'none'; "
                              "form-action 'none'; frame-ancestors 'none'");
        responder.writeHeader("X-Content-Type-Options", "nosniff");
        responder.writeHeader("Referrer-Policy", "no-referrer");
        if (status == Status::MethodNotAllowed) responder.writeHeader("Allow", "GET, HEAD");
        responder.writeBody(head ? QByteArray() : body);
    }

    static void notFound(QHttpServerResponder& responder, bool head) {
        answer(responder, head, Status::NotFound, "text/plain; charset=utf-8", "not found\n");
    }

    // The venue as the status copies tell it, read again when the last
    // reading is old; bounded like `pelmctl status --venue`.
    const QJsonObject& report() {
        const qint64 keep = stalls_ == 0 ? kFreshReportMs
                                         : std::min(kStalledReportMs << std::min(stalls_ - 1, 4),
                                                    kMostStalledReportMs);
        if (!reportAge_.isValid() || reportAge_.elapsed() >= keep) {
            const VenueReport venue = venueReport(folder_);
            report_ = venue.json;
            if (!venue.listed) report_["unreadable"] = true;
            stalls_ = venue.complete ? 0 : stalls_ + 1;
            reportAge_.start();
        }
        return report_;
    }

    // Only a name that a board's copy gives as its picture, a plain file
    // name, read without following a link, a regular file, whole.
    std::optional<QByteArray> pictureNamed(const QString& name) {
        if (!plainPictureName(name)) return std::nullopt;
        const QJsonArray boards = report()["boards"].toArray();
        const bool named = std::any_of(boards.begin(), boards.end(), [&](const QJsonValue& board) {
            return board.toObject()["picture"].toString() == name;
        });
        // A read still stuck on a frozen share: no second one behind it.
        if (!named || *picturesReading_ > 0) return std::nullopt;
        const std::string file = QFile::encodeName(name).toStdString();
        ++*picturesReading_;
        const pelm::FolderSnapshot snapshot = pelm::readFolderWithin(
            QFile::encodeName(folder_).toStdString(), kPictureDeadline,
            {[file](const std::string&) { return std::vector<std::string>{file}; },
             [reading = picturesReading_](const std::string& path) {
                 auto bytes = pelm::readUntrustedFile(path, kMaxPictureBytes);
                 --*reading;
                 return bytes;
             }});
        if (snapshot.files.empty() || !wholePng(snapshot.files.front().second)) return std::nullopt;
        return QByteArray::fromStdString(snapshot.files.front().second);
    }

    QString folder_;
    QJsonObject report_;
    int stalls_ = 0;  // readings in a row that did not answer in time
    QElapsedTimer reportAge_;
    std::shared_ptr<std::atomic<int>> picturesReading_ = std::make_shared<std::atomic<int>>(0);
};

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

int run(const Arguments& arguments) {
    if (!arguments.positional.empty()) return usageError("serve takes no words, only options");
    const auto venue = arguments.option("--venue");
    if (!venue) return usageError("serve needs --venue FOLDER");
    const QString listen =
        QString::fromStdString(arguments.option("--listen").value_or(kDefaultListen));
    const auto address = listenAddress(listen);
    if (!address) return usageError("--listen wants ADDRESS:PORT, such as 127.0.0.1:8080");

    int argc = 1;
    char name[] = "pelmctl";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    VenueServer server(QString::fromStdString(*venue));
    auto* socket = new GuardedTcpServer(&server);
    if (!socket->listen(address->first, address->second)) {
        std::cerr << "pelmctl: cannot listen on " << listen.toStdString() << ": "
                  << socket->errorString().toStdString() << "\n";
        return kExitFailed;
    }
    server.bind(socket);
    // With port 0 the system picks one; the line says which.
    const QString where = address->first.protocol() == QAbstractSocket::IPv6Protocol
                              ? "[" + address->first.toString() + "]"
                              : address->first.toString();
    std::cout << "pelmctl: serving the boards of " << *venue << " on http://" << where.toStdString()
              << ":" << socket->serverPort() << "/" << std::endl;
    return application.exec();
}

const CommandRegistration registration({"serve",
                                        "the venue's boards at a glance in a browser",
                                        kHelp,
                                        {"--venue", "--listen"},
                                        {},
                                        run});

}  // namespace
}  // namespace pelmctl
