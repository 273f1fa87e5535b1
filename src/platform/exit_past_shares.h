#pragma once
// Ending the process closes every file it holds, and the kernel flushes a
// file on a share at each close: with the share frozen, a board whose race
// table (SQLite's files and the table's lock) lies there would still hang in
// its exit for as long as the freeze lasts, and a service manager would see
// it as stuck. Every other step on a share runs in a folder's helper
// (share_worker.h), so the table's files are the only ones this is for.

namespace pelm {

/// Ends the process with `status` at once, without destructors (call it
/// only once everything worth keeping is saved), leaving its open files to
/// a small child process that shares the file table: the child lets go of
/// them once the process has gone, and it is the child that waits for the
/// share (or is ended with the rest of a service), holding the table's files
/// and lock until then. Sockets and pipes are closed first, so the window
/// goes with the process. Falls back to a plain _exit when
/// no child can be made.
[[noreturn]] void exitPastStalledShares(int status);

}  // namespace pelm
