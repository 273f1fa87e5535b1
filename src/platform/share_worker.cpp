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

// --- the worker's state and its thread ---------------------------------------

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The pause before a new helper after one ended or could not be had,
// doubled while that goes on: a helper that cannot live costs a start now
// and then, not a loop.
constexpr milliseconds kFirstPause{250};
constexpr milliseconds kLongestPause{8000};

// Calls handed over together; without `reply`, the posted writes.
struct Exchange {
    std::vector<ShareCall> calls;
    std::optional<std::promise<ShareReply>> reply;
    milliseconds stallAfter;
    // Unanswered by then, the folder is stalled. Counted from when the
    // helper is handed the calls: time spent queued behind another
    // exchange is that exchange's to answer for, against its own deadline.
    Clock::time_point deadline{};
};

void fulfil(std::promise<ShareReply>& reply, std::vector<ShareAnswer> answers) {
    reply.set_value({std::move(answers), Clock::now()});
}

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
    Clock::time_point pauseUntil;
    milliseconds pause{0};
    std::string shortage;
    bool stopping = false;
    FileDescriptor wake;  // made with the thread
    std::thread thread;

    bool stalledNow() const { return inFlight && Clock::now() >= inFlight->deadline; }
    bool hasWork() const { return !queued.empty() || !posted.empty(); }
    bool writesLeft() const { return !posted.empty() || (inFlight && !inFlight->reply); }
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
        for (Exchange& waiting : queued)
            fulfil(*waiting.reply, std::vector<ShareAnswer>(waiting.calls.size(), why));
        queued.clear();
    }
    // Posted writes are given up on only when no helper can be had at all:
    // the writer hears why and posts its newest bytes again.
    void failPosted(const std::string& why) {
        for (ReplaceRequest& write : posted) outcomes.push_back({write.path, CallFailed{why}});
        posted.clear();
        writesDone.notify_all();
    }
};

namespace {

using State = ShareWorker::State;

void answer(State& state, Exchange done, std::vector<ShareAnswer> answers) {
    if (done.reply) return fulfil(*done.reply, std::move(answers));
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
}

// Callers' calls first: someone waits for them; the posted writes after.
void sendNext(State& state, std::unique_lock<std::mutex>& lock) {
    if (!state.queued.empty()) {
        state.inFlight = std::move(state.queued.front());
        state.queued.pop_front();
    } else {
        Exchange writes{{}, std::nullopt, state.wait};
        for (ReplaceRequest& write : state.posted) writes.calls.emplace_back(std::move(write));
        state.posted.clear();
        state.inFlight = std::move(writes);
    }
    state.inFlight->deadline = Clock::now() + state.inFlight->stallAfter;
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
// passing, a pause ending.
int msUntilNextLook(const State& state) {
    std::optional<Clock::time_point> next;
    const auto sooner = [&](Clock::time_point moment) {
        if (!next || moment < *next) next = moment;
    };
    if (state.inFlight && !state.stalledNow()) sooner(state.inFlight->deadline);
    if (!state.helper && state.hasWork()) sooner(state.pauseUntil);
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

ShareWorker::ShareWorker(Where where, milliseconds wait, std::string helperProgram)
    : where_(where), wait_(wait), state_(std::make_unique<State>()) {
    state_->wait = wait;
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

std::future<ShareReply> ShareWorker::ask(std::vector<ShareCall> calls, milliseconds stallAfter) {
    std::promise<ShareReply> reply;
    std::future<ShareReply> answers = reply.get_future();
    if (where_ == Where::InProcess) {
        std::vector<ShareAnswer> done;
        for (const ShareCall& call : calls) done.push_back(performCall(call));
        fulfil(reply, std::move(done));
        return answers;
    }
    for (ShareCall& call : calls) anchor(pathOf(call));
    State& state = *state_;
    const std::lock_guard lock(state.mutex);
    const std::size_t count = calls.size();
    if (state.stalledNow()) {
        fulfil(reply, std::vector<ShareAnswer>(count, NoAnswer{}));
    } else if (!threadRuns(state)) {
        fulfil(reply, std::vector<ShareAnswer>(count, CallFailed{state.shortage}));
    } else {
        state.queued.push_back({std::move(calls), std::move(reply), stallAfter});
        state.nudge();
    }
    return answers;
}

std::vector<ShareAnswer> ShareWorker::call(std::vector<ShareCall> calls, milliseconds wait) {
    const std::size_t count = calls.size();
    std::future<ShareReply> reply = ask(std::move(calls), wait);
    if (reply.wait_for(wait) != std::future_status::ready)
        return std::vector<ShareAnswer>(count, NoAnswer{});
    return reply.get().answers;
}

FileBytes ShareWorker::read(FileRequest request) {
    return fileBytesOf(std::move(call({std::move(request)}, wait_).front()));
}

void ShareWorker::post(ReplaceRequest request) {
    State& state = *state_;
    if (where_ == Where::InProcess) {
        ShareAnswer done = performCall(request);
        const std::lock_guard lock(state.mutex);
        state.outcomes.push_back({std::move(request.path), std::move(done)});
        return;
    }
    anchor(request.path);
    const std::lock_guard lock(state.mutex);
    std::erase_if(state.posted, [&](const auto& older) { return older.path == request.path; });
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

}  // namespace

ShareWorker& ShareWorker::forFolder(const std::string& nativeFolder) {
    // Never destroyed: a process may end while a worker's thread still waits
    // on its helper, and exit() must not pull the workers from under it.
    static auto* const workers = new std::map<std::string, std::unique_ptr<ShareWorker>>;
    static auto* const mutex = new std::mutex;
    const std::string key = folderKey(nativeFolder);
    const std::lock_guard lock(*mutex);
    std::unique_ptr<ShareWorker>& worker = (*workers)[key];
    // Decided once per folder, from the mount table: nothing here waits.
    if (!worker)
        worker = std::make_unique<ShareWorker>(folderKind(key).mayStall ? Where::Helper
                                                                        : Where::InProcess);
    return *worker;
}

ShareWorker& ShareWorker::forFile(const std::string& nativePath) {
    return forFolder(std::filesystem::path(nativePath).lexically_normal().parent_path().string());
}

}  // namespace pelm
