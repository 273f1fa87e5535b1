#pragma once
// Closes the board's window as the operator would when the process is asked
// to end (SIGTERM, SIGINT) or the desktop session ends, so the closing
// handler saves the settings. A signal only writes a byte into a pipe; the
// window is closed from the event loop.

#include <QObject>
#include <QWidget>
#include <csignal>

class QSocketNotifier;

namespace pelm {

class QuitSignals : public QObject {
    Q_OBJECT

public:
    /// One at a time; the previous signal handlers return when it goes.
    explicit QuitSignals(QWidget& window);
    ~QuitSignals() override;

private:
    void drainAndClose();

    QWidget& window_;
    QSocketNotifier* notifier_ = nullptr;
    struct sigaction previousTerm_ {};
    struct sigaction previousInt_ {};
};

}  // namespace pelm
