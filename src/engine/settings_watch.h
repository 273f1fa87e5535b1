#pragma once
// Notices that the settings file changed while the board runs: a venue
// deploys a new StatusDir or Name and expects the control room to follow
// without a restart. Looks at the file's identity, size and time at most
// once a second, through its folder's worker: a board whose folder lies
// on a share never waits for it on the window's thread, and learns of a
// change at the look after the answer.

#include <future>
#include <optional>
#include <string>

#include "engine/clock.h"
#include "platform/share_worker.h"

namespace pelm {

class SettingsWatch {
public:
    /// Watches the file at a native path (it need not exist); `time` must
    /// outlive the watch. The file as the first look finds it counts as
    /// seen.
    SettingsWatch(std::string nativePath, const Clock& time);

    /// True once for each change seen since the last look that said so.
    bool changed();

    static constexpr qint64 kLookIntervalMs = 1000;

private:
    std::optional<std::optional<FileStamp>> answered();

    std::string path_;
    const Clock& time_;
    std::future<ShareReply> look_;                  // not valid(): none in flight
    std::optional<std::optional<FileStamp>> seen_;  // nothing before the first answer
    std::optional<qint64> lookedMs_;
};

}  // namespace pelm
