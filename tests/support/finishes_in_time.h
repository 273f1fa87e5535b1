#pragma once
// A hang must fail the test rather than stall the suite: the work runs on a
// thread of its own, left behind if it never returns.

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <thread>

namespace pelm::testing {

constexpr std::chrono::seconds kWatchdog{10};

/// Whether `work` returned within the watchdog's time.
inline bool finishesInTime(std::function<void()> work) {
    auto task = std::make_shared<std::packaged_task<void()>>(std::move(work));
    std::future<void> done = task->get_future();
    std::thread([task] { (*task)(); }).detach();
    if (done.wait_for(kWatchdog) != std::future_status::ready) return false;
    done.get();
    return true;
}

}  // namespace pelm::testing
