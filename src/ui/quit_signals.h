#pragma once
// Closes the board's window as the operator would when the process is asked
// to end (SIGTERM, SIGINT) or the desktop session ends, so the closing
// handler saves the settings. A signal only writes a byte into a pipe; the
// window is closed from the event loop.

#include <QObject>
#include <csignal>
#include <functional>

class QSocketNotifier;

namespace pelm {

class QuitSignals : public QObject {
    Q_OBJECT

public:
    /// Calls `quit` from the event loop at each request to end; one at a
    /// time; the previous signal handlers return when it goes.
    QuitSignals(QObject* parent, std::function<void()> quit);
    ~QuitSignals() override;

private:
    void drainAndClose();

    std::function<void()> quit_;
    QSocketNotifier* notifier_ = nullptr;
    struct sigaction previousTerm_ {};
    struct sigaction previousInt_ {};
};

}  // namespace pelm
