#include "engine/settings_watch.h"

namespace pelm {

SettingsWatch::SettingsWatch(std::string nativePath, const Clock& time)
    : path_(std::move(nativePath)), time_(time) {
    changed();  // the first look, the file as it is now
}

bool SettingsWatch::changed() {
    const std::optional<std::optional<FileStamp>> now = answered();
    bool change = false;
    if (now) {
        change = seen_ && *seen_ != *now;
        seen_ = now;
    }
    const qint64 nowMs = time_.nowMs();
    if (!look_.valid() &&
        !(lookedMs_ && nowMs >= *lookedMs_ && nowMs - *lookedMs_ < kLookIntervalMs)) {
        lookedMs_ = nowMs;
        look_ = ShareWorker::forFile(path_).ask({LookRequest{path_}}, ShareWorker::kDefaultWait);
        if (!change && !seen_) seen_ = answered();  // a local folder answers at once
    }
    return change;
}

// The stamp the look in flight found, once it answered: nothing inside
// when no regular file stands there; nothing at all while unanswered.
std::optional<std::optional<FileStamp>> SettingsWatch::answered() {
    if (!answeredNow(look_)) return std::nullopt;
    const std::vector<ShareAnswer> answers = look_.get().answers;
    const PathFacts* facts = std::get_if<PathFacts>(&answers.front());
    if (!facts) return std::nullopt;  // stalled or failed: no news
    if (facts->kind != PathFacts::Kind::RegularFile) return std::optional<FileStamp>();
    return std::optional(facts->stamp);
}

}  // namespace pelm
