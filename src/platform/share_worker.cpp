#include "platform/share_worker.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "platform/share_wire.h"

namespace pelm {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The pause before a new helper after one ended, doubled while they keep
// ending: a helper that cannot live costs a fork now and then, not a loop.
constexpr milliseconds kFirstPause{250};
constexpr milliseconds kLongestPause{8000};

// An exchange handed to the helper and not answered yet. Whoever handed it
// over owns the channel until the answer is in: a caller, or the worker's
// thread for the posted writes and for a caller's exchange given up on.
struct InFlight {
    Clock::time_point deadline;  // unanswered by then, the folder is stuck
    bool posted = false;
    bool givenUp = false;
};

std::vector<ShareAnswer> unanswered(std::size_t count) {
    return std::vector<ShareAnswer>(count);  // each std::monostate
}

enum class Arrival { Answered, Late, Broken, Stopping };

// Waits for the helper's answer until `deadline`, or as long as it takes
// without one; `wake` (when given) ends the wait when the worker stops.
Arrival awaitAnswer(int channel, int wake, std::optional<Clock::time_point> deadline) {
    pollfd watched[] = {{channel, POLLIN, 0}, {wake, POLLIN, 0}};
    for (;;) {
        int timeout = -1;
        if (deadline) {
            const auto left = std::chrono::ceil<milliseconds>(*deadline - Clock::now());
            timeout = static_cast<int>(std::max<milliseconds::rep>(left.count(), 0));
        }
        const int ready = poll(watched, 2, timeout);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return Arrival::Broken;
        if (watched[1].revents) return Arrival::Stopping;
        if (watched[0].revents) return Arrival::Answered;
        if (deadline && Clock::now() >= *deadline) return Arrival::Late;
    }
}

// Sends `calls` and takes the answers, waiting as `awaitAnswer` does.
Arrival exchange(int channel, int wake, std::optional<Clock::time_point> deadline,
                 const std::vector<ShareCall>& calls, std::vector<ShareAnswer>& answers) {
    if (!sendCalls(channel, calls)) return Arrival::Broken;
    const Arrival arrival = awaitAnswer(channel, wake, deadline);
    if (arrival != Arrival::Answered) return arrival;
    std::optional<std::vector<ShareAnswer>> received = receiveAnswers(channel);
    if (!received || received->size() != calls.size()) return Arrival::Broken;
    answers = std::move(*received);
    return Arrival::Answered;
}

// A helper keeps the folder it was made in as its own: a relative name is
// made whole here, against the caller's folder now.
void anchor(std::vector<ShareCall>& calls) {
    for (ShareCall& call : calls) {
        std::string& path = pathOf(call);
        if (path.starts_with('/')) continue;
        std::error_code noCurrentFolder;
        const std::filesystem::path whole = std::filesystem::absolute(path, noCurrentFolder);
        if (!noCurrentFolder) path = whole.string();
    }
}

}  // namespace

struct ShareWorker::State {
    milliseconds wait;
    milliseconds idle;
    PerformCall perform;

    std::mutex mutex;
    std::condition_variable work;      // the worker's thread waits here
    std::condition_variable answered;  // callers and waits for the writes wait here
    std::optional<Helper> helper;      // made and ended by the worker's thread only
    bool helperBroken = false;         // its channel failed: to be ended and replaced
    bool helperWanted = false;         // a caller found none
    std::optional<InFlight> inFlight;
    int callersWaiting = 0;
    std::vector<ReplaceRequest> posted;
    std::vector<PostedOutcome> outcomes;
    Clock::time_point pauseUntil;  // no new helper before
    milliseconds pause{0};
    Clock::time_point lastUse;  // of the helper: the end of its last exchange
    bool started = false;       // the first helper is up, or could not be made
    bool stopping = false;
    FileDescriptor wake{eventfd(0, EFD_CLOEXEC)};  // readable once stopping
    std::thread thread;

    bool stuck() const { return inFlight && Clock::now() >= inFlight->deadline; }
    bool writesLeft() const { return !posted.empty() || (inFlight && inFlight->posted); }
    bool channelFree() const { return helper && !helperBroken && !inFlight; }
    bool paused() const { return Clock::now() < pauseUntil; }
    bool idleHelper() const { return channelFree() && posted.empty() && callersWaiting == 0; }

    // What the owner of the exchange in flight found; the lock is held.
    void settle(Arrival arrival) {
        lastUse = Clock::now();
        if (arrival == Arrival::Late) {
            inFlight->givenUp = true;
            return work.notify_one();
        }
        inFlight.reset();
        if (arrival == Arrival::Broken)
            helperBroken = true;
        else
            pause = milliseconds(0);
        // The worker's thread is woken only for work: the reads of every
        // refresh pass it by, and its idle count wakes it by itself.
        if (helperBroken || !posted.empty()) work.notify_one();
        answered.notify_all();
    }
};

namespace {

using State = ShareWorker::State;

void pauseLonger(State& state) {
    state.pause = std::clamp(state.pause * 2, kFirstPause, kLongestPause);
    state.pauseUntil = Clock::now() + state.pause;
}

// On the worker's thread, so the helper dies with it.
void makeHelper(State& state, std::unique_lock<std::mutex>& lock) {
    state.helperWanted = false;
    lock.unlock();
    std::optional<Helper> helper = startHelper(state.perform);
    lock.lock();
    if (helper) {
        state.helper = std::move(helper);
        state.lastUse = Clock::now();
    } else {
        pauseLonger(state);
    }
    state.answered.notify_all();
}

void replaceBrokenHelper(State& state) {
    endHelper(state.helper->pid);
    state.helper.reset();
    state.helperBroken = false;
    pauseLonger(state);
    state.answered.notify_all();
}

// Waits, as long as it takes, for the answer a caller gave up on, and
// drops it: the folder is no longer stuck.
void collectGivenUp(State& state, std::unique_lock<std::mutex>& lock) {
    const int channel = state.helper->channel.get();
    lock.unlock();
    Arrival arrival = awaitAnswer(channel, state.wake.get(), std::nullopt);
    if (arrival == Arrival::Answered && !receiveAnswers(channel)) arrival = Arrival::Broken;
    lock.lock();
    if (arrival != Arrival::Stopping) state.settle(arrival);
}

void writePosted(State& state, std::unique_lock<std::mutex>& lock) {
    std::vector<ShareCall> calls;
    std::vector<std::string> paths;
    for (ReplaceRequest& write : state.posted) {
        paths.push_back(write.nativePath);
        calls.emplace_back(std::move(write));
    }
    state.posted.clear();
    state.inFlight = InFlight{Clock::now() + state.wait, true, false};
    state.answered.notify_all();  // a wait for the writes learns when they would be stuck
    const int channel = state.helper->channel.get();
    lock.unlock();
    std::vector<ShareAnswer> answers = unanswered(calls.size());
    const Arrival arrival = exchange(channel, state.wake.get(), std::nullopt, calls, answers);
    lock.lock();
    if (arrival == Arrival::Stopping) return;
    for (std::size_t i = 0; i < paths.size(); ++i)
        state.outcomes.push_back({std::move(paths[i]), std::move(answers[i])});
    state.settle(arrival);
}

// A helper nobody asked anything for a while goes: a folder read only at
// start-up (the settings) keeps no process, and its next call makes one.
void letIdleHelperGo(State& state) {
    endHelper(state.helper->pid);
    state.helper.reset();
}

// Waits for something to do: a call, a write, the end of a pause or of a
// helper's idle time (counted from its last exchange, whoever made it).
void awaitWork(State& state, std::unique_lock<std::mutex>& lock) {
    if (!state.helper && (state.helperWanted || !state.posted.empty())) {
        state.work.wait_until(lock, state.pauseUntil);
    } else if (state.helper) {
        // Past its time the helper is busy, not idle: look again later.
        const auto now = Clock::now();
        const auto idleEnds = state.lastUse + state.idle;
        state.work.wait_until(lock, idleEnds > now ? idleEnds : now + state.idle);
    } else {
        state.work.wait(lock);
    }
}

// The worker's thread: it never calls into the folder, only makes the
// helper, hands it the posted writes and waits on its socket.
void serve(State& state) {
    std::unique_lock lock(state.mutex);
    makeHelper(state, lock);
    state.started = true;
    state.answered.notify_all();
    while (!state.stopping) {
        const bool wanted = state.helperWanted || !state.posted.empty();
        if (state.helperBroken && !state.inFlight) {
            replaceBrokenHelper(state);
        } else if (state.inFlight && state.inFlight->givenUp) {
            collectGivenUp(state, lock);
        } else if (!state.helper && wanted && !state.paused()) {
            makeHelper(state, lock);
        } else if (state.channelFree() && !state.posted.empty() && state.callersWaiting == 0) {
            writePosted(state, lock);
        } else if (state.idleHelper() && Clock::now() >= state.lastUse + state.idle) {
            letIdleHelperGo(state);
        } else {
            awaitWork(state, lock);
        }
    }
    if (state.helper) endHelper(state.helper->pid);
}

// Waits until the channel is the caller's, at most until `deadline`; false
// at once while the folder is stuck or between helpers.
bool takeChannel(State& state, std::unique_lock<std::mutex>& lock, Clock::time_point deadline) {
    ++state.callersWaiting;
    bool taken = false;
    while (!taken && !state.stuck() && !state.stopping) {
        if (state.channelFree()) {
            state.inFlight = InFlight{deadline, false, false};
            taken = true;
            break;
        }
        if (!state.helper && state.paused()) break;
        if (!state.helper) {
            state.helperWanted = true;
            state.work.notify_one();
        }
        // Stuck comes with time, not with a notice: wake when it would.
        const auto until = state.inFlight ? std::min(deadline, state.inFlight->deadline) : deadline;
        if (state.answered.wait_until(lock, until) == std::cv_status::timeout &&
            Clock::now() >= deadline)
            break;
    }
    --state.callersWaiting;
    return taken;
}

}  // namespace

ShareWorker::ShareWorker(milliseconds wait, PerformCall perform, milliseconds idle)
    : wait_(wait), idle_(idle), perform_(std::move(perform)) {
    start();
}

void ShareWorker::start() {
    state_ = std::make_unique<State>();
    state_->wait = wait_;
    state_->idle = idle_;
    state_->perform = perform_;
    state_->thread = std::thread(serve, std::ref(*state_));
    process_ = getpid();
    std::unique_lock lock(state_->mutex);
    state_->answered.wait(lock, [&] { return state_->started; });
}

// A forked child (a test's death test, say) has a copy of the worker but
// not its thread: it starts a worker of its own and leaves the copy alone.
ShareWorker::State& ShareWorker::state() {
    if (process_ != getpid()) {
        (void)state_.release();
        start();
    }
    return *state_;
}

ShareWorker::~ShareWorker() {
    if (process_ != getpid()) {
        (void)state_.release();
        return;
    }
    {
        const std::lock_guard lock(state_->mutex);
        state_->stopping = true;
    }
    const std::uint64_t one = 1;
    (void)!write(state_->wake.get(), &one, sizeof one);
    state_->work.notify_all();
    state_->thread.join();  // at once: the thread never waits in the folder
}

// The caller talks to the helper itself, the cheapest way for the reads
// of every refresh; an answer late past the deadline is left to the
// worker's thread.
std::vector<ShareAnswer> ShareWorker::call(std::vector<ShareCall> calls, milliseconds wait) {
    State& shared = state();
    anchor(calls);
    const auto deadline = Clock::now() + wait;
    std::unique_lock lock(shared.mutex);
    if (!takeChannel(shared, lock, deadline)) return unanswered(calls.size());
    const int channel = shared.helper->channel.get();
    lock.unlock();
    std::vector<ShareAnswer> answers = unanswered(calls.size());
    const Arrival arrival = exchange(channel, -1, deadline, calls, answers);
    lock.lock();
    shared.settle(arrival);
    return arrival == Arrival::Answered ? std::move(answers) : unanswered(calls.size());
}

std::vector<FileBytes> ShareWorker::readEach(std::vector<FileRequest> requests) {
    std::vector<ShareAnswer> answers =
        call(std::vector<ShareCall>(std::make_move_iterator(requests.begin()),
                                    std::make_move_iterator(requests.end())),
             wait_);
    std::vector<FileBytes> files;
    files.reserve(answers.size());
    for (ShareAnswer& answer : answers) {
        FileBytes* file = std::get_if<FileBytes>(&answer);
        files.push_back(file ? std::move(*file) : FileBytes{FileBytes::Status::Stalled, {}});
    }
    return files;
}

FileBytes ShareWorker::read(FileRequest request) {
    return std::move(readEach({std::move(request)}).front());
}

std::optional<FolderProbe> ShareWorker::probe(const std::string& nativeFolder) {
    const std::vector<ShareAnswer> answers = call({ProbeRequest{nativeFolder}}, wait_);
    const FolderProbe* probed = std::get_if<FolderProbe>(&answers.front());
    return probed ? std::optional(*probed) : std::nullopt;
}

void ShareWorker::post(ReplaceRequest request) {
    State& shared = state();
    if (!request.nativePath.starts_with('/'))
        request.nativePath = std::filesystem::absolute(request.nativePath).string();
    {
        const std::lock_guard lock(shared.mutex);
        std::erase_if(shared.posted,
                      [&](const auto& older) { return older.nativePath == request.nativePath; });
        shared.posted.push_back(std::move(request));
    }
    shared.work.notify_one();
}

std::vector<PostedOutcome> ShareWorker::outcomes() {
    State& shared = state();
    const std::lock_guard lock(shared.mutex);
    return std::exchange(shared.outcomes, {});
}

bool ShareWorker::waitIdle(milliseconds timeout) {
    State& shared = state();
    const auto until = Clock::now() + timeout;
    std::unique_lock lock(shared.mutex);
    while (shared.writesLeft()) {
        if (shared.stuck() || Clock::now() >= until) return false;
        // Stuck comes with time, not with a notice: wake when it would.
        const auto stuckAt = shared.inFlight ? shared.inFlight->deadline : until;
        shared.answered.wait_until(lock, std::min(until, stuckAt));
    }
    return true;
}

namespace {

// The folder as one name: "data", "data/", "./data//" and the same folder
// from the root are one folder, with one helper.
std::string folderKey(const std::string& nativeFolder) {
    std::error_code noCurrentFolder;
    const std::filesystem::path folder(nativeFolder.empty() ? "." : nativeFolder);
    std::filesystem::path whole = std::filesystem::absolute(folder, noCurrentFolder);
    std::string key = (noCurrentFolder ? folder : whole).lexically_normal().string();
    while (key.size() > 1 && key.back() == '/') key.pop_back();
    return key;
}

struct Workers {
    std::mutex mutex;
    std::map<std::string, std::unique_ptr<ShareWorker>> byFolder;
    // Each spelling met so far, so the data folder read at every beat is
    // found without working out its name again.
    std::map<std::string, ShareWorker*, std::less<>> bySpelling;
};

// Never destroyed: a process may end while a worker's thread still waits
// on its helper, and exit() must not pull the workers from under it.
Workers& processWorkers() {
    static Workers* const workers = new Workers;
    return *workers;
}

}  // namespace

ShareWorker& ShareWorker::forFolder(const std::string& nativeFolder) {
    Workers& workers = processWorkers();
    const std::lock_guard lock(workers.mutex);
    if (const auto known = workers.bySpelling.find(nativeFolder); known != workers.bySpelling.end())
        return *known->second;
    std::unique_ptr<ShareWorker>& worker = workers.byFolder[folderKey(nativeFolder)];
    if (!worker) worker = std::make_unique<ShareWorker>();
    // A relative spelling names another folder once the current one changes.
    if (nativeFolder.starts_with('/')) workers.bySpelling.emplace(nativeFolder, worker.get());
    return *worker;
}

ShareWorker& ShareWorker::forFile(const std::string& nativePath) {
    return forFolder(std::filesystem::path(nativePath).lexically_normal().parent_path().string());
}

}  // namespace pelm
