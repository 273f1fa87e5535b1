#pragma once
// The board's side of a folder's helper (share_helper.h): the helper
// program started afresh with posix_spawn, never a fork of the running
// board, with nothing of the board's open but its channel; held by a
// pidfd, so the helper is reaped once it ends and no later process that
// happens to get its pid is ever signalled in its place.

#include <sys/types.h>

#include <string>

#include "platform/file_descriptor.h"

namespace pelm {

class HelperProcess {
public:
    HelperProcess() = default;
    HelperProcess(HelperProcess&&) = default;
    /// Ends the helper held before (see end()).
    HelperProcess& operator=(HelperProcess&& other) noexcept {
        end();
        channel_ = std::move(other.channel_);
        pidfd_ = std::move(other.pidfd_);
        return *this;
    }
    /// Ends the helper (see end()).
    ~HelperProcess() { end(); }

    /// Starts `program`, to die with the calling thread. Nothing started
    /// when `why` is set: what was short, and its limit, in English.
    static HelperProcess start(const std::string& program, std::string& why);

    bool running() const { return pidfd_.valid(); }
    /// Calls go out and answers come back here; the helper's first word on
    /// it says it is ready (readyOn).
    int channel() const { return channel_.get(); }
    /// Readable once the helper has ended.
    int pidfd() const { return pidfd_.get(); }

    /// Sends SIGKILL and reaps it if it has ended; a helper still waiting in
    /// a stalled share ends when the share lets it, and reap() then takes it.
    void end();
    /// Collects the exit status of an ended helper; true when it had ended
    /// (or was never there).
    bool reap();

private:
    FileDescriptor channel_;
    FileDescriptor pidfd_;
};

/// Reads the helper's first word from its channel, which must be readable:
/// true when it is this build's helper, ready; `why` says otherwise.
bool readyOn(int channel, std::string& why);

/// The helper program: pelm-share beside the running program (a build
/// tree), else where the package installs it.
const std::string& shareHelperProgram();

/// Why a resource could not be had, in English: errno `error` put as the
/// limit it hit with that limit's value, for the journal and the status.
std::string shortageText(int error);

}  // namespace pelm
