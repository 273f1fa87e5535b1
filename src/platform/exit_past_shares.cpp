#include "platform/exit_past_shares.h"

#include <dirent.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace pelm {
namespace {

// Its memory is a copy of the parent's; only the file table is shared, so
// it must not touch stdio (nor close anything the board still writes to).
// It ends by the plain system call: a sanitizer's hook before a library
// _exit would not know this stack and write a warning into the board's
// journal.
int holdFilesUntilParentGoes(void* parent) {
    const pid_t board = *static_cast<pid_t*>(parent);
    while (getppid() == board) usleep(20 * 1000);
    syscall(SYS_exit, 0);  // the last holder of the table: the kernel closes the files now
    return 0;
}

// Sockets and pipes (the display connection, the journal, the folders'
// helpers) never lie on a share: closing them cannot hang, and closing
// them now takes the window off the screen at once, whatever the child
// still waits for. /proc names each descriptor without asking its file
// system, which fstat would.
void closeConnections() {
    DIR* open = opendir("/proc/self/fd");
    if (!open) return;
    const int listing = dirfd(open);
    while (const dirent* entry = readdir(open)) {
        const int fd = std::atoi(entry->d_name);
        char target[64] = {};
        const std::string path = std::string("/proc/self/fd/") + entry->d_name;
        if (fd == listing || readlink(path.c_str(), target, sizeof target - 1) <= 0) continue;
        const std::string_view kind(target);
        if (kind.starts_with("socket:") || kind.starts_with("pipe:")) close(fd);
    }
    closedir(open);
}

}  // namespace

void exitPastStalledShares(int status) {
    std::fflush(nullptr);
    closeConnections();
    static char stack[64 * 1024];
    pid_t parent = getpid();
    // No signal at the child's end: nobody waits for it.
    clone(holdFilesUntilParentGoes, stack + sizeof stack, CLONE_FILES, &parent);
    _exit(status);
}

}  // namespace pelm
