#pragma once
// The one home for work on a folder that may stall (a network share, a
// FUSE file system): per folder one worker, with a deadline, a stalled
// state and back-off, for reads and writes alike. A local folder is worked
// on in the caller's thread, at once: no thread, no helper. Which kind a
// folder is is decided once, from the mount table (folder_kind.h).
//
// A folder that may stall has a thread of its own, which alone talks to
// the folder's helper process (share_helper.h), where every step that can
// hang runs: no thread of ours waits in the share, and a process that ends
// is gone at once, its lock and window with it. Callers hand calls over and
// wait for their answers with a deadline, or come back for them later; the
// window's thread only ever hands over, and opens no file in a folder that
// may stall but through this worker.
//
// While a call is unanswered past its deadline the folder is stalled:
// further calls answer NoAnswer at once and posted writes wait, so nothing
// piles up. A helper that ended, or could not be had (the process or
// open-file limit), is tried again after a pause that doubles meanwhile.

#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/share_calls.h"
#include "platform/share_process.h"

namespace pelm {

/// The answers to one exchange, one per call in their order, and when
/// they came.
struct ShareReply {
    std::vector<ShareAnswer> answers;
    std::chrono::steady_clock::time_point at;
};

/// Whether `reply` holds its answers now, without waiting for them.
inline bool answeredNow(const std::future<ShareReply>& reply) {
    return reply.valid() && reply.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

/// What came of one posted write.
struct PostedOutcome {
    std::string nativePath;
    ShareAnswer answer;  // a Replacement, or why there is none
};

class ShareWorker {
public:
    static constexpr std::chrono::milliseconds kDefaultWait{1000};

    /// Where the calls are done: in the caller's thread (a local folder),
    /// or in a helper process running `helperProgram`.
    enum class Where { InProcess, Helper };

    /// `wait` bounds each call unless it says otherwise, and a posted write
    /// once handed over.
    explicit ShareWorker(Where where, std::chrono::milliseconds wait = kDefaultWait,
                         std::string helperProgram = shareHelperProgram());
    /// Does not wait for the folder: a helper at work is told to end, and
    /// ends when the share lets it.
    ~ShareWorker();
    ShareWorker(const ShareWorker&) = delete;
    ShareWorker& operator=(const ShareWorker&) = delete;

    /// Hands `calls` over without waiting; the folder is stalled while they
    /// are unanswered `stallAfter` after the helper took them up. A local
    /// folder answers at once.
    std::future<ShareReply> ask(std::vector<ShareCall> calls, std::chrono::milliseconds stallAfter);
    /// Asks and waits at most `wait`: the answers, or NoAnswer for each.
    std::vector<ShareAnswer> call(std::vector<ShareCall> calls, std::chrono::milliseconds wait);
    /// One file read within the worker's wait; Stalled when it was not.
    FileBytes read(FileRequest request);

    /// Hands a write over without waiting: it replaces any write to the same
    /// file still waiting, and goes after every write posted before it.
    void post(ReplaceRequest request);
    /// The outcomes of posted writes since the last call, oldest first.
    std::vector<PostedOutcome> outcomes();
    /// Waits at most `timeout` until no posted write is left; false at once
    /// while the folder is stalled.
    bool waitIdle(std::chrono::milliseconds timeout);

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
