#include "venuepc/folder_safety.h"

#include <sys/stat.h>

#include "platform/untrusted_folder.h"

namespace pelm::pc {
namespace {

namespace fs = std::filesystem;

fs::path nearestExisting(fs::path folder) {
    std::error_code error;
    while (!fs::exists(folder, error) && folder.has_relative_path()) folder = folder.parent_path();
    return folder;
}

// The folder itself: only its owner writes there. A folder above it: its
// entries are safe from others when they cannot write it, or when its
// sticky bit keeps them to names of their own.
std::optional<std::string> problemOf(const fs::path& folder, bool itself, uid_t uid, gid_t gid) {
    struct stat status;
    if (stat(folder.c_str(), &status) != 0) return std::nullopt;
    if (status.st_uid != uid && status.st_uid != 0)
        return folder.string() + " belongs to " + userName(status.st_uid);
    const bool groupWrites = (status.st_mode & S_IWGRP) && status.st_gid != gid;
    const bool othersWrite = (status.st_mode & S_IWOTH) || groupWrites;
    const bool sticky = status.st_mode & S_ISVTX;
    if (othersWrite && (itself || !sticky)) return folder.string() + " can be written by others";
    return std::nullopt;
}

}  // namespace

std::optional<std::string> othersCanWrite(const fs::path& folder, uid_t uid, gid_t gid) {
    fs::path current = nearestExisting(fs::absolute(folder).lexically_normal());
    bool itself = true;
    for (;;) {
        if (auto problem = problemOf(current, itself, uid, gid)) return problem;
        if (!current.has_relative_path()) return std::nullopt;
        current = current.parent_path();
        itself = false;
    }
}

}  // namespace pelm::pc
