#pragma once
// The schedule's and the notice's reads, off the window's thread: each
// beat hands a read to the data folder's worker when none is in flight,
// and takes the answer once it has come, so the clock never waits for a
// share. A local folder answers at once, within the same beat; a share in
// its own time, however slowly. A read that has not answered is never
// asked again: one is in flight at most.
//
// Each file is its own exchange with the worker, and the share is judged
// by how long it leaves one file unanswered: a share slow enough that the
// two files together take longer than kLostAfter is slow, not lost.

#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "engine/schedule.h"
#include "platform/share_worker.h"

namespace pelm {

/// How long the data folder's reads took, in milliseconds: a share getting
/// slow shows here before it fails.
struct ReadTimes {
    std::optional<long long> latestMs;   // the last read that answered
    std::optional<long long> slowestMs;  // the slowest of the last minute
};

/// The worker of a data folder (a native path): the process's own, unless
/// a look from outside or a test brings another.
using WorkerFor = std::function<ShareWorker&(const std::string& nativeFolder)>;

class DataFileReader {
public:
    using Clock = std::chrono::steady_clock;

    explicit DataFileReader(WorkerFor workerFor = ShareWorker::forFolder)
        : workerFor_(std::move(workerFor)) {}

    /// A read unanswered this long makes the board not connected: a share
    /// that answers, however slowly, stays connected.
    static constexpr std::chrono::milliseconds kLostAfter{3000};

    /// One beat's look: the files, when a read answered since the last
    /// look; a new read handed over when none is in flight. Never waits.
    std::optional<DataFiles> take(const Cp932& dataDir);
    /// Waits at most `wait` for the read in flight to answer (a look from
    /// outside, which has no next beat): true once it has.
    bool settle(std::chrono::milliseconds wait);

    /// How long the share has left the files unanswered: since the first
    /// read asked after the last whole answer, or since the share last
    /// answered a file of the read in flight; zero when the last read
    /// answered.
    std::chrono::milliseconds unanswered() const;
    ReadTimes times() const;

private:
    struct FileRead {
        std::future<ShareReply> reply;
        std::optional<ShareReply> came;
    };

    void ask(const Cp932& dataDir);
    std::optional<DataFiles> collect(const Cp932& dataDir);
    bool arrived(FileRead& file);
    void noteTime(Clock::time_point now, std::chrono::milliseconds took);

    WorkerFor workerFor_;
    std::vector<FileRead> inFlight_;  // empty: none in flight
    Clock::time_point askedAt_;
    std::optional<Clock::time_point> unansweredSince_;
    std::optional<std::chrono::milliseconds> latest_;
    std::deque<std::pair<Clock::time_point, std::chrono::milliseconds>> lastMinute_;
};

}  // namespace pelm
