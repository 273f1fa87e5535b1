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
    if (!inFlight_.empty()) return files;
    ask(dataDir);
    // A local folder has answered already: shown in this same beat.
    return files ? files : collect(dataDir);
}

void DataFileReader::ask(const Cp932& dataDir) {
    askedAt_ = Clock::now();
    ShareWorker& worker = workerFor_(nativePath(dataDir));
    for (ShareCall& call : dataFileCalls(dataDir))
        inFlight_.push_back({worker.ask({std::move(call)}, kLostAfter), std::nullopt});
    if (!unansweredSince_) unansweredSince_ = askedAt_;
}

// The answer of the read in flight, once every file has come.
std::optional<DataFiles> DataFileReader::collect(const Cp932& dataDir) {
    bool whole = !inFlight_.empty();
    for (FileRead& file : inFlight_) whole = arrived(file) && whole;
    if (!whole) return std::nullopt;
    std::vector<ShareAnswer> answers;
    Clock::time_point answeredAt = askedAt_;
    for (FileRead& file : inFlight_) {
        answers.push_back(std::move(file.came->answers.front()));
        answeredAt = std::max(answeredAt, file.came->at);
    }
    inFlight_.clear();
    std::optional<DataFiles> files = dataFilesOf(std::move(answers), dataDir);
    if (files) {
        unansweredSince_.reset();
        noteTime(answeredAt, std::chrono::duration_cast<milliseconds>(answeredAt - askedAt_));
    }
    return files;
}

// Takes a file's answer once it has come. A worker stalled on another call
// answers at once without the file: that is no word from the share, and
// the time unanswered goes on from its last.
bool DataFileReader::arrived(FileRead& file) {
    if (file.came || !answeredNow(file.reply)) return file.came.has_value();
    file.came = file.reply.get();
    const bool heard = !std::holds_alternative<NoAnswer>(file.came->answers.front());
    if (heard && unansweredSince_) unansweredSince_ = std::max(*unansweredSince_, file.came->at);
    return true;
}

bool DataFileReader::settle(milliseconds wait) {
    const auto until = Clock::now() + wait;
    for (FileRead& file : inFlight_)
        if (!file.came && file.reply.wait_until(until) != std::future_status::ready) return false;
    return !inFlight_.empty();
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
