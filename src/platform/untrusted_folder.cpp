#include "platform/untrusted_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>

#include "platform/file_reader.h"

namespace pelm {

std::string unguessableText() {
    unsigned char bytes[8] = {};
    if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        // Without the kernel's randomness the name is only unusual, which
        // O_EXCL still makes safe: a planted name is skipped, never written.
        static std::atomic<unsigned> counter{0};
        const unsigned long long mixed =
            (static_cast<unsigned long long>(getpid()) << 32) ^ counter++ ^
            static_cast<unsigned long long>(
                std::chrono::steady_clock::now().time_since_epoch().count());
        for (size_t i = 0; i < sizeof bytes; ++i)
            bytes[i] = static_cast<unsigned char>(mixed >> (8 * i));
    }
    char text[2 * sizeof bytes + 1] = {};
    for (size_t i = 0; i < sizeof bytes; ++i) std::snprintf(text + 2 * i, 3, "%02x", bytes[i]);
    return text;
}

FileDescriptor createUniqueFile(const std::string& folder, const std::string& prefix,
                                std::string& name, mode_t mode) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = folder + "/" + prefix + unguessableText();
        FileDescriptor file(
            open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (file || errno != EEXIST) return file;
    }
    return FileDescriptor();
}

std::string userName(uid_t uid) {
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[1024];
    if (getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr)
        return found->pw_name;
    return "uid " + std::to_string(uid);
}

namespace {

PathFacts::Kind kindOf(mode_t mode) {
    using Kind = PathFacts::Kind;
    if (S_ISLNK(mode)) return Kind::Link;
    if (S_ISDIR(mode)) return Kind::Folder;
    if (S_ISFIFO(mode)) return Kind::Fifo;
    if (S_ISSOCK(mode)) return Kind::Socket;
    return S_ISREG(mode) ? Kind::RegularFile : Kind::Device;
}

}  // namespace

PathFacts lookAt(const std::string& path) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0) return {};
    PathFacts facts{
        kindOf(status.st_mode),
        status.st_uid,
        {},
        {status.st_ino, status.st_size,
         static_cast<long long>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec}};
    if (facts.kind == PathFacts::Kind::Link) {
        char target[4096];
        const ssize_t size = readlink(path.c_str(), target, sizeof target - 1);
        if (size > 0) facts.linkTarget.assign(target, static_cast<std::size_t>(size));
    }
    return facts;
}

std::string describeForeign(const PathFacts& facts, uid_t ownUid) {
    switch (facts.kind) {
        case PathFacts::Kind::Nothing:
            return {};
        case PathFacts::Kind::Link:
            return "a symbolic link to " + (facts.linkTarget.empty() ? "?" : facts.linkTarget);
        case PathFacts::Kind::Folder:
            return "a folder";
        case PathFacts::Kind::Fifo:
            return "a FIFO";
        case PathFacts::Kind::Socket:
            return "a socket";
        case PathFacts::Kind::Device:
            return "a device";
        case PathFacts::Kind::RegularFile:
            break;
    }
    return facts.owner == ownUid ? std::string() : "a file of user " + userName(facts.owner);
}

std::string describeForeign(const std::string& path, uid_t ownUid) {
    return describeForeign(lookAt(path), ownUid);
}

std::optional<std::string> readUntrustedFile(const std::string& path, size_t limit,
                                             std::optional<uid_t> owner) {
    FileBytes file = readRegularFile(path, limit, Links::NotFollowed, owner);
    if (!file.read()) return std::nullopt;
    return std::move(file.bytes);
}

std::optional<std::vector<std::string>> listFolder(const std::string& folder,
                                                   const std::string& suffix) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return std::nullopt;
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() > suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace pelm
