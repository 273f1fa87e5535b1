#pragma once
// Runs the refresh cycle every 250 ms on the thread's Qt event loop, without
// a window. Refreshes never overlap: a slow one delays the next.

#include <QObject>
#include <QTimer>
#include <functional>

#include "engine/refresh_cycle.h"
#include "platform/error.h"

namespace pelm {

class RefreshTimer : public QObject {
    Q_OBJECT

public:
    static constexpr int kIntervalMs = 250;

    /// `onError` hears each refresh that failed; the timer runs on.
    RefreshTimer(RefreshCycle& cycle, std::function<void(const Error&)> onError,
                 QObject* parent = nullptr);

    void start() { timer_.start(); }
    void stop() { timer_.stop(); }
    bool isActive() const { return timer_.isActive(); }
    long long refreshes() const { return refreshes_; }

private:
    void refresh();

    RefreshCycle& cycle_;
    std::function<void(const Error&)> onError_;
    QTimer timer_;
    long long refreshes_ = 0;
};

}  // namespace pelm
