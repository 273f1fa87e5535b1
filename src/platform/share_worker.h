#pragma once
// The one home for work on a folder that may not answer (a network share,
// a FUSE file system): per folder, one worker with a deadline, a stuck state
// and back-off, for reads and writes alike.
//
// Every step that can hang in the folder's file system runs in the folder's
// helper process (share_helper.h); the worker's own thread only hands calls
// over and waits for the answers on a socket, so no thread of ours ever
// waits in the share, and a process that ends is gone at once, its lock
// and window with it. Reads, listings, looks and the "answers" probe are
// synchronous with a deadline; replacing a file is posted without blocking,
// the newest bytes for a file winning, its outcome collected later.
//
// While a call is unanswered past its deadline the folder is stuck: further
// calls fail at once and posted writes wait, so nothing piles up, and there
// is never more than the one helper. Once the helper answers, the worker
// goes on. A helper that ended is replaced at the next call, after a pause
// that doubles while helpers keep ending; one left idle goes, and the next
// call makes a new one.

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/share_calls.h"
#include "platform/share_helper.h"

namespace pelm {

/// What came of one posted write.
struct PostedOutcome {
    std::string nativePath;
    /// Replacement, or std::monostate when the helper ended before it said.
    ShareAnswer answer;
};

class ShareWorker {
public:
    static constexpr std::chrono::milliseconds kDefaultWait{1000};
    static constexpr std::chrono::milliseconds kDefaultIdle{5000};

    /// `wait` bounds each call unless it says otherwise, and a posted write
    /// once handed over; `perform` is how the helper does each call; a
    /// helper with nothing to do for `idle` goes. The helper is made at
    /// once, a fork that never waits for the folder, so the first call costs
    /// no more than any other.
    explicit ShareWorker(std::chrono::milliseconds wait = kDefaultWait,
                         PerformCall perform = performCall,
                         std::chrono::milliseconds idle = kDefaultIdle);
    /// Does not wait for the folder: a helper at work is told to end, and
    /// ends when the share lets it.
    ~ShareWorker();
    ShareWorker(const ShareWorker&) = delete;
    ShareWorker& operator=(const ShareWorker&) = delete;

    /// Does `calls` in one exchange: one answer each, in their order, every
    /// one std::monostate when they did not all answer within `wait`, the
    /// folder is stuck, or the helper ended. Callers on several threads take
    /// turns.
    std::vector<ShareAnswer> call(std::vector<ShareCall> calls, std::chrono::milliseconds wait);

    /// Files read in one exchange within the worker's wait; each Stalled
    /// when they were not all read in time.
    std::vector<FileBytes> readEach(std::vector<FileRequest> requests);
    FileBytes read(FileRequest request);
    /// Whether the folder's file system answers within the wait, and what
    /// kind it is; nothing when it does not.
    std::optional<FolderProbe> probe(const std::string& nativeFolder);
    bool answers(const std::string& nativeFolder) { return probe(nativeFolder).has_value(); }

    /// Hands a write over without waiting: it replaces any write to the same
    /// file still waiting, and goes after every write posted before it.
    void post(ReplaceRequest request);
    /// The outcomes of posted writes since the last call, oldest first.
    std::vector<PostedOutcome> outcomes();
    /// Waits at most `timeout` until no posted write is left; false at once
    /// while the folder is stuck.
    bool waitIdle(std::chrono::milliseconds timeout);

    /// The worker of a folder (a native path) for the process, made at its
    /// first use and kept for the process's life; spellings that name the
    /// folder alike (a trailing or doubled separator) share it.
    static ShareWorker& forFolder(const std::string& nativeFolder);
    /// The worker of the folder that holds the file at a native path.
    static ShareWorker& forFile(const std::string& nativePath);

    struct State;

private:
    void start();
    State& state();

    std::chrono::milliseconds wait_;
    std::chrono::milliseconds idle_;
    PerformCall perform_;
    std::unique_ptr<State> state_;
    pid_t process_ = 0;  // the process the worker's thread runs in
};

}  // namespace pelm
