#pragma once
// A folder's helper: pelm-share, a small program of its own that the
// worker of a folder that may stall starts (share_process.h) and that alone
// does the steps that can hang in the folder's share. A thread waiting in
// a FUSE share whose daemon has taken the request cannot be stopped, not
// even by SIGKILL, and would hold its whole process (lock file, window,
// exit) for as long as the share is stalled; waiting in a process of its
// own, it holds nothing of the board's.
//
// The helper is linked with nothing but the C and C++ libraries. It dies
// with the thread that started it (the kernel sends it SIGKILL then, which
// ends it at once or, while it waits in a stalled share, as soon as the
// share answers), and ends when its channel closes. It ignores the signals
// that ask a program to stop: a service manager stopping the board sends
// SIGTERM to each of its processes at once, and the board's save of its
// settings on the way out still goes through its helper.

#include <functional>

#include "platform/share_calls.h"

namespace pelm {

/// How a helper does each call: performCall, unless a test's helper puts
/// in one that hangs or fails the way a share does.
using PerformCall = std::function<ShareAnswer(const ShareCall& call)>;

/// The helper's life, from main(): `PROGRAM PARENT_PID`, the channel on
/// descriptor 3. Answers each frame of calls (share_wire.h) in order, one
/// exchange at a time, until the channel closes. Returns the exit status.
int runShareHelper(int argc, char** argv, const PerformCall& perform);

}  // namespace pelm
