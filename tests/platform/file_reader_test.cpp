// Reads that never block: whatever stands in a file's place, and however
// long the file system takes, the reader comes back.

#include "platform/file_reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <thread>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/ini_file.h"
#include "platform/text_file.h"
#include "support/temp_folder.h"

namespace pelm {
namespace {

using namespace std::chrono_literals;
using Status = FileBytes::Status;

// A hang must fail the test rather than stall the suite: the work runs on a
// thread of its own, left behind if it never returns.
constexpr auto kWatchdog = 10s;

bool finishesInTime(std::function<void()> work) {
    auto task = std::make_shared<std::packaged_task<void()>>(std::move(work));
    std::future<void> done = task->get_future();
    std::thread([task] { (*task)(); }).detach();
    if (done.wait_for(kWatchdog) != std::future_status::ready) return false;
    done.get();
    return true;
}

// A listening Unix socket at `path`; a socket file cannot be opened at all.
class SocketFile {
public:
    explicit SocketFile(const std::string& path) : fd_(socket(AF_UNIX, SOCK_STREAM, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        bound_ = bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~SocketFile() { close(fd_); }
    bool bound() const { return bound_; }

private:
    int fd_;
    bool bound_ = false;
};

class NoRegularFile : public ::testing::Test {
protected:
    NoRegularFile() {
        mkfifo((folder / "fifo").c_str(), 0644);
        std::filesystem::create_directory(folder.path() / "folder");
    }
    testing::TempFolder folder;
    SocketFile socket{folder / "socket"};
};

TEST_F(NoRegularFile, IsUnreadableAtOnceWhateverStandsInItsPlace) {
    ASSERT_TRUE(socket.bound());
    for (const std::string& path :
         {folder / "fifo", folder / "folder", std::string("/dev/null"), folder / "socket"}) {
        EXPECT_TRUE(finishesInTime([&] {
            EXPECT_EQ(readRegularFile(path, 100).status, Status::Unreadable) << path;
            EXPECT_EQ(readCompleteFile(path, 100).status, Status::Unreadable) << path;
            EXPECT_THROW(readFileStart(utf8ToCp932(path), 100), Error) << path;
            EXPECT_FALSE(IniFile::loadForUpdate(path).has_value()) << path;
        })) << path
            << " blocked the reader";
    }
}

TEST_F(NoRegularFile, MissingIsToldFromUnreadable) {
    folder.write("plain", "x");
    EXPECT_EQ(readRegularFile(folder / "missing", 10).status, Status::Missing);
    EXPECT_EQ(readRegularFile(folder / "plain/below", 10).status, Status::Missing);
    const FileBytes plain = readRegularFile(folder / "plain", 10);
    EXPECT_EQ(plain.status, Status::Read);
    EXPECT_EQ(plain.bytes, "x");
}

TEST(ReadRegularFile, ReadsNoMoreThanAskedFor) {
    testing::TempFolder folder;
    const std::string content = std::string(300'000, 'a') + "end";
    folder.write("big", content);
    EXPECT_EQ(readRegularFile(folder / "big", 10).bytes, content.substr(0, 10));
    EXPECT_EQ(readRegularFile(folder / "big", 1'000'000).bytes, content);
    EXPECT_EQ(readRegularFile(folder / "big", 0).bytes, "");
    EXPECT_EQ(readFileStart(utf8ToCp932(folder / "big"), 200'001), content.substr(0, 200'001));
    // A whole-file read refuses a file beyond its limit rather than cut it.
    EXPECT_EQ(readCompleteFile(folder / "big", content.size()).bytes, content);
    EXPECT_EQ(readCompleteFile(folder / "big", content.size() - 1).status, Status::Unreadable);
}

// A read function that hangs the way a stalled share does: a blocking open
// of a FIFO that no writer has opened yet.
class StalledShare : public ::testing::Test {
protected:
    StalledShare() {
        mkfifo(fifo.c_str(), 0644);
        folder.write("plain", "on the share");
    }

    FileReader::ReadFunction hangingOnFifos() {
        return [this](const FileRequest& request) {
            ++calls;
            const std::string& path = request.nativePath;
            if (path != fifo) return readRequested(request);
            const int fd = open(path.c_str(), O_RDONLY);  // waits for a writer
            close(fd);
            return FileBytes{Status::Read, "from the fifo"};
        };
    }

    // Lets the hanging open return, once it has begun.
    bool endStall() const {
        const auto deadline = std::chrono::steady_clock::now() + kWatchdog;
        while (std::chrono::steady_clock::now() < deadline) {
            const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) return close(fd) == 0;
            std::this_thread::sleep_for(1ms);
        }
        return false;
    }

    static bool becomesFree(const FileReader& reader) {
        const auto deadline = std::chrono::steady_clock::now() + kWatchdog;
        while (reader.stuck() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        return !reader.stuck();
    }

    testing::TempFolder folder;
    const std::string fifo = folder / "fifo";
    std::atomic<int> calls = 0;
};

TEST_F(StalledShare, AHangingReadGivesUpAndTheNextWorksOnceItReturns) {
    FileReader reader(20ms, hangingOnFifos());
    EXPECT_EQ(reader.read(folder / "plain", 100).bytes, "on the share");
    EXPECT_FALSE(reader.stuck());

    FileBytes stalled;
    ASSERT_TRUE(finishesInTime([&] { stalled = reader.read(fifo, 100); }));
    EXPECT_EQ(stalled.status, Status::Stalled);
    EXPECT_TRUE(reader.stuck());
    // While it hangs, further reads fail at once and queue nothing behind it.
    EXPECT_EQ(reader.read(folder / "plain", 100).status, Status::Stalled);
    EXPECT_EQ(calls, 2);

    ASSERT_TRUE(endStall());
    ASSERT_TRUE(becomesFree(reader));
    const FileBytes after = reader.read(folder / "plain", 100);
    EXPECT_EQ(after.status, Status::Read);
    EXPECT_EQ(after.bytes, "on the share");  // not the late answer of the stalled read
    EXPECT_EQ(calls, 3);
}

// Files read together come back in their order; one that hangs takes the
// whole batch with it, as a refresh cannot use half of what it asked for.
TEST_F(StalledShare, FilesReadTogetherAnswerInOrderOrStallTogether) {
    FileReader reader(20ms, hangingOnFifos());
    const std::vector<FileBytes> both =
        reader.readEach({{folder / "plain", 100}, {folder / "missing", 100}});
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[0].bytes, "on the share");
    EXPECT_EQ(both[1].status, Status::Missing);

    std::vector<FileBytes> stalled;
    ASSERT_TRUE(finishesInTime([&] {
        stalled = reader.readEach({{folder / "plain", 100}, {fifo, 100}});
    }));
    ASSERT_EQ(stalled.size(), 2u);
    EXPECT_EQ(stalled[0].status, Status::Stalled);
    EXPECT_EQ(stalled[1].status, Status::Stalled);
    ASSERT_TRUE(endStall());
    ASSERT_TRUE(becomesFree(reader));
    EXPECT_EQ(reader.readEach({{folder / "plain", 100}}).front().bytes, "on the share");
}

TEST_F(StalledShare, AReaderGoneWhileItsReadHangsLeavesTheThreadBehind) {
    ASSERT_TRUE(finishesInTime([&] {
        FileReader reader(10ms, hangingOnFifos());
        EXPECT_EQ(reader.read(fifo, 100).status, Status::Stalled);
    }));  // the destructor did not wait for the hanging read
    EXPECT_TRUE(endStall());
}

TEST_F(StalledShare, CallersOnSeveralThreadsEachGetTheirOwnAnswer) {
    folder.write("other", "other file");
    FileReader reader(FileReader::kDefaultWait, hangingOnFifos());
    std::atomic<int> wrong = 0;
    auto readMany = [&](const std::string& name, const std::string& expected) {
        for (int i = 0; i < 200; ++i) {
            if (reader.read(folder / name, 100).bytes != expected) ++wrong;
        }
    };
    std::thread first(readMany, "plain", "on the share");
    std::thread second(readMany, "other", "other file");
    first.join();
    second.join();
    EXPECT_EQ(wrong, 0);
}

// One folder's share stopping must not hold up a file anywhere else: the
// settings beside the board are read while a schedule read hangs.
TEST_F(StalledShare, AHangingReadHoldsUpItsFolderOnly) {
    testing::TempFolder local;
    local.write("PelmDp.ini", "[Env]");
    FolderReaders readers(20ms, hangingOnFifos());
    FileReader& share = readers.forFile(fifo);
    EXPECT_EQ(&share, &readers.forFolder(folder.path().string() + "//"));
    EXPECT_NE(&share, &readers.forFile(local / "PelmDp.ini"));

    ASSERT_TRUE(finishesInTime([&] { EXPECT_EQ(share.read(fifo, 100).status, Status::Stalled); }));
    EXPECT_FALSE(share.answers(folder.path()));
    EXPECT_EQ(readers.forFile(folder / "plain").read(folder / "plain", 100).status,
              Status::Stalled);
    FileBytes settings;
    ASSERT_TRUE(finishesInTime(
        [&] { settings = readers.forFile(local / "PelmDp.ini").read(local / "PelmDp.ini", 100); }));
    EXPECT_EQ(settings.bytes, "[Env]");
    EXPECT_TRUE(readers.forFolder(local.path()).answers(local.path()));

    ASSERT_TRUE(endStall());
    ASSERT_TRUE(becomesFree(share));
    EXPECT_TRUE(share.answers(folder.path()));
}

}  // namespace
}  // namespace pelm
