#include "platform/file_reader.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace pelm {
namespace {

class FileHandle {
public:
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle() {
        if (fd_ >= 0) close(fd_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

FileBytes failed(FileBytes::Status status) {
    return FileBytes{status, {}};
}

// Reads to the end or to `maxBytes` rather than trusting the size: a writer
// may be growing or shrinking the file while we read it.
bool readUpTo(int fd, std::size_t sizeHint, std::size_t maxBytes, std::string& bytes) {
    bytes.resize(std::min(sizeHint + 1, maxBytes));
    std::size_t filled = 0;
    while (filled < maxBytes) {
        if (filled == bytes.size()) bytes.resize(std::min(bytes.size() * 2 + 1, maxBytes));
        const ssize_t got = ::read(fd, bytes.data() + filled, bytes.size() - filled);
        if (got == 0) break;
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        filled += static_cast<std::size_t>(got);
    }
    bytes.resize(filled);
    return true;
}

}  // namespace

FileBytes readRegularFile(const std::string& nativePath, std::size_t maxBytes, Links links,
                          std::optional<uid_t> owner) {
    // O_NONBLOCK: opening a FIFO would otherwise wait for a writer. It means
    // nothing to a regular file, the only kind read below.
    const int noLink = links == Links::NotFollowed ? O_NOFOLLOW : 0;
    const FileHandle file(
        open(nativePath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | noLink));
    if (file.fd() < 0) {
        const bool missing = errno == ENOENT || errno == ENOTDIR;
        return failed(missing ? FileBytes::Status::Missing : FileBytes::Status::Unreadable);
    }
    struct stat status;
    if (fstat(file.fd(), &status) != 0 || !S_ISREG(status.st_mode) ||
        (owner && status.st_uid != *owner)) {
        return failed(FileBytes::Status::Unreadable);
    }
    FileBytes result{FileBytes::Status::Read, {}};
    if (!readUpTo(file.fd(), static_cast<std::size_t>(status.st_size), maxBytes, result.bytes)) {
        return failed(FileBytes::Status::Unreadable);
    }
    return result;
}

FileBytes readRequested(const FileRequest& request) {
    return readRegularFile(request.nativePath, request.maxBytes, request.links);
}

bool mayStall(const std::string& nativeFolder) {
    struct statfs system;
    if (statfs(nativeFolder.c_str(), &system) != 0) return false;
    switch (static_cast<unsigned long>(system.f_type)) {
        case NFS_SUPER_MAGIC:
        case SMB_SUPER_MAGIC:
        case CIFS_SUPER_MAGIC:
        case SMB2_SUPER_MAGIC:
        case FUSE_SUPER_MAGIC:
        case CEPH_SUPER_MAGIC:
        case V9FS_MAGIC:
        case AFS_SUPER_MAGIC:
        case CODA_SUPER_MAGIC:
            return true;
        default:
            return false;
    }
}

// Shared by the reader and its thread, so a thread left hanging in a read
// after its reader is gone still has somewhere to put its answer.
struct FileReader::State {
    std::chrono::milliseconds wait;
    ReadFunction readFile;
    std::mutex turn;  // held by the one caller whose read is under way

    mutable std::mutex mutex;
    std::condition_variable changed;
    std::optional<std::vector<FileRequest>> request;  // handed over, not yet taken
    std::optional<std::vector<FileBytes>> answer;
    bool inFlight = false;   // a read was handed over and has not returned
    bool abandoned = false;  // ... and its caller stopped waiting for it
    bool stopping = false;
    pid_t process = 0;  // the process the thread runs in
};

namespace {

// An exception (no memory for the bytes, say) must not end the thread.
FileBytes readCaught(const FileReader::ReadFunction& readFile, const FileRequest& request) {
    try {
        return readFile(request);
    } catch (const std::exception&) {
        return failed(FileBytes::Status::Unreadable);
    }
}

std::vector<FileBytes> readAll(const FileReader::ReadFunction& readFile,
                               const std::vector<FileRequest>& requests) {
    std::vector<FileBytes> answers;
    answers.reserve(requests.size());
    for (const FileRequest& request : requests) answers.push_back(readCaught(readFile, request));
    return answers;
}

std::vector<FileBytes> allStalled(std::size_t count) {
    return std::vector<FileBytes>(count, failed(FileBytes::Status::Stalled));
}

}  // namespace

FileReader::FileReader(std::chrono::milliseconds wait, ReadFunction read) {
    start(wait, std::move(read));
}

void FileReader::start(std::chrono::milliseconds wait, ReadFunction read) {
    state_ = std::make_shared<State>();
    state_->wait = wait;
    state_->readFile = std::move(read);
    state_->process = getpid();
    std::thread(serve, state_).detach();
}

// Detached from the start: joining would hang a closing board behind a read
// stuck in the kernel, and a thread that is not hanging ends by itself once
// it sees `stopping`.
FileReader::~FileReader() {
    const std::lock_guard lock(state_->mutex);
    state_->stopping = true;
    state_->changed.notify_all();
}

// Each side wakes the other after letting go of the mutex, so the woken
// thread does not wake only to wait for it.
void FileReader::serve(const std::shared_ptr<State>& state) {
    std::unique_lock lock(state->mutex);
    for (;;) {
        state->changed.wait(lock, [&] { return state->request || state->stopping; });
        if (!state->request) return;
        const std::vector<FileRequest> requests = std::move(*state->request);
        state->request.reset();
        lock.unlock();
        std::vector<FileBytes> answers = readAll(state->readFile, requests);
        lock.lock();
        state->inFlight = false;
        if (!state->abandoned) state->answer = std::move(answers);
        state->abandoned = false;
        lock.unlock();
        state->changed.notify_all();
        lock.lock();
    }
}

FileBytes FileReader::read(const std::string& nativePath, std::size_t maxBytes) {
    return std::move(readEach({FileRequest{nativePath, maxBytes}}).front());
}

std::vector<FileBytes> FileReader::readEach(std::vector<FileRequest> requests) {
    // A forked child (a test's death test, say) has no copy of the thread.
    if (state_->process != getpid()) start(state_->wait, state_->readFile);
    const std::size_t count = requests.size();
    const std::lock_guard turn(state_->turn);
    std::unique_lock lock(state_->mutex);
    if (state_->inFlight) return allStalled(count);
    state_->request = std::move(requests);
    state_->answer.reset();
    state_->inFlight = true;
    lock.unlock();
    state_->changed.notify_all();
    lock.lock();
    if (!state_->changed.wait_for(lock, state_->wait, [&] { return state_->answer.has_value(); })) {
        state_->abandoned = true;
        return allStalled(count);
    }
    std::vector<FileBytes> answers = std::move(*state_->answer);
    state_->answer.reset();
    return answers;
}

bool FileReader::stuck() const {
    const std::lock_guard lock(state_->mutex);
    return state_->inFlight && state_->abandoned;
}

bool FileReader::answers(const std::string& nativePath) {
    return read(nativePath, 0).status != FileBytes::Status::Stalled;
}

namespace {

FolderReaders& processReaders() {
    static FolderReaders readers;
    return readers;
}

// The folder as one name: "data", "data/" and "./data//" are one folder.
std::string folderKey(const std::string& nativeFolder) {
    std::string key = std::filesystem::path(nativeFolder).lexically_normal().string();
    while (key.size() > 1 && key.back() == '/') key.pop_back();
    return key.empty() || key == "./" ? std::string(".") : key;
}

}  // namespace

FileReader& FileReader::forFolder(const std::string& nativeFolder) {
    return processReaders().forFolder(nativeFolder);
}

FileReader& FileReader::forFile(const std::string& nativePath) {
    return processReaders().forFile(nativePath);
}

struct FolderReaders::Readers {
    std::chrono::milliseconds wait;
    FileReader::ReadFunction read;
    std::mutex mutex;
    std::map<std::string, std::unique_ptr<FileReader>> byFolder;
    // Each spelling met so far, so the data folder read at every beat is
    // found without working out its name again.
    std::map<std::string, FileReader*, std::less<>> bySpelling;
};

FolderReaders::FolderReaders(std::chrono::milliseconds wait, FileReader::ReadFunction read)
    : readers_(std::make_unique<Readers>()) {
    readers_->wait = wait;
    readers_->read = std::move(read);
}

FolderReaders::~FolderReaders() = default;

FileReader& FolderReaders::forFolder(const std::string& nativeFolder) {
    const std::lock_guard lock(readers_->mutex);
    if (const auto known = readers_->bySpelling.find(nativeFolder);
        known != readers_->bySpelling.end())
        return *known->second;
    std::unique_ptr<FileReader>& reader = readers_->byFolder[folderKey(nativeFolder)];
    if (!reader) reader = std::make_unique<FileReader>(readers_->wait, readers_->read);
    readers_->bySpelling.emplace(nativeFolder, reader.get());
    return *reader;
}

FileReader& FolderReaders::forFile(const std::string& nativePath) {
    return forFolder(std::filesystem::path(nativePath).lexically_normal().parent_path().string());
}

}  // namespace pelm
