#include "engine/refresh_timer.h"

namespace pelm {

RefreshTimer::RefreshTimer(RefreshCycle& cycle, std::function<void(const Error&)> onError,
                           QObject* parent)
    : QObject(parent), cycle_(cycle), onError_(std::move(onError)) {
    timer_.setInterval(kIntervalMs);
    timer_.setTimerType(Qt::CoarseTimer);
    connect(&timer_, &QTimer::timeout, this, &RefreshTimer::refresh);
}

void RefreshTimer::refresh() {
    ++refreshes_;
    try {
        cycle_.Timer1Timer();
    } catch (const Error& error) {
        if (onError_) onError_(error);
    }
}

}  // namespace pelm
