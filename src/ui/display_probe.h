#pragma once
// Whether the board has a display to show on, asked before Qt is: Qt ends
// the process with an abort (and a core) when none of its platforms can
// connect, which under a service manager is a core dump every few seconds
// for a service started outside the desktop's session.

#include <QByteArray>
#include <QString>
#include <optional>

struct xcb_connection_t;

namespace pelm {

struct DisplayChoice {
    /// What QT_QPA_PLATFORM should be set to; nullopt leaves it as it is.
    std::optional<QByteArray> platform;
    /// Why there is nothing to show on; empty when there is.
    QString failure;
};

/// Asks the environment (QT_QPA_PLATFORM, WAYLAND_DISPLAY, XDG_RUNTIME_DIR,
/// DISPLAY, XDG_SESSION_TYPE) for a display, connecting to each display
/// server named there. Without QT_QPA_PLATFORM a reachable Wayland
/// compositor is preferred, so the board runs natively there rather than
/// through XWayland; in an X11 session the X server comes first.
///
/// The X connection stays open until release(): an X server that loses its
/// last client resets and refuses connections for a moment, long enough
/// for Qt's own connection, right after, to fail and abort.
class DisplayProbe {
public:
    DisplayProbe();
    ~DisplayProbe();
    DisplayProbe(const DisplayProbe&) = delete;
    DisplayProbe& operator=(const DisplayProbe&) = delete;

    const DisplayChoice& choice() const { return choice_; }
    /// Whether there is a display to show on.
    bool found() const { return choice_.failure.isEmpty(); }

    /// Applies a found display's choice before the application object is made.
    void prepare() const;
    /// The application has its own connection now.
    void release();

private:
    xcb_connection_t* x_ = nullptr;
    DisplayChoice choice_;
};

/// Whether a Wayland compositor answers on `display` (a name under
/// `runtimeFolder`, or an absolute path).
bool waylandReachable(const QByteArray& display, const QByteArray& runtimeFolder);

}  // namespace pelm
