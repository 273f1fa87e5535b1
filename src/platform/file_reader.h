#pragma once
// Reading the files the board depends on without ever blocking it: a FIFO,
// device or folder put in a file's place reads as unreadable at once, and a
// read that hangs (a stalled network share) is given up after a bounded wait.
//
// One reader per folder: every file is read through the reader of the
// folder it is in (FileReader::forFile), so a share that stops answering
// holds up only reads in that folder. The local settings, the engine
// configuration and a logo picture beside them never queue behind a
// schedule read on a frozen share, and each still has the same bound.

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pelm {

/// What one read found.
struct FileBytes {
    enum class Status {
        Read,        // `bytes` holds the file's start, at most the bytes asked for
        Missing,     // no such file (or a path through something that is no folder)
        Unreadable,  // exists but is no regular file, or open or read failed
        Stalled,     // the read did not finish within the wait, or an earlier one still hangs
    };
    Status status = Status::Unreadable;
    std::string bytes;

    bool read() const { return status == Status::Read; }
};

/// Whether a read may go through a symbolic link at the file's own name: not
/// in a folder others can write (see untrusted_folder.h), where a link
/// planted at the name would show the board whatever it points at.
enum class Links { Followed, NotFollowed };

/// One file to read: at most `maxBytes` bytes of the file at a native path.
struct FileRequest {
    std::string nativePath;
    std::size_t maxBytes;
    Links links = Links::Followed;
};

/// Reads at most `maxBytes` bytes of the file at a native path in the
/// calling thread. The open never waits for a writer (O_NONBLOCK) and only a
/// regular file is read; a read can still hang inside the file system. A
/// link at the name when `links` says NotFollowed, and with `owner` a file of
/// another user, read as Unreadable.
FileBytes readRegularFile(const std::string& nativePath, std::size_t maxBytes,
                          Links links = Links::Followed, std::optional<uid_t> owner = std::nullopt);

/// readRegularFile for one request: how a reader reads unless told otherwise.
FileBytes readRequested(const FileRequest& request);

/// Whether the folder at a native path lies on a file system that can stop
/// answering: a network share or a file system served by a program (FUSE).
/// Asks the file system itself, so look at a folder that just answered.
bool mayStall(const std::string& nativeFolder);

/// Runs reads on a thread of its own and waits for each at most a deadline.
///
/// Why a thread: a stalled share hangs open() and read() in the kernel, and
/// nothing in the calling thread can interrupt them, so the only way to keep
/// the window alive is not to be the thread that hangs. One persistent thread
/// per reader keeps the common case to a hand-over and a wake-up (the board
/// reads its two data files in one hand-over per refresh, four times a
/// second); while a read the caller
/// gave up on is still hanging, every further read fails at once instead of
/// piling up threads behind it, and once it returns the next read works again.
class FileReader {
public:
    using ReadFunction = std::function<FileBytes(const FileRequest& request)>;

    static constexpr std::chrono::milliseconds kDefaultWait{1000};

    /// `read` does the reading on the reader's thread (readRegularFile unless
    /// a test puts in one that hangs); `wait` bounds each read.
    explicit FileReader(std::chrono::milliseconds wait = kDefaultWait,
                        ReadFunction read = readRequested);
    /// Does not wait for a read that hangs: its thread is left to finish alone.
    ~FileReader();
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    /// Reads at most `maxBytes` bytes of the file at a native path; Stalled
    /// when that takes longer than the wait or an earlier read still hangs.
    /// Callers from several threads take turns.
    FileBytes read(const std::string& nativePath, std::size_t maxBytes);
    /// Reads several files in one hand-over, the cheaper way for files read
    /// together at every refresh; the wait bounds them all, and when it runs
    /// out every answer is Stalled. One answer per request, in their order.
    std::vector<FileBytes> readEach(std::vector<FileRequest> requests);

    /// Whether the file system answers for the path within the wait: a look
    /// that opens it (a folder, say) without reading a byte. False when the
    /// look stalls or an earlier read still hangs.
    bool answers(const std::string& nativePath);

    /// True while a read that was given up on has not returned yet.
    bool stuck() const;

    /// The reader of a folder (a native path) for the process, made at its
    /// first use; spellings that name the folder alike (a trailing or doubled
    /// separator) share it.
    static FileReader& forFolder(const std::string& nativeFolder);
    /// The reader of the folder that holds the file at a native path.
    static FileReader& forFile(const std::string& nativePath);

private:
    struct State;
    void start(std::chrono::milliseconds wait, ReadFunction read);
    static void serve(const std::shared_ptr<State>& state);

    std::shared_ptr<State> state_;
};

/// Readers by folder, each on a thread of its own, kept as long as the set:
/// a board reads from a handful of folders (its own, the data folder, the
/// table folder), so none is ever let go. FileReader::forFolder uses the
/// process's set; a test makes its own with a read function that hangs.
class FolderReaders {
public:
    explicit FolderReaders(std::chrono::milliseconds wait = FileReader::kDefaultWait,
                           FileReader::ReadFunction read = readRequested);
    ~FolderReaders();
    FolderReaders(const FolderReaders&) = delete;
    FolderReaders& operator=(const FolderReaders&) = delete;

    FileReader& forFolder(const std::string& nativeFolder);
    FileReader& forFile(const std::string& nativePath);

private:
    struct Readers;
    std::unique_ptr<Readers> readers_;
};

}  // namespace pelm
