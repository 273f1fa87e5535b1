#include "platform/folder_kind.h"

#include <sys/stat.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace pelm {
namespace {

namespace fs = std::filesystem;

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
        const bool escape = name[i] == '\\' && digits.size() == 3 &&
                            digits.find_first_not_of("01234567") == std::string::npos;
        plain += escape ? static_cast<char>(std::stoi(digits, nullptr, 8)) : name[i];
        if (escape) i += 3;
    }
    return plain;
}

// Each line: ID PARENT MAJOR:MINOR ROOT POINT OPTIONS [OPTIONAL...] - TYPE SOURCE ...
std::vector<Mount> mountTable(const std::string& mountInfo) {
    std::vector<Mount> mounts;
    std::istringstream table(mountInfo);
    for (std::string line; std::getline(table, line);) {
        std::istringstream fields(line);
        std::string skipped, point, field, type;
        fields >> skipped >> skipped >> skipped >> skipped >> point;
        while (fields >> field && field != "-") continue;
        if (fields >> type) mounts.push_back({unescaped(point), type});
    }
    return mounts;
}

// The mount a path lies on: the deepest that holds it, the last mounted of
// several on one place.
Mount mountOf(const std::vector<Mount>& mounts, const std::string& path) {
    Mount found{"/", ""};
    for (const Mount& mount : mounts) {
        const bool holds =
            mount.point == "/" || path == mount.point || path.starts_with(mount.point + "/");
        if (holds && mount.point.size() >= found.point.size()) found = mount;
    }
    return found;
}

bool mayStallType(const std::string& type) {
    for (const char* kind : {"nfs", "nfs4", "cifs", "smb3", "smbfs", "ceph", "9p", "afs", "coda",
                             "autofs", "fuse", "fuseblk"}) {
        if (type == kind) return true;
    }
    return type.starts_with("fuse.");
}

std::deque<std::string> partsOf(const fs::path& path) {
    const fs::path parts = path.relative_path();
    return {parts.begin(), parts.end()};
}

}  // namespace

FolderKind folderKind(const std::string& nativeFolder) {
    std::ifstream table("/proc/self/mountinfo");
    return folderKind(nativeFolder, std::string(std::istreambuf_iterator<char>(table), {}));
}

// Walks the path a part at a time, looking only at parts on local mounts,
// and following links there: the first part on a mount that may stall
// decides, and nothing beyond it is asked.
FolderKind folderKind(const std::string& nativeFolder, const std::string& mountInfo) {
    const std::vector<Mount> mounts = mountTable(mountInfo);
    std::error_code noCurrentFolder;
    const fs::path whole = fs::absolute(nativeFolder, noCurrentFolder);
    std::deque<std::string> rest = partsOf(noCurrentFolder ? fs::path("/" + nativeFolder) : whole);
    fs::path reached = "/";
    for (int links = 0; !rest.empty() && links <= 40;) {
        const std::string part = rest.front();
        rest.pop_front();
        const fs::path next = part == ".." ? reached.parent_path() : reached / part;
        if (part.empty() || part == "." || part == "..") {
            reached = part == ".." ? next : reached;
            continue;
        }
        const Mount mount = mountOf(mounts, next.string());
        struct stat status {};
        if (mayStallType(mount.fileSystem)) return {mount.fileSystem, true};
        if (lstat(next.c_str(), &status) != 0) break;  // judged by where it would be
        if (!S_ISLNK(status.st_mode)) {
            reached = next;
            continue;
        }
        const fs::path target = fs::read_symlink(next, noCurrentFolder);
        if (noCurrentFolder) break;
        const std::deque<std::string> more = partsOf(target);
        rest.insert(rest.begin(), more.begin(), more.end());
        reached = target.is_absolute() ? "/" : reached;
        ++links;
    }
    const Mount mount = mountOf(mounts, reached.string());
    return {mount.fileSystem, mayStallType(mount.fileSystem)};
}

}  // namespace pelm
