#include "venuepc/share_mount.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <sstream>

namespace pelm::pc {
namespace {

std::vector<std::string> split(std::string_view text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in{std::string(text)};
    while (std::getline(in, part, separator)) parts.push_back(part);
    return parts;
}

std::vector<std::string> fields(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> found;
    for (std::string field; in >> field;) found.push_back(field);
    return found;
}

// mountinfo and fstab write a blank in a path as \040, a tab as \011.
std::string unescaped(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() &&
            std::isdigit(static_cast<unsigned char>(text[i + 1]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool contains(const std::string& path, const std::string& point) {
    if (point == "/") return true;
    return path == point || (path.rfind(point, 0) == 0 && path[point.size()] == '/');
}

// "36 35 98:0 /root /point rw,noatime master:1 - ext3 /dev/root rw,errors=continue"
std::optional<Mount> parseMountLine(const std::string& line) {
    const std::vector<std::string> parts = fields(line);
    const auto dash = std::find(parts.begin(), parts.end(), "-");
    if (parts.size() < 6 || dash == parts.end() || parts.end() - dash < 3) return std::nullopt;
    Mount mount{unescaped(dash[2]), unescaped(parts[4]), dash[1], split(parts[5], ',')};
    if (parts.end() - dash >= 4) {
        for (const std::string& option : split(dash[3], ',')) mount.options.push_back(option);
    }
    return mount;
}

bool has(const std::vector<std::string>& options, std::string_view option) {
    return std::find(options.begin(), options.end(), option) != options.end();
}

std::optional<std::string> valueOf(const std::vector<std::string>& options, std::string_view key) {
    for (const std::string& option : options) {
        if (option.size() > key.size() && option.rfind(key, 0) == 0 && option[key.size()] == '=')
            return option.substr(key.size() + 1);
    }
    return std::nullopt;
}

constexpr int kEchoSeconds = 10;

bool echoSoonEnough(const std::vector<std::string>& options) {
    const auto interval = valueOf(options, "echo_interval");
    return interval && !interval->empty() &&
           std::all_of(interval->begin(), interval->end(), ::isdigit) &&
           std::stoi(*interval) <= kEchoSeconds;
}

}  // namespace

std::optional<Mount> mountHolding(const std::string& path, std::string_view mountinfo) {
    std::optional<Mount> best;
    std::istringstream lines{std::string(mountinfo)};
    for (std::string line; std::getline(lines, line);) {
        auto mount = parseMountLine(line);
        if (!mount || !contains(path, mount->point)) continue;
        if (!best || mount->point.size() >= best->point.size()) best = std::move(mount);
    }
    return best;
}

bool isFuse(const Mount& mount) {
    return mount.type == "fuse" || mount.type.rfind("fuse.", 0) == 0;
}

bool isShare(const Mount& mount) {
    constexpr std::array kNetwork{"cifs", "smb3", "nfs", "nfs4", "ceph", "glusterfs", "9p"};
    return isFuse(mount) ||
           std::find(kNetwork.begin(), kNetwork.end(), mount.type) != kNetwork.end();
}

std::optional<std::vector<std::string>> fstabOptions(const std::string& point,
                                                     std::string_view fstab) {
    std::istringstream lines{std::string(fstab)};
    for (std::string line; std::getline(lines, line);) {
        const std::vector<std::string> parts = fields(line);
        if (parts.size() >= 4 && parts[0][0] != '#' && unescaped(parts[1]) == point)
            return split(parts[3], ',');
    }
    return std::nullopt;
}

std::vector<std::string> missingShareOptions(const Mount& mount,
                                             const std::optional<std::vector<std::string>>& fstab) {
    std::vector<std::string> missing;
    if (has(mount.options, "hard") || !has(mount.options, "soft")) missing.push_back("soft");
    const bool smb = mount.type == "cifs" || mount.type == "smb3";
    if (smb && !echoSoonEnough(mount.options)) missing.push_back("echo_interval=10");
    const std::vector<std::string> lineOptions = fstab.value_or(std::vector<std::string>{});
    for (std::string_view option : {"_netdev", "nofail", "x-systemd.automount"}) {
        if (!has(lineOptions, option)) missing.emplace_back(option);
    }
    if (!valueOf(lineOptions, "x-systemd.mount-timeout"))
        missing.emplace_back("x-systemd.mount-timeout=10s");
    return missing;
}

std::string fstabMendCommand(const std::string& point, const std::vector<std::string>& missing) {
    std::string added;
    for (const std::string& option : missing) added += "," + option;
    const std::string field = "[^ \\t]\\+", blanks = "[ \\t]\\+";
    const std::string firstFour = field + blanks + field + blanks + field + blanks + field;
    return "sed -i '\\|^[^#][^ \\t]*" + blanks + point + blanks + "|{s/\\bhard\\b/soft/;s|^\\(" +
           firstFour + "\\)|\\1" + added + "|}' /etc/fstab && systemctl daemon-reload && umount " +
           point + " && mount " + point;
}

std::string fstabLineCommand(const Mount& mount, const std::string& user) {
    const bool smb = mount.type == "cifs" || mount.type == "smb3";
    const std::string options = (smb ? "credentials=/etc/venue-share.cred,uid=" + user +
                                           ",gid=" + user + ",soft,echo_interval=10,"
                                     : std::string("soft,")) +
                                "_netdev,nofail,x-systemd.automount,x-systemd.mount-timeout=10s";
    return "printf '%s\\n' '" + mount.source + " " + mount.point + " " + mount.type + " " +
           options + " 0 0' >> /etc/fstab && systemctl daemon-reload && umount " + mount.point +
           " && mount " + mount.point;
}

}  // namespace pelm::pc
