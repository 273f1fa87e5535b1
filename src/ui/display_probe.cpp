#include "ui/display_probe.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QList>
#include <QStringList>
#include <QtGlobal>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/file_descriptor.h"

namespace pelm {

bool waylandReachable(const QByteArray& display, const QByteArray& runtimeFolder) {
    if (display.isEmpty()) return false;
    const QByteArray path = display.startsWith('/') ? display : runtimeFolder + '/' + display;
    if (!display.startsWith('/') && runtimeFolder.isEmpty()) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (static_cast<size_t>(path.size()) >= sizeof(address.sun_path)) return false;
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    const FileDescriptor socketEnd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    return socketEnd && connect(socketEnd.get(), reinterpret_cast<const sockaddr*>(&address),
                                sizeof(address)) == 0;
}

namespace {

// An X server whose last client has just left resets, and for that moment
// drops new connections: a kiosk script that has just asked the display
// whether it is up (xdpyinfo, xset) must not cost the board its start.
constexpr auto kXServerResetWait = std::chrono::seconds(1);
constexpr auto kXRetryPause = std::chrono::milliseconds(20);

// A whole connection, authorisation included: a socket that answers is not
// yet a server that lets this user in. Null when refused throughout the
// reset wait.
xcb_connection_t* connectX(const QByteArray& display) {
    if (display.isEmpty()) return nullptr;
    const auto deadline = std::chrono::steady_clock::now() + kXServerResetWait;
    for (;;) {
        xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
        if (xcb_connection_has_error(connection) == 0) return connection;
        xcb_disconnect(connection);
        if (std::chrono::steady_clock::now() >= deadline) return nullptr;
        std::this_thread::sleep_for(kXRetryPause);
    }
}

// Qt reads "name:option=value" as a platform with its options.
QByteArray platformName(const QByteArray& entry) {
    return entry.trimmed().split(':').front();
}

// Without an extra plugin folder, Qt finds its platforms in one place only;
// a Wayland display without Qt's Wayland platform would end in Qt's abort.
bool waylandPlatformInstalled() {
    if (qEnvironmentVariableIsSet("QT_PLUGIN_PATH") ||
        qEnvironmentVariableIsSet("QT_QPA_PLATFORM_PLUGIN_PATH"))
        return true;
    const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platforms");
    return !platforms.entryList({"libqwayland*"}, QDir::Files).isEmpty();
}

QString shown(const char* name) {
    const QByteArray value = qgetenv(name);
    return value.isEmpty()
               ? QStringLiteral("%1 unset").arg(name)
               : QStringLiteral("%1=%2 does not answer").arg(name, QString::fromLocal8Bit(value));
}

DisplayChoice chooseDisplay(bool wayland, bool x) {
    const QByteArray requested = qgetenv("QT_QPA_PLATFORM");
    const QString servers = shown("WAYLAND_DISPLAY") + ", " + shown("DISPLAY");
    if (!requested.isEmpty()) {
        for (const QByteArray& entry : requested.split(';')) {
            const QByteArray name = platformName(entry);
            if (name.startsWith("wayland") ? wayland : name == "xcb" ? x : !name.isEmpty())
                return {};
        }
        return {{},
                QStringLiteral("no display to show the board on: QT_QPA_PLATFORM=%1, %2")
                    .arg(QString::fromLocal8Bit(requested), servers)};
    }
    if (wayland && !waylandPlatformInstalled()) {
        if (x) return {"xcb", {}};
        return {{},
                QStringLiteral("no display to show the board on: the Wayland display needs "
                               "Qt's Wayland platform (package qt6-wayland), %1")
                    .arg(shown("DISPLAY"))};
    }
    const bool x11Session = qgetenv("XDG_SESSION_TYPE") == "x11";
    if (wayland && x) return {x11Session ? "xcb;wayland" : "wayland;xcb", {}};
    if (wayland) return {"wayland", {}};
    if (x) return {"xcb", {}};
    return {{},
            QStringLiteral("no display to show the board on: %1; the board runs in a "
                           "desktop's session, whose display reaches a user service by "
                           "'systemctl --user import-environment'")
                .arg(servers)};
}

}  // namespace

DisplayProbe::DisplayProbe() : x_(connectX(qgetenv("DISPLAY"))) {
    const bool wayland = qEnvironmentVariableIsSet("WAYLAND_SOCKET") ||
                         waylandReachable(qgetenv("WAYLAND_DISPLAY"), qgetenv("XDG_RUNTIME_DIR"));
    choice_ = chooseDisplay(wayland, x_ != nullptr);
}

DisplayProbe::~DisplayProbe() {
    release();
}

void DisplayProbe::prepare() const {
    if (choice_.platform) qputenv("QT_QPA_PLATFORM", *choice_.platform);
}

void DisplayProbe::release() {
    if (x_) xcb_disconnect(x_);
    x_ = nullptr;
}

}  // namespace pelm
