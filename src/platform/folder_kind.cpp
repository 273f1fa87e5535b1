#include "platform/folder_kind.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace pelm {
namespace {

struct Mount {
    std::string point;
    std::string fileSystem;
};

// The mount table escapes a blank, a tab, a line break and a backslash in
// a name as three octal digits.
std::string unescaped(const std::string& name) {
    std::string plain;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const std::string digits = name.substr(i + 1, 3);
        if (name[i] == '\\' && digits.size() == 3 &&
            digits.find_first_not_of("01234567") == std::string::npos) {
            plain += static_cast<char>(std::stoi(digits, nullptr, 8));
            i += 3;
        } else {
            plain += name[i];
        }
    }
    return plain;
}

// Each line: ID PARENT MAJOR:MINOR ROOT POINT OPTIONS [OPTIONAL...] - TYPE SOURCE ...
std::vector<Mount> mountTable(const std::string& mountInfo) {
    std::vector<Mount> mounts;
    std::istringstream table(mountInfo);
    for (std::string line; std::getline(table, line);) {
        std::istringstream fields(line);
        std::string id, parent, device, root, point, field;
        fields >> id >> parent >> device >> root >> point;
        while (fields >> field && field != "-") {
        }
        std::string type;
        if (fields >> type) mounts.push_back({unescaped(point), type});
    }
    return mounts;
}

bool within(const std::string& path, const std::string& point) {
    return point == "/" || path == point ||
           (path.starts_with(point) && path.size() > point.size() && path[point.size()] == '/');
}

// The mount a path lies on: the deepest that holds it, the last mounted of
// several on one place.
Mount mountOf(const std::vector<Mount>& mounts, const std::string& path) {
    Mount found{"/", ""};
    for (const Mount& mount : mounts) {
        if (within(path, mount.point) && mount.point.size() >= found.point.size()) found = mount;
    }
    return found;
}

bool mayStallType(const std::string& type) {
    static const std::array<const char*, 12> kinds = {"nfs",   "nfs4",   "cifs", "smb3",
                                                      "smbfs", "ceph",   "9p",   "afs",
                                                      "coda",  "autofs", "fuse", "fuseblk"};
    for (const char* kind : kinds) {
        if (type == kind) return true;
    }
    return type.starts_with("fuse.");
}

std::deque<std::string> partsOf(const std::filesystem::path& path) {
    std::deque<std::string> parts;
    for (const auto& part : path.relative_path()) parts.push_back(part.string());
    return parts;
}

std::filesystem::path absoluteOrAsIs(const std::string& folder) {
    std::error_code noCurrentFolder;
    const std::filesystem::path whole = std::filesystem::absolute(folder, noCurrentFolder);
    return noCurrentFolder ? std::filesystem::path("/" + folder) : whole;
}

}  // namespace

FolderKind folderKind(const std::string& nativeFolder) {
    std::ifstream table("/proc/self/mountinfo");
    return folderKind(nativeFolder, std::string(std::istreambuf_iterator<char>(table), {}));
}

FolderKind folderKind(const std::string& nativeFolder, const std::string& mountInfo) {
    const std::vector<Mount> mounts = mountTable(mountInfo);
    std::deque<std::string> rest = partsOf(absoluteOrAsIs(nativeFolder));
    std::filesystem::path reached = "/";
    for (int links = 0; !rest.empty();) {
        const std::string part = rest.front();
        rest.pop_front();
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            reached = reached.parent_path();
            continue;
        }
        const std::filesystem::path next = reached / part;
        const Mount mount = mountOf(mounts, next.string());
        if (mayStallType(mount.fileSystem)) return {mount.fileSystem, true};
        struct stat status {};
        if (lstat(next.c_str(), &status) != 0) break;  // judged by where it would be
        if (!S_ISLNK(status.st_mode)) {
            reached = next;
            continue;
        }
        std::error_code unreadable;
        const std::filesystem::path target = std::filesystem::read_symlink(next, unreadable);
        if (unreadable || ++links > 40) break;
        std::deque<std::string> more = partsOf(target);
        rest.insert(rest.begin(), more.begin(), more.end());
        if (target.is_absolute()) reached = "/";
    }
    const Mount mount = mountOf(mounts, reached.string());
    return {mount.fileSystem, mayStallType(mount.fileSystem)};
}

}  // namespace pelm
