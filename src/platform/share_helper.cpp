#include "platform/share_helper.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <exception>
#include <mutex>
#include <new>
#include <vector>

#include "platform/share_wire.h"

namespace pelm {
namespace {

// The helper's channel, once everything else is closed.
constexpr int kChannel = 3;

// Helpers let go of but not yet collected: one still waiting in a share
// ends when the share answers.
std::mutex endedLock;
std::vector<pid_t> ended;

void collectEnded() {
    const std::lock_guard guard(endedLock);
    std::erase_if(ended, [](pid_t helper) { return waitpid(helper, nullptr, WNOHANG) != 0; });
}

// Signals as a new process has them, but for those that ask a program to
// stop: a service manager stopping the board sends SIGTERM to each of its
// processes at once (Ctrl+C a terminal's SIGINT to the whole group), and a
// helper that ended then would fail the settings' save the board makes on
// its way out. A helper ends with the thread that made it, or when its
// channel closes.
void stopSignalsLeftToTheBoard() {
    for (int signal = 1; signal < NSIG; ++signal) std::signal(signal, SIG_DFL);
    for (int stop : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) std::signal(stop, SIG_IGN);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
}

// Keeps nothing of the parent's open: its standard streams go to
// /dev/null, its channel becomes kChannel, and every other descriptor (a
// lock file, the display connection, other helpers' channels) is closed.
void keepOnlyChannel(int channel) {
    const int moved = fcntl(channel, F_DUPFD, kChannel + 1);
    const int nothing = open("/dev/null", O_RDWR);
    if (moved < 0 || nothing < 0) _exit(1);
    for (int stream = 0; stream < kChannel; ++stream) dup2(nothing, stream);
    dup2(moved, kChannel);
    close_range(kChannel + 1, ~0U, 0);
}

ShareAnswer performCaught(const PerformCall& perform, const ShareCall& call) {
    try {
        return perform(call);
    } catch (const std::exception&) {
        return {};  // no memory for a file's bytes, say: unanswered, not the end
    }
}

[[noreturn]] void serve(pid_t parent, const PerformCall& perform) {
    for (;;) {
        const std::optional<std::vector<ShareCall>> calls = receiveCalls(kChannel);
        if (!calls || getppid() != parent) _exit(0);
        std::vector<ShareAnswer> answers;
        answers.reserve(calls->size());
        for (const ShareCall& call : *calls) answers.push_back(performCaught(perform, call));
        if (!sendAnswers(kChannel, answers)) _exit(0);
    }
}

// Takes and gives back a block of every size the allocator sorts blocks
// by, up to a picture's: an allocator whose lock another thread held at
// the fork hangs the helper here, before it says it is ready, rather than
// in a call. glibc's allocator is made safe across a fork; the sanitizers'
// is not, and only there are the pages this touches spent.
void useEverySize() {
#if defined(__SANITIZE_ADDRESS__)
    for (std::size_t size = 16; size <= (std::size_t{1} << 20); size += size / 8) {
        void* volatile block = ::operator new(size);  // volatile: not optimised away
        ::operator delete(block);
    }
#endif
}

constexpr char kReady = 'R';
// A helper not ready by then will never be: made again.
constexpr int kReadyWaitMs = 1000;
constexpr int kTries = 3;

// In the forked child, which has only this thread: the parent's other
// threads may have held any lock at the fork, so it uses nothing that
// takes one but the allocator, tried out before the helper says it is
// ready.
[[noreturn]] void becomeHelper(int channel, pid_t parent, const PerformCall& perform) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(0);  // the parent ended before the line above
    prctl(PR_SET_NAME, "pelm-share");
    stopSignalsLeftToTheBoard();
    keepOnlyChannel(channel);
    useEverySize();
    if (write(kChannel, &kReady, 1) != 1) _exit(0);
    serve(parent, perform);
}

bool saysReady(int channel) {
    pollfd ready{channel, POLLIN, 0};
    int polled;
    do {
        polled = poll(&ready, 1, kReadyWaitMs);
    } while (polled < 0 && errno == EINTR);
    char said = 0;
    return polled == 1 && read(channel, &said, 1) == 1 && said == kReady;
}

std::optional<Helper> tryHelper(const PerformCall& perform) {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return std::nullopt;
    FileDescriptor ours(ends[0]);
    const FileDescriptor theirs(ends[1]);
    const pid_t parent = getpid();
    const pid_t helper = fork();
    if (helper < 0) return std::nullopt;
    if (helper == 0) becomeHelper(theirs.get(), parent, perform);
    if (saysReady(ours.get())) return Helper{helper, std::move(ours)};
    endHelper(helper);
    return std::nullopt;
}

}  // namespace

std::optional<Helper> startHelper(const PerformCall& perform) {
    collectEnded();
    for (int attempt = 0; attempt < kTries; ++attempt) {
        if (std::optional<Helper> helper = tryHelper(perform)) return helper;
    }
    return std::nullopt;
}

void endHelper(pid_t helper) {
    kill(helper, SIGKILL);
    if (waitpid(helper, nullptr, WNOHANG) == 0) {
        const std::lock_guard guard(endedLock);
        ended.push_back(helper);
    }
    collectEnded();
}

}  // namespace pelm
