#pragma once
// The mount a folder lies on, and whether a network share is mounted the
// way that keeps a late, stalled or vanished server from holding up the PC:
// from /etc/fstab (there after every boot, never holding it up, tried again
// at each look) with options the kernel applies (a request that gets no
// answer fails, a silent server is noticed within seconds).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelm::pc {

struct Mount {
    std::string source;                // "//writer-pc/pelm"
    std::string point;                 // "/mnt/venue/pelm"
    std::string type;                  // "cifs", "nfs4", "fuse.gvfsd-fuse", "ext4", …
    std::vector<std::string> options;  // the mount's and the file system's
};

/// The mount that holds `path` (absolute, as written: nothing on a share is
/// looked at) in the text of /proc/self/mountinfo: the one mounted last
/// on the longest mount point that contains it.
std::optional<Mount> mountHolding(const std::string& path, std::string_view mountinfo);

/// Whether the file system is served over the network or by a program
/// (FUSE), and so may stop answering.
bool isShare(const Mount& mount);

/// A file system served by a program in user space: a stalled call on it
/// cannot be interrupted, not even by SIGKILL.
bool isFuse(const Mount& mount);

/// The options of the /etc/fstab line for `point`; nothing when it has none.
std::optional<std::vector<std::string>> fstabOptions(const std::string& point,
                                                     std::string_view fstab);

/// What a share's mount lacks of the options the writer's share guide asks
/// for ("soft", "echo_interval=10", "_netdev", "nofail",
/// "x-systemd.automount", "x-systemd.mount-timeout=10s"), as those words.
std::vector<std::string> missingShareOptions(const Mount& mount,
                                             const std::optional<std::vector<std::string>>& fstab);

/// Root's command that adds `missing` to the fstab line of `point` (soft
/// in place of hard) and mounts the share again with them.
std::string fstabMendCommand(const std::string& point, const std::vector<std::string>& missing);

/// Root's command that adds the fstab line the guide asks for to a share
/// mounted without one, and mounts it again that way (a CIFS share's
/// credentials go in /etc/venue-share.cred, as the guide says).
std::string fstabLineCommand(const Mount& mount, const std::string& user);

}  // namespace pelm::pc
