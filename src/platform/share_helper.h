#pragma once
// A folder's helper: a small process forked for one folder that may not
// answer, which alone does the steps that can hang in its share. A thread
// waiting in a FUSE share whose daemon has taken the request cannot be
// stopped, not even by SIGKILL, and would hold its whole process (lock
// file, window, exit) for as long as the share is frozen; waiting in a
// process of its own, it holds nothing of ours.
//
// The helper closes every descriptor but its channel at once (no lock file,
// no display connection of the board's), never uses Qt, and dies with the
// thread that started it: the kernel sends it SIGKILL then, which ends it
// at once, or, while it waits in a frozen share, as soon as the share
// answers. It also ends when its channel closes or its parent has changed.

#include <sys/types.h>

#include <functional>
#include <optional>

#include "platform/file_descriptor.h"
#include "platform/share_calls.h"

namespace pelm {

/// How a helper does each call: performCall, unless a test puts in one that
/// hangs the way a share does.
using PerformCall = std::function<ShareAnswer(const ShareCall& call)>;

struct Helper {
    pid_t pid = 0;
    FileDescriptor channel;  // calls go out and answers come back here
};

/// Forks a helper that answers each frame of calls on its channel (see
/// share_wire.h), one exchange at a time. Call it from the thread the
/// helper is to die with. Nothing when no helper could be made, or none
/// said it was ready within a second in three tries.
std::optional<Helper> startHelper(const PerformCall& perform);

/// Lets go of a helper that ended or is to end: sends it SIGKILL, and
/// collects its exit status now or, while it still waits in a share,
/// at a later start or end of a helper, so none stays a zombie for long.
void endHelper(pid_t helper);

}  // namespace pelm
