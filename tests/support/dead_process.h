#pragma once
// A process id that no longer runs: a child that has exited and been
// reaped, so the id stands for nobody until the system hands it out again.

#include <sys/wait.h>
#include <unistd.h>

namespace pelm::testing {

inline pid_t deadProcess() {
    const pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

}  // namespace pelm::testing
