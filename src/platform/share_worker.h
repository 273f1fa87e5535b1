#pragma once
// The one home for work on a folder that may stall (a network share, a
// FUSE file system): per folder one worker, with a deadline, a stalled
// state and back-off, for reads and writes alike.
//
// A folder on a local file system is worked on in the caller's own thread,
// at once, at no cost: no thread, no helper. Which kind a folder is is
// decided once, from the mount table, never by asking the file system the
// folder may lie on (folder_kind.h).
//
// A folder that may stall has a thread of its own, which alone talks to
// the folder's helper process (share_helper.h); every step that can hang
// runs there, so no thread of ours ever waits in the share, and a process
// that ends is gone at once, its lock and window with it. Callers hand
// calls over and wait for their own answers with a deadline, or come back
// for them later: the window's thread only ever hands over, and nothing on
// it opens a file in a folder that may stall but through this worker.
//
// While a call is unanswered past its deadline the folder is stalled:
// further calls answer NoAnswer at once and posted writes wait, so nothing
// piles up and there is never more than the one helper. Once the helper
// answers, the worker goes on. A helper that ended, or could not be had
// (the process or open-file limit), is tried again after a pause that
// doubles while it keeps failing; one left idle goes.

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/share_calls.h"
#include "platform/share_process.h"

namespace pelm {

/// The answers a worker owes one caller, one per call in their order.
class PendingAnswers {
public:
    using Clock = std::chrono::steady_clock;

    explicit PendingAnswers(std::size_t calls) : calls_(calls), asked_(Clock::now()) {}

    bool ready() const;
    /// The answers once they are there, taken: a second take has none.
    std::optional<std::vector<ShareAnswer>> take();
    /// Waits at most until `deadline` for the answers; true once there.
    bool waitReady(Clock::time_point deadline);
    /// Waits at most until `deadline`: the answers, or NoAnswer for each.
    std::vector<ShareAnswer> await(Clock::time_point deadline);
    /// When the calls were handed over, and when they were answered (once
    /// they were).
    Clock::time_point askedAt() const { return asked_; }
    Clock::time_point answeredAt() const;

    /// Gives the answers (the worker only).
    void fulfil(std::vector<ShareAnswer> answers);
    /// Gives each call the same answer.
    void fulfilAll(const ShareAnswer& answer);

private:
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::optional<std::vector<ShareAnswer>> answers_;
    bool taken_ = false;
    std::size_t calls_;
    Clock::time_point asked_;
    Clock::time_point answered_;
};

/// What came of one posted write.
struct PostedOutcome {
    std::string nativePath;
    ShareAnswer answer;  // a Replacement, or why there is none
};

class ShareWorker {
public:
    static constexpr std::chrono::milliseconds kDefaultWait{1000};
    static constexpr std::chrono::milliseconds kDefaultIdle{5000};

    /// Where the calls are done: in the caller's thread (a local folder),
    /// or in a helper process running `helperProgram`.
    enum class Where { InProcess, Helper };

    /// `wait` bounds each call unless it says otherwise, and a posted write
    /// once handed over; a helper with nothing to do for `idle` goes.
    explicit ShareWorker(Where where, std::chrono::milliseconds wait = kDefaultWait,
                         std::string helperProgram = shareHelperProgram(),
                         std::chrono::milliseconds idle = kDefaultIdle);
    /// Does not wait for the folder: a helper at work is told to end, and
    /// ends when the share lets it.
    ~ShareWorker();
    ShareWorker(const ShareWorker&) = delete;
    ShareWorker& operator=(const ShareWorker&) = delete;

    bool mayStall() const { return where_ == Where::Helper; }

    /// Hands `calls` over without waiting; the folder is stalled while they
    /// are unanswered after `stallAfter`. A local folder answers at once.
    std::shared_ptr<PendingAnswers> ask(std::vector<ShareCall> calls,
                                        std::chrono::milliseconds stallAfter);
    /// Asks and waits at most `wait` for the answers.
    std::vector<ShareAnswer> call(std::vector<ShareCall> calls, std::chrono::milliseconds wait);
    /// Files read in one exchange within the worker's wait; each Stalled
    /// when they were not read in time.
    std::vector<FileBytes> readEach(std::vector<FileRequest> requests);
    FileBytes read(FileRequest request);

    /// Hands a write over without waiting: it replaces any write to the same
    /// file still waiting, and goes after every write posted before it.
    void post(ReplaceRequest request);
    /// The outcomes of posted writes since the last call, oldest first.
    std::vector<PostedOutcome> outcomes();
    /// Waits at most `timeout` until no posted write is left; false at once
    /// while the folder is stalled.
    bool waitIdle(std::chrono::milliseconds timeout);

    /// Whether a call has been unanswered past its deadline.
    bool stalled() const;
    /// Why the last helper wanted could not be had; empty once one was.
    std::string shortage() const;

    /// The worker of a folder (a native path) for the process, made at its
    /// first use and kept for the process's life; spellings that name the
    /// folder alike (a trailing or doubled separator) share it.
    static ShareWorker& forFolder(const std::string& nativeFolder);
    /// The worker of the folder that holds the file at a native path.
    static ShareWorker& forFile(const std::string& nativePath);

    struct State;

private:
    Where where_;
    std::chrono::milliseconds wait_;
    std::unique_ptr<State> state_;  // a folder that may stall only
};

}  // namespace pelm
