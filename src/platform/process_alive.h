#pragma once
// Whether the process that wrote a status file still runs. A pid alone is
// not enough: after a crash and a reboot the number may belong to another
// program, so the process's start time is compared as well.

#include <sys/types.h>

#include <cstdint>
#include <optional>

namespace pelm {

/// When the process started, in clock ticks since boot (field 22 of
/// /proc/<pid>/stat); nullopt when it cannot be read.
std::optional<std::uint64_t> processStartTicks(pid_t pid);

/// True while `pid` names a live process and, when `startTicks` is given,
/// one that started at that time. A process of another user counts as live.
bool processRuns(pid_t pid, std::optional<std::uint64_t> startTicks);

}  // namespace pelm
