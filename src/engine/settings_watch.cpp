#include "engine/settings_watch.h"

#include <sys/stat.h>

namespace pelm {

SettingsWatch::SettingsWatch(std::string nativePath, const Clock& time)
    : path_(std::move(nativePath)), time_(time), seen_(stamp()) {}

bool SettingsWatch::changed() {
    const qint64 now = time_.nowMs();
    if (lookedMs_ && now >= *lookedMs_ && now - *lookedMs_ < kLookIntervalMs) return false;
    lookedMs_ = now;
    const std::optional<Stamp> current = stamp();
    if (current == seen_) return false;
    seen_ = current;
    return true;
}

// Size and time change with every save; the inode with every file renamed
// into place, which a save that keeps size and second would otherwise hide.
std::optional<SettingsWatch::Stamp> SettingsWatch::stamp() const {
    struct stat status {};
    if (stat(path_.c_str(), &status) != 0) return std::nullopt;
    const long long changedNs =
        static_cast<long long>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec;
    return Stamp{status.st_ino, status.st_size, changedNs};
}

}  // namespace pelm
