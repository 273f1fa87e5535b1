#include "engine/data_file_reader.h"

#include <algorithm>

#include "platform/paths.h"

namespace pelm {
using std::chrono::milliseconds;

namespace {

constexpr std::chrono::minutes kMinute{1};

}  // namespace

std::optional<DataFiles> DataFileReader::take(const Cp932& dataDir) {
    std::optional<DataFiles> files = collect(dataDir);
    if (inFlight_.valid()) return files;
    askedAt_ = Clock::now();
    inFlight_ = workerFor_(nativePath(dataDir)).ask(dataFileCalls(dataDir), kLostAfter);
    if (!unansweredSince_) unansweredSince_ = askedAt_;
    // A local folder has answered already: shown in this same beat.
    return files ? files : collect(dataDir);
}

// The answer of the read in flight, when it has come. A worker stalled on
// another call answers at once without the files: still unanswered.
std::optional<DataFiles> DataFileReader::collect(const Cp932& dataDir) {
    if (!answeredNow(inFlight_)) return std::nullopt;
    ShareReply reply = inFlight_.get();
    std::optional<DataFiles> files = dataFilesOf(std::move(reply.answers), dataDir);
    if (files) {
        unansweredSince_.reset();
        noteTime(reply.at, std::chrono::duration_cast<milliseconds>(reply.at - askedAt_));
    }
    return files;
}

bool DataFileReader::settle(milliseconds wait) {
    return inFlight_.valid() && inFlight_.wait_for(wait) == std::future_status::ready;
}

milliseconds DataFileReader::unanswered() const {
    if (!unansweredSince_) return milliseconds(0);
    return std::chrono::duration_cast<milliseconds>(Clock::now() - *unansweredSince_);
}

ReadTimes DataFileReader::times() const {
    ReadTimes times;
    if (latest_) times.latestMs = latest_->count();
    milliseconds slowest = unanswered();
    for (const auto& [when, took] : lastMinute_) slowest = std::max(slowest, took);
    if (latest_ || slowest.count() > 0) times.slowestMs = slowest.count();
    return times;
}

void DataFileReader::noteTime(Clock::time_point now, milliseconds took) {
    latest_ = took;
    lastMinute_.emplace_back(now, took);
    while (!lastMinute_.empty() && now - lastMinute_.front().first > kMinute)
        lastMinute_.pop_front();
}

}  // namespace pelm
