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

// Spawns `arguments[0]` with nothing of the board's but its channel: the
// standard streams on /dev/null, no other descriptor (a lock file, the
// display connection, another helper's channel, whoever opened it without
// O_CLOEXEC), every signal at its default and none blocked.
int spawn(pid_t& pid, int channel, char* const arguments[]) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int stream = 0; stream < kChannel; ++stream)
        posix_spawn_file_actions_addopen(&actions, stream, "/dev/null", O_RDWR, 0);
    posix_spawn_file_actions_adddup2(&actions, channel, kChannel);
    posix_spawn_file_actions_addclosefrom_np(&actions, kChannel + 1);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    const int error = posix_spawn(&pid, arguments[0], &actions, &attributes, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return error;
}

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
    const std::string parent = std::to_string(getpid());
    char* const arguments[] = {const_cast<char*>(program.c_str()),
                               const_cast<char*>(parent.c_str()), nullptr};
    pid_t pid = 0;
    if (const int error = spawn(pid, theirs.get(), arguments)) {
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
