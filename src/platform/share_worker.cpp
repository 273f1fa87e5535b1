#include "platform/share_worker.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <filesystem>
#include <map>
#include <system_error>
#include <thread>

#include "platform/folder_kind.h"
#include "platform/share_wire.h"

namespace pelm {

// --- answers owed ------------------------------------------------------------

bool PendingAnswers::ready() const {
    const std::lock_guard lock(mutex_);
    return answers_.has_value();
}

std::optional<std::vector<ShareAnswer>> PendingAnswers::take() {
    const std::lock_guard lock(mutex_);
    if (!answers_ || taken_) return std::nullopt;
    taken_ = true;
    return std::move(*answers_);
}

bool PendingAnswers::waitReady(Clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_until(lock, deadline, [&] { return answers_.has_value(); });
}

std::vector<ShareAnswer> PendingAnswers::await(Clock::time_point deadline) {
    waitReady(deadline);
    std::optional<std::vector<ShareAnswer>> answers = take();
    return answers ? std::move(*answers) : std::vector<ShareAnswer>(calls_, NoAnswer{});
}

PendingAnswers::Clock::time_point PendingAnswers::answeredAt() const {
    const std::lock_guard lock(mutex_);
    return answered_;
}

void PendingAnswers::fulfil(std::vector<ShareAnswer> answers) {
    const std::lock_guard lock(mutex_);
    answered_ = Clock::now();
    answers_ = std::move(answers);
    arrived_.notify_all();
}

void PendingAnswers::fulfilAll(const ShareAnswer& answer) {
    fulfil(std::vector<ShareAnswer>(calls_, answer));
}

// --- the worker's state and its thread ---------------------------------------

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The pause before a new helper after one ended or could not be had,
// doubled while that goes on: a helper that cannot live costs a start now
// and then, not a loop.
constexpr milliseconds kFirstPause{250};
constexpr milliseconds kLongestPause{8000};

// Calls handed over together; without `answers`, the posted writes.
struct Exchange {
    std::vector<ShareCall> calls;
    std::shared_ptr<PendingAnswers> answers;
    Clock::time_point deadline;  // unanswered by then, the folder is stalled
};

// A helper keeps the folder it started in: a relative name is made whole
// here, against the caller's folder now.
void anchor(std::string& path) {
    std::error_code noCurrentFolder;
    if (path.starts_with('/')) return;
    const std::filesystem::path whole = std::filesystem::absolute(path, noCurrentFolder);
    if (!noCurrentFolder) path = whole.string();
}

}  // namespace

struct ShareWorker::State {
    milliseconds wait;
    milliseconds idle;
    std::string program;

    mutable std::mutex mutex;
    std::condition_variable writesDone;  // waitIdle waits here
    std::deque<Exchange> queued;
    std::vector<ReplaceRequest> posted;
    std::vector<PostedOutcome> outcomes;
    // Touched by the worker's thread only, under the mutex.
    std::optional<Exchange> inFlight;
    std::optional<HelperProcess> helper;
    bool helperReady = false;
    std::vector<HelperProcess> ended;  // let go of, not yet reaped
    Clock::time_point lastUse;
    Clock::time_point pauseUntil;
    milliseconds pause{0};
    std::string shortage;
    bool stopping = false;
    FileDescriptor wake;  // made with the thread
    std::thread thread;

    bool stalledNow() const { return inFlight && Clock::now() >= inFlight->deadline; }
    bool hasWork() const { return !queued.empty() || !posted.empty(); }
    bool writesLeft() const { return !posted.empty() || (inFlight && !inFlight->answers); }
    bool paused() const { return Clock::now() < pauseUntil; }
    void nudge() const {
        const std::uint64_t one = 1;
        (void)!write(wake.get(), &one, sizeof one);
    }
    void pauseLonger(const std::string& why) {
        shortage = why;
        pause = std::clamp(pause * 2, kFirstPause, kLongestPause);
        pauseUntil = Clock::now() + pause;
    }
    // Callers waiting get `why` at once: the folder stalled (their calls
    // would only queue behind the one that hangs) or has no helper.
    void failQueued(const ShareAnswer& why) {
        for (Exchange& waiting : queued) waiting.answers->fulfilAll(why);
        queued.clear();
    }
    // Posted writes are given up on only when no helper can be had at all:
    // the writer hears why and posts its newest bytes again.
    void failPosted(const std::string& why) {
        for (ReplaceRequest& write : posted)
            outcomes.push_back({write.nativePath, CallFailed{why}});
        posted.clear();
        writesDone.notify_all();
    }
};

namespace {

using State = ShareWorker::State;

void answer(State& state, Exchange done, std::vector<ShareAnswer> answers) {
    if (done.answers) return done.answers->fulfil(std::move(answers));
    for (std::size_t i = 0; i < done.calls.size(); ++i)
        state.outcomes.push_back({pathOf(done.calls[i]), std::move(answers[i])});
    state.writesDone.notify_all();
}

// The helper ended, broke its channel or said it is not ours: whatever it
// had goes unanswered, and another is made after a pause.
void letGo(State& state, const std::string& why) {
    if (state.inFlight) {
        std::vector<ShareAnswer> none(state.inFlight->calls.size(), NoAnswer{});
        Exchange lost = std::move(*state.inFlight);
        state.inFlight.reset();
        answer(state, std::move(lost), std::move(none));
    }
    state.helper->end();
    if (!state.helper->reap()) state.ended.push_back(std::move(*state.helper));
    state.helper.reset();
    state.pauseLonger(why);
}

void startHelper(State& state, std::unique_lock<std::mutex>& lock) {
    lock.unlock();
    std::string why;
    HelperProcess started = HelperProcess::start(state.program, why);
    lock.lock();
    if (!started.running()) {
        state.pauseLonger(why);
        state.failQueued(CallFailed{why});
        return state.failPosted(why);
    }
    state.helper.emplace(std::move(started));
    state.helperReady = false;
    state.lastUse = Clock::now();
}

// Callers' calls first: someone waits for them; the posted writes after.
void sendNext(State& state, std::unique_lock<std::mutex>& lock) {
    if (!state.queued.empty()) {
        state.inFlight = std::move(state.queued.front());
        state.queued.pop_front();
    } else {
        Exchange writes{{}, nullptr, Clock::now() + state.wait};
        for (ReplaceRequest& write : state.posted) writes.calls.emplace_back(std::move(write));
        state.posted.clear();
        state.inFlight = std::move(writes);
    }
    const int channel = state.helper->channel();
    lock.unlock();
    const bool sent = sendCalls(channel, state.inFlight->calls);
    lock.lock();
    if (!sent) letGo(state, "the helper's channel broke");
}

void takeAnswers(State& state, std::unique_lock<std::mutex>& lock) {
    const int channel = state.helper->channel();
    lock.unlock();
    std::optional<std::vector<ShareAnswer>> answers = receiveAnswers(channel);
    lock.lock();
    if (!answers || answers->size() != state.inFlight->calls.size())
        return letGo(state, "the helper ended");
    Exchange done = std::move(*state.inFlight);
    state.inFlight.reset();
    state.lastUse = Clock::now();
    state.pause = milliseconds(0);
    answer(state, std::move(done), std::move(*answers));
}

// What the helper's channel has to say: its first word, or answers.
void hearHelper(State& state, std::unique_lock<std::mutex>& lock) {
    std::string why;
    if (state.helperReady && state.inFlight) return takeAnswers(state, lock);
    if (!state.helperReady && readyOn(state.helper->channel(), why)) {
        state.helperReady = true;
        state.shortage.clear();
        return;
    }
    letGo(state, why.empty() ? "the helper spoke out of turn" : why);
    if (!why.empty()) state.failQueued(CallFailed{why});
}

// The next moment the thread must look without being woken: a deadline
// passing, a pause ending, a helper's idle time running out.
int msUntilNextLook(const State& state) {
    std::optional<Clock::time_point> next;
    const auto sooner = [&](Clock::time_point moment) {
        if (!next || moment < *next) next = moment;
    };
    if (state.inFlight && !state.stalledNow()) sooner(state.inFlight->deadline);
    if (!state.helper && state.hasWork()) sooner(state.pauseUntil);
    if (state.helper && !state.inFlight && !state.hasWork()) sooner(state.lastUse + state.idle);
    if (!next) return -1;
    const auto left = std::chrono::ceil<milliseconds>(*next - Clock::now());
    return static_cast<int>(std::max<milliseconds::rep>(left.count(), 0));
}

void awaitEvents(State& state, std::unique_lock<std::mutex>& lock) {
    std::vector<pollfd> watched{{state.wake.get(), POLLIN, 0}};
    if (state.helper) {
        watched.push_back({state.helper->channel(), POLLIN, 0});
        watched.push_back({state.helper->pidfd(), POLLIN, 0});
    }
    for (const HelperProcess& old : state.ended) watched.push_back({old.pidfd(), POLLIN, 0});
    const int timeout = msUntilNextLook(state);
    lock.unlock();
    const int ready = poll(watched.data(), watched.size(), timeout);
    std::uint64_t woken;
    (void)!read(state.wake.get(), &woken, sizeof woken);
    lock.lock();
    std::erase_if(state.ended, [](HelperProcess& old) { return old.reap(); });
    if (ready <= 0 || !state.helper) return;
    if (watched[1].revents) return hearHelper(state, lock);
    if (watched[2].revents) letGo(state, "the helper ended");
}

// The worker's thread: it never calls into the folder, only starts the
// helper, hands it the calls and waits on its socket.
void serve(State& state) {
    std::unique_lock lock(state.mutex);
    while (!state.stopping) {
        if (state.stalledNow()) state.failQueued(NoAnswer{});
        const bool free = state.helper && state.helperReady && !state.inFlight;
        if (!state.helper && state.hasWork() && !state.paused()) {
            startHelper(state, lock);
        } else if (free && state.hasWork()) {
            sendNext(state, lock);
        } else if (free && Clock::now() >= state.lastUse + state.idle) {
            // Nobody asked anything for a while: a folder read only at
            // start-up (the settings) keeps no process.
            state.helper->end();
            if (!state.helper->reap()) state.ended.push_back(std::move(*state.helper));
            state.helper.reset();
        } else {
            awaitEvents(state, lock);
        }
    }
    // A helper killed now is gone within moments unless a share holds it;
    // reaped if it goes within them, so a worker that ends leaves no zombie.
    if (state.helper) state.ended.push_back(std::move(*state.helper));
    for (HelperProcess& old : state.ended) {
        old.end();
        pollfd gone{old.pidfd(), POLLIN, 0};
        if (!old.reap() && poll(&gone, 1, 100) > 0) old.reap();
    }
}

// The thread is made at the first call, so a worker costs nothing until
// then; one that cannot be made is a shortage, tried again after a pause.
bool threadRuns(State& state) {
    if (state.thread.joinable()) return true;
    if (state.paused()) return false;
    if (!state.wake) state.wake.reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!state.wake) {
        state.pauseLonger("no wake-up for the folder's worker: " + shortageText(errno));
        return false;
    }
    try {
        state.thread = std::thread(serve, std::ref(state));
        return true;
    } catch (const std::system_error& error) {
        state.pauseLonger("no thread for the folder's worker: " +
                          shortageText(error.code().value()));
        return false;
    }
}

}  // namespace

ShareWorker::ShareWorker(Where where, milliseconds wait, std::string helperProgram,
                         milliseconds idle)
    : where_(where), wait_(wait), state_(std::make_unique<State>()) {
    state_->wait = wait;
    state_->idle = idle;
    state_->program = std::move(helperProgram);
}

ShareWorker::~ShareWorker() {
    {
        const std::lock_guard lock(state_->mutex);
        state_->stopping = true;
        state_->nudge();
    }
    if (state_->thread.joinable()) state_->thread.join();  // at once: it never waits in the folder
}

std::shared_ptr<PendingAnswers> ShareWorker::ask(std::vector<ShareCall> calls,
                                                 milliseconds stallAfter) {
    auto answers = std::make_shared<PendingAnswers>(calls.size());
    if (where_ == Where::InProcess) {
        std::vector<ShareAnswer> done;
        for (const ShareCall& call : calls) done.push_back(performCall(call));
        answers->fulfil(std::move(done));
        return answers;
    }
    for (ShareCall& call : calls) anchor(pathOf(call));
    State& state = *state_;
    const std::lock_guard lock(state.mutex);
    if (state.stalledNow()) {
        answers->fulfilAll(NoAnswer{});
    } else if (!threadRuns(state)) {
        answers->fulfilAll(CallFailed{state.shortage});
    } else {
        state.queued.push_back({std::move(calls), answers, Clock::now() + stallAfter});
        state.nudge();
    }
    return answers;
}

std::vector<ShareAnswer> ShareWorker::call(std::vector<ShareCall> calls, milliseconds wait) {
    return ask(std::move(calls), wait)->await(Clock::now() + wait);
}

std::vector<FileBytes> ShareWorker::readEach(std::vector<FileRequest> requests) {
    std::vector<ShareAnswer> answers = call({requests.begin(), requests.end()}, wait_);
    std::vector<FileBytes> files;
    for (ShareAnswer& answer : answers) files.push_back(fileBytesOf(std::move(answer)));
    return files;
}

FileBytes ShareWorker::read(FileRequest request) {
    return std::move(readEach({std::move(request)}).front());
}

void ShareWorker::post(ReplaceRequest request) {
    State& state = *state_;
    if (where_ == Where::InProcess) {
        ShareAnswer done = performCall(request);
        const std::lock_guard lock(state.mutex);
        state.outcomes.push_back({std::move(request.nativePath), std::move(done)});
        return;
    }
    anchor(request.nativePath);
    const std::lock_guard lock(state.mutex);
    std::erase_if(state.posted,
                  [&](const auto& older) { return older.nativePath == request.nativePath; });
    state.posted.push_back(std::move(request));
    if (!threadRuns(state)) return state.failPosted(state.shortage);
    state.nudge();
}

std::vector<PostedOutcome> ShareWorker::outcomes() {
    const std::lock_guard lock(state_->mutex);
    return std::exchange(state_->outcomes, {});
}

bool ShareWorker::waitIdle(milliseconds timeout) {
    State& state = *state_;
    const auto until = Clock::now() + timeout;
    std::unique_lock lock(state.mutex);
    while (state.writesLeft()) {
        if (state.stalledNow() || Clock::now() >= until) return false;
        // Stalled comes with time, not with a notice: wake when it would.
        const auto stallsAt = state.inFlight ? state.inFlight->deadline : until;
        state.writesDone.wait_until(lock, std::min(until, stallsAt));
    }
    return true;
}

bool ShareWorker::stalled() const {
    const std::lock_guard lock(state_->mutex);
    return state_->stalledNow();
}

std::string ShareWorker::shortage() const {
    const std::lock_guard lock(state_->mutex);
    return state_->shortage;
}

// --- one worker per folder ---------------------------------------------------

namespace {

// The folder as one name: "data", "data/", "./data//" and the same folder
// from the root are one folder, with one worker.
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
};

// Never destroyed: a process may end while a worker's thread still waits
// on its helper, and exit() must not pull the workers from under it.
Workers& processWorkers() {
    static Workers* const workers = new Workers;
    return *workers;
}

}  // namespace

ShareWorker& ShareWorker::forFolder(const std::string& nativeFolder) {
    const std::string key = folderKey(nativeFolder);
    Workers& workers = processWorkers();
    {
        const std::lock_guard lock(workers.mutex);
        if (const auto known = workers.byFolder.find(key); known != workers.byFolder.end())
            return *known->second;
    }
    // Decided once per folder, outside the lock: the mount table is read.
    const Where where = folderKind(key).mayStall ? Where::Helper : Where::InProcess;
    const std::lock_guard lock(workers.mutex);
    std::unique_ptr<ShareWorker>& worker = workers.byFolder[key];
    if (!worker) worker = std::make_unique<ShareWorker>(where);
    return *worker;
}

ShareWorker& ShareWorker::forFile(const std::string& nativePath) {
    return forFolder(std::filesystem::path(nativePath).lexically_normal().parent_path().string());
}

}  // namespace pelm
