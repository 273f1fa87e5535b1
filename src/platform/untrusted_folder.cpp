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
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

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

int createUniqueFile(const std::string& folder, const std::string& prefix, std::string& name,
                     mode_t mode) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = folder + "/" + prefix + unguessableText();
        const int fd = open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

std::string userName(uid_t uid) {
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[1024];
    if (getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr)
        return found->pw_name;
    return "uid " + std::to_string(uid);
}

std::string describeForeign(const std::string& path, uid_t ownUid) {
    struct stat status;
    if (lstat(path.c_str(), &status) != 0) return {};
    if (S_ISLNK(status.st_mode)) {
        char target[4096];
        const ssize_t size = readlink(path.c_str(), target, sizeof target - 1);
        return "a symbolic link to " + (size > 0 ? std::string(target, size) : std::string("?"));
    }
    if (S_ISDIR(status.st_mode)) return "a folder";
    if (S_ISFIFO(status.st_mode)) return "a FIFO";
    if (S_ISSOCK(status.st_mode)) return "a socket";
    if (!S_ISREG(status.st_mode)) return "a device";
    if (status.st_uid != ownUid) return "a file of user " + userName(status.st_uid);
    return {};
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

namespace {

// Between the caller and the reading thread; the thread keeps it alive when
// it is left behind on a frozen share.
struct SnapshotWork {
    std::mutex lock;
    std::condition_variable changed;
    FolderSnapshot snapshot;
    std::vector<std::string> names;
    size_t answered = 0;  // names whose read has returned
    bool done = false;
};

void readAll(std::shared_ptr<SnapshotWork> work, std::string folder, FolderAccess access) {
    const auto names = access.list(folder);
    {
        std::lock_guard guard(work->lock);
        work->snapshot.listed = names.has_value();
        if (names) work->names = *names;
        work->done = !names || names->empty();
        work->changed.notify_all();
    }
    if (!names) return;
    for (const std::string& name : *names) {
        auto bytes = access.read(folder + "/" + name);
        std::lock_guard guard(work->lock);
        if (bytes) work->snapshot.files.emplace_back(name, std::move(*bytes));
        work->done = ++work->answered == names->size();
        work->changed.notify_all();
    }
}

}  // namespace

FolderSnapshot readFolderWithin(const std::string& folder, std::chrono::milliseconds deadline,
                                FolderAccess access) {
    auto work = std::make_shared<SnapshotWork>();
    std::thread(readAll, work, folder, std::move(access)).detach();
    std::unique_lock guard(work->lock);
    work->changed.wait_for(guard, deadline, [&] { return work->done; });
    FolderSnapshot snapshot = work->snapshot;
    snapshot.complete = work->done;
    if (snapshot.listed)
        snapshot.unanswered.assign(work->names.begin() + static_cast<long>(work->answered),
                                   work->names.end());
    return snapshot;
}

}  // namespace pelm
