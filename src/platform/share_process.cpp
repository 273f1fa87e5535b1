#include "platform/share_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
// glibc 2.36's header lacks the C linkage its functions have.
extern "C" {
#include <sys/pidfd.h>
}
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>

#include "platform/share_wire.h"

extern char** environ;

namespace pelm {
namespace {

// The helper's channel: the first descriptor after the standard streams.
constexpr int kChannel = 3;

class SpawnActions {
public:
    explicit SpawnActions(int theirs) {
        posix_spawn_file_actions_init(&actions_);
        for (int stream = 0; stream < kChannel; ++stream)
            posix_spawn_file_actions_addopen(&actions_, stream, "/dev/null", O_RDWR, 0);
        posix_spawn_file_actions_adddup2(&actions_, theirs, kChannel);
        // Nothing else of the board's: no lock file, no display connection,
        // no other helper's channel, whoever opened it without O_CLOEXEC.
        posix_spawn_file_actions_addclosefrom_np(&actions_, kChannel + 1);
        posix_spawnattr_init(&attributes_);
        sigset_t all, none;
        sigfillset(&all);
        sigemptyset(&none);
        posix_spawnattr_setsigdefault(&attributes_, &all);
        posix_spawnattr_setsigmask(&attributes_, &none);
        posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    }
    ~SpawnActions() {
        posix_spawn_file_actions_destroy(&actions_);
        posix_spawnattr_destroy(&attributes_);
    }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;

    const posix_spawn_file_actions_t* actions() const { return &actions_; }
    const posix_spawnattr_t* attributes() const { return &attributes_; }

private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attributes_;
};

std::string limitText(const char* what, int resource, const char* name) {
    rlimit limit{};
    getrlimit(resource, &limit);
    const std::string value =
        limit.rlim_cur == RLIM_INFINITY ? "unlimited" : std::to_string(limit.rlim_cur);
    return std::string("the ") + what + " limit " + name + " (" + value + ") is reached";
}

}  // namespace

std::string shortageText(int error) {
    switch (error) {
        case EAGAIN:
            return limitText("process", RLIMIT_NPROC, "RLIMIT_NPROC");
        case EMFILE:
            return limitText("open-file", RLIMIT_NOFILE, "RLIMIT_NOFILE");
        case ENFILE:
            return "the system's table of open files is full";
        default:
            return std::strerror(error);
    }
}

HelperProcess HelperProcess::start(const std::string& program, std::string& why) {
    HelperProcess helper;
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        why = "no channel to a helper: " + shortageText(errno);
        return helper;
    }
    helper.channel_.reset(ends[0]);
    const FileDescriptor theirs(ends[1]);
    const SpawnActions spawn(theirs.get());
    const std::string parent = std::to_string(getpid());
    char* const arguments[] = {const_cast<char*>(program.c_str()),
                               const_cast<char*>(parent.c_str()), nullptr};
    pid_t pid = 0;
    if (const int error = posix_spawn(&pid, program.c_str(), spawn.actions(), spawn.attributes(),
                                      arguments, environ)) {
        why = "no helper process (" + program + "): " + shortageText(error);
        helper.channel_.reset();
        return helper;
    }
    helper.pidfd_.reset(pidfd_open(pid, 0));
    if (!helper.pidfd_) {
        why = "no hold on the helper process: " + shortageText(errno);
        kill(pid, SIGKILL);  // not yet reaped, so the pid is still the helper's
        waitpid(pid, nullptr, 0);
        helper.channel_.reset();
    }
    return helper;
}

void HelperProcess::end() {
    channel_.reset();
    if (pidfd_) pidfd_send_signal(pidfd_.get(), SIGKILL, nullptr, 0);
    reap();
}

bool HelperProcess::reap() {
    if (!pidfd_) return true;
    siginfo_t ended{};
    if (waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(pidfd_.get()), &ended,
               WEXITED | WNOHANG) != 0 ||
        ended.si_pid == 0)
        return false;
    pidfd_.reset();
    return true;
}

bool readyOn(int channel, std::string& why) {
    unsigned version = 0;
    const ssize_t got = recv(channel, &version, sizeof version, MSG_WAITALL);
    if (got != static_cast<ssize_t>(sizeof version)) {
        why = "the helper ended at its start";
        return false;
    }
    if (version != kShareWireVersion) {
        why = "the helper " + shareHelperProgram() +
              " is of another version of the board (restart the board after an upgrade)";
        return false;
    }
    return true;
}

const std::string& shareHelperProgram() {
    static const std::string program = [] {
        std::error_code unknown;
        const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", unknown);
        const std::filesystem::path beside = self.parent_path() / "pelm-share";
        if (!unknown && access(beside.c_str(), X_OK) == 0) return beside.string();
        return std::string(PELM_HELPER_DIR "/pelm-share");
    }();
    return program;
}

}  // namespace pelm
