#pragma once
// Notices that the settings file changed while the board runs: a venue
// deploys a new StatusDir or Name and expects the control room to follow
// without a restart. Looks at the file's identity, size and time, at most
// once a second, so the beat pays a stat now and then.

#include <sys/types.h>

#include <optional>
#include <string>
#include <tuple>

#include "engine/clock.h"

namespace pelm {

class SettingsWatch {
public:
    /// Watches the file at a native path (it need not exist); `time` must
    /// outlive the watch. The file as it is now counts as seen.
    SettingsWatch(std::string nativePath, const Clock& time);

    /// True once for each change seen since the last look that said so.
    bool changed();

    static constexpr qint64 kLookIntervalMs = 1000;

private:
    using Stamp = std::tuple<ino_t, off_t, long long>;  // inode, size, ns of last change
    std::optional<Stamp> stamp() const;

    std::string path_;
    const Clock& time_;
    std::optional<Stamp> seen_;
    std::optional<qint64> lookedMs_;
};

}  // namespace pelm
