#pragma once
// Ending the process closes every file it holds, and the kernel flushes a
// file on a share before it lets go of it: with the share frozen, a board
// that saved its settings at a SIGTERM would still hang in its exit for as
// long as the freeze lasts, and a service manager would see it as stuck.

namespace pelm {

/// Ends the process with `status` at once, without destructors (call it
/// only once everything worth keeping is saved), leaving its open files to
/// a small child process that shares the file table: the child lets go of
/// them once the process has gone, and it is the child that waits for the
/// share (or is ended with the rest of a service). Falls back to a plain
/// _exit when no child can be made.
[[noreturn]] void exitPastStalledShares(int status);

}  // namespace pelm
