// A folder that stalls: whatever hangs, hangs in the folder's helper
// process, and the caller comes back; the process keeps one thread and one
// helper for the folder however often it tries; the worker goes on once the
// helper answers; and a call that fails on its own costs only its answer.
// A local folder is read at once, with neither.

#include "platform/share_worker.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/folder_kind.h"
#include "support/finishes_in_time.h"
#include "support/temp_folder.h"

namespace pelm {
namespace {

using namespace std::chrono_literals;
using Status = FileBytes::Status;
using testing::finishesInTime;
using testing::kWatchdog;

std::size_t threadsOfThisProcess() {
    const std::filesystem::directory_iterator tasks("/proc/self/task");
    return static_cast<std::size_t>(std::distance(tasks, {}));
}

// A process's state letter and its parent, from /proc/PID/stat; '?' once it
// is gone, even when it goes while the file is read (ESRCH, which a stream
// would throw for).
std::pair<char, pid_t> stateAndParent(pid_t pid) {
    const int fd = open(("/proc/" + std::to_string(pid) + "/stat").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {'?', 0};
    char bytes[512];
    const ssize_t got = read(fd, bytes, sizeof bytes);
    close(fd);
    if (got <= 0) return {'?', 0};
    const std::string line(bytes, static_cast<std::size_t>(got));
    const std::size_t end = line.rfind(')');
    if (end == std::string::npos) return {'?', 0};
    char state = '?';
    pid_t parent = 0;
    std::istringstream(line.substr(end + 1)) >> state >> parent;
    return {state, parent};
}

// The children of this process, zombies too: the helpers of its workers.
std::vector<pid_t> childrenOfThisProcess() {
    std::vector<pid_t> children;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        if (stateAndParent(std::stoi(name)).second == getpid()) children.push_back(std::stoi(name));
    }
    return children;
}

// The children this process has now that it did not have `before`.
std::vector<pid_t> childrenSince(const std::vector<pid_t>& before) {
    std::vector<pid_t> fresh = childrenOfThisProcess();
    std::erase_if(fresh, [&](pid_t child) {
        return std::find(before.begin(), before.end(), child) != before.end();
    });
    return fresh;
}

// Gone for good: ended and reaped, not left a zombie.
bool goneInTime(pid_t process) {
    const auto deadline = std::chrono::steady_clock::now() + kWatchdog;
    while (std::chrono::steady_clock::now() < deadline) {
        if (stateAndParent(process).first == '?') return true;
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

// A folder whose helper hangs the way a stalled share does on any name
// that ends in ".stall", and fails on its own on one ending in ".fail"
// (tests/share_helper).
class StalledShare : public ::testing::Test {
protected:
    StalledShare() {
        mkfifo(fifo.c_str(), 0644);
        folder.write("plain", "on the share");
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

    // The worker's own short wait is about stalls, not speed: on a loaded
    // machine a helper that is not stalled may answer later than that, so a
    // read that must be answered waits as long as only a hang takes.
    FileBytes readPatiently(ShareWorker& worker) const {
        return fileBytesOf(std::move(worker.call({plain()}, kWatchdog).front()));
    }

    bool answersAgain(ShareWorker& worker) const {
        const auto deadline = std::chrono::steady_clock::now() + kWatchdog;
        while (std::chrono::steady_clock::now() < deadline) {
            if (readPatiently(worker).read()) return true;
            std::this_thread::sleep_for(1ms);
        }
        return false;
    }

    FileRequest plain() const { return {folder / "plain", 100}; }
    FileRequest stalled() const { return {folder / "file.stall", 100}; }
    FileRequest failing() const { return {folder / "file.fail", 100}; }

    testing::TempFolder folder;
    const std::string fifo = folder / "fifo";
};

std::unique_ptr<ShareWorker> helpedWorker(std::chrono::milliseconds wait) {
    return std::make_unique<ShareWorker>(ShareWorker::Where::Helper, wait, STALLING_SHARE_HELPER);
}

TEST_F(StalledShare, AHangingCallGivesUpAndTheWorkerGoesOnOnceItAnswers) {
    auto worker = helpedWorker(20ms);
    // The first call starts the helper, which on a busy machine may take
    // longer than the 20 ms the worker waits.
    ASSERT_TRUE(answersAgain(*worker));

    FileBytes stalledRead;
    ASSERT_TRUE(finishesInTime([&] { stalledRead = worker->read(stalled()); }));
    EXPECT_EQ(stalledRead.status, Status::Stalled);
    // While it hangs, every call answers at once that it has no answer.
    EXPECT_EQ(worker->read(plain()).status, Status::Stalled);

    ASSERT_TRUE(endStall());
    ASSERT_TRUE(answersAgain(*worker));
    const FileBytes after = readPatiently(*worker);
    EXPECT_EQ(after.bytes, "on the share");  // not the late answer of the stalled read
}

// Each call of a batch answers for itself: one that failed says so and
// leaves the others their answers; one that hangs leaves the whole
// exchange unanswered, as a refresh cannot use half of what it asked for.
TEST_F(StalledShare, EachCallOfABatchAnswersForItself) {
    auto worker = helpedWorker(50ms);
    std::vector<ShareAnswer> answers =
        worker->call({plain(), failing(), FileRequest{folder / "missing", 100},
                      ListRequest{folder.path(), ".fail"}},
                     kWatchdog);
    ASSERT_EQ(answers.size(), 4u);
    ASSERT_TRUE(std::holds_alternative<FileBytes>(answers[0]));
    EXPECT_EQ(std::get_if<FileBytes>(&answers[0])->bytes, "on the share");
    const CallFailed* failed = std::get_if<CallFailed>(&answers[1]);
    ASSERT_NE(failed, nullptr);
    EXPECT_NE(failed->reason.find("bad_alloc"), std::string::npos) << failed->reason;
    EXPECT_EQ(fileBytesOf(std::move(answers[1])).status, Status::Unreadable);
    EXPECT_EQ(fileBytesOf(std::move(answers[2])).status, Status::Missing);
    ASSERT_NE(std::get_if<Listing>(&answers[3]), nullptr);

    std::vector<ShareAnswer> stalledBoth;
    ASSERT_TRUE(finishesInTime([&] { stalledBoth = worker->call({plain(), stalled()}, 50ms); }));
    ASSERT_EQ(stalledBoth.size(), 2u);
    EXPECT_TRUE(std::holds_alternative<NoAnswer>(stalledBoth[0]));
    EXPECT_TRUE(std::holds_alternative<NoAnswer>(stalledBoth[1]));
    ASSERT_TRUE(endStall());
    ASSERT_TRUE(answersAgain(*worker));
}

// A slow folder is judged by how long the helper takes over one exchange,
// not by how long an exchange waited in the queue behind another: two
// reads asked at once, each within the wait, leave the folder answering.
TEST_F(StalledShare, AnExchangeQueuedBehindASlowOneHasItsWholeWait) {
    auto worker = helpedWorker(1500ms);
    ASSERT_TRUE(answersAgain(*worker));
    folder.write("slow", "1000");  // every call from now on takes a second
    const auto asked = std::chrono::steady_clock::now();
    std::future<ShareReply> first = worker->ask({plain()}, 1500ms);
    std::future<ShareReply> second = worker->ask({plain()}, 1500ms);
    ASSERT_EQ(first.wait_for(kWatchdog), std::future_status::ready);
    std::this_thread::sleep_until(asked + 1600ms);  // past the second's wait, counted from asking
    EXPECT_FALSE(answeredNow(second)) << "still at work on the second";
    std::vector<ShareAnswer> third = worker->call({plain()}, kWatchdog);
    EXPECT_TRUE(fileBytesOf(std::move(third.front())).read()) << "the folder taken for stalled";
    EXPECT_EQ(fileBytesOf(std::move(second.get().answers.front())).bytes, "on the share");
}

TEST_F(StalledShare, AWriteAndAReadStalledAtOnceLoseNothingButTheOlderBytes) {
    auto worker = helpedWorker(50ms);
    worker->post({folder / "copy.stall", "stalled", Durability::Visible});
    EXPECT_FALSE(worker->waitIdle(kWatchdog)) << "given up once the write is past its wait";

    EXPECT_EQ(worker->read(plain()).status, Status::Stalled);
    worker->post({folder / "copy.json", "older", Durability::Visible});
    worker->post({folder / "copy.json", "newest", Durability::Visible});
    EXPECT_FALSE(worker->waitIdle(kWatchdog));
    EXPECT_TRUE(worker->outcomes().empty());

    ASSERT_TRUE(endStall());
    ASSERT_TRUE(answersAgain(*worker));
    ASSERT_TRUE(worker->waitIdle(kWatchdog));
    const std::vector<PostedOutcome> outcomes = worker->outcomes();
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_EQ(outcomes[0].nativePath, folder / "copy.stall");
    EXPECT_EQ(outcomes[1].nativePath, folder / "copy.json");
    for (const PostedOutcome& outcome : outcomes) {
        const Replacement* replaced = std::get_if<Replacement>(&outcome.answer);
        EXPECT_TRUE(replaced && replaced->done) << outcome.nativePath;
    }
    EXPECT_EQ(folder.read("copy.stall"), "stalled");
    EXPECT_EQ(folder.read("copy.json"), "newest");
    EXPECT_EQ(readPatiently(*worker).bytes, "on the share");
}

TEST_F(StalledShare, AHundredStalledTriesKeepOneThreadAndOneHelper) {
    const std::size_t threads = threadsOfThisProcess();
    const std::vector<pid_t> before = childrenOfThisProcess();
    auto worker = helpedWorker(5ms);
    for (int attempt = 0; attempt < 100; ++attempt) {
        EXPECT_EQ(worker->read(stalled()).status, Status::Stalled);
        worker->post({folder / "copy.json", std::to_string(attempt), Durability::Visible});
    }
    EXPECT_EQ(threadsOfThisProcess(), threads + 1);
    EXPECT_EQ(childrenSince(before).size(), 1u);
    ASSERT_TRUE(endStall());
    ASSERT_TRUE(answersAgain(*worker));
    ASSERT_TRUE(worker->waitIdle(kWatchdog));
    EXPECT_EQ(folder.read("copy.json"), "99");
}

TEST_F(StalledShare, AWorkerEndsAtOnceWithACallInFlightAndItsHelperWithIt) {
    const std::vector<pid_t> before = childrenOfThisProcess();
    std::vector<pid_t> helper;
    ASSERT_TRUE(finishesInTime([&] {
        auto worker = helpedWorker(20ms);
        EXPECT_EQ(worker->read(stalled()).status, Status::Stalled);
        helper = childrenSince(before);
    }));
    ASSERT_EQ(helper.size(), 1u);
    EXPECT_TRUE(goneInTime(helper.front()));
}

// Ended by whatever means, a helper is reaped, never left a zombie, and
// the next call has a new one.
TEST_F(StalledShare, AHelperThatEndedIsReapedAndReplacedAtTheNextCall) {
    const std::vector<pid_t> before = childrenOfThisProcess();
    auto worker = helpedWorker(ShareWorker::kDefaultWait);
    EXPECT_EQ(readPatiently(*worker).status, Status::Read);
    const std::vector<pid_t> first = childrenSince(before);
    ASSERT_EQ(first.size(), 1u);
    kill(first.front(), SIGKILL);
    ASSERT_TRUE(goneInTime(first.front()));
    ASSERT_TRUE(answersAgain(*worker));
    const std::vector<pid_t> second = childrenSince(before);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_NE(second.front(), first.front());
}

TEST_F(StalledShare, CallersOnSeveralThreadsEachGetTheirOwnAnswer) {
    folder.write("other", "other file");
    auto worker = helpedWorker(ShareWorker::kDefaultWait);
    std::atomic<int> wrong = 0;
    auto readMany = [&](const std::string& name, const std::string& expected) {
        for (int i = 0; i < 200; ++i) {
            if (worker->read({folder / name, 100}).bytes != expected) ++wrong;
        }
    };
    std::thread first(readMany, "plain", "on the share");
    std::thread second(readMany, "other", "other file");
    first.join();
    second.join();
    EXPECT_EQ(wrong, 0);
}

// A helper that cannot be had answers every call with why, at once, and is
// tried again later rather than at every call.
TEST_F(StalledShare, AHelperThatCannotBeHadSaysWhy) {
    testing::TempFolder programs;
    const std::string older = programs / "pelm-share";
    std::ofstream(older) << "#!/bin/sh\nprintf 'zzzz' >&3\nsleep 5\n";
    std::filesystem::permissions(older, std::filesystem::perms::owner_all);
    const struct {
        std::string program;
        std::string says;
    } cases[] = {{programs / "nothing-here", "No such file"}, {older, "another version"}};
    for (const auto& c : cases) {
        ShareWorker worker(ShareWorker::Where::Helper, 2s, c.program);
        std::vector<ShareAnswer> answers;
        ASSERT_TRUE(finishesInTime([&] { answers = worker.call({plain()}, kWatchdog); }));
        const CallFailed* failed = std::get_if<CallFailed>(&answers.front());
        ASSERT_NE(failed, nullptr) << c.program;
        EXPECT_NE(failed->reason.find(c.says), std::string::npos) << failed->reason;
    }
}

TEST(ShareWorkers, ALocalFolderIsReadAtOnceWithNoThreadNorHelper) {
    testing::TempFolder local;
    local.write("RInfo.txt", "10:00:00,10:05:00,Race 1\r\n");
    const std::size_t threads = threadsOfThisProcess();
    const std::vector<pid_t> before = childrenOfThisProcess();
    ShareWorker& worker = ShareWorker::forFolder(local.path());
    EXPECT_EQ(worker.read({local / "RInfo.txt", 100}).bytes, "10:00:00,10:05:00,Race 1\r\n");
    worker.post({local / "copy.json", "{}", Durability::Visible});
    EXPECT_EQ(local.read("copy.json"), "{}");
    EXPECT_EQ(threadsOfThisProcess(), threads);
    EXPECT_TRUE(childrenSince(before).empty());
}

TEST(ShareWorkers, SpellingsOfOneFolderShareItsWorkerAndNoOtherFolderDoes) {
    testing::TempFolder share, local;
    ShareWorker& worker = ShareWorker::forFolder(share.path());
    EXPECT_EQ(&worker, &ShareWorker::forFolder(share.path().string() + "//"));
    EXPECT_EQ(&worker, &ShareWorker::forFile(share / "RInfo.txt"));
    EXPECT_EQ(&ShareWorker::forFolder("."), &ShareWorker::forFile("PelmDp.ini"));
    EXPECT_EQ(&ShareWorker::forFolder("."),
              &ShareWorker::forFolder(std::filesystem::current_path().string() + "/"));
    EXPECT_NE(&worker, &ShareWorker::forFile(local / "PelmDp.ini"));
}

// A helper stays in the folder it was started in; the caller may have moved.
TEST(ShareWorkers, ARelativeNameIsTheCallersFolderNow) {
    testing::TempFolder first, second;
    first.write("RInfo.txt", "first");
    second.write("RInfo.txt", "second");
    const std::filesystem::path home = std::filesystem::current_path();
    auto worker = helpedWorker(ShareWorker::kDefaultWait);
    std::filesystem::current_path(first.path());
    const std::string inFirst = worker->read({"RInfo.txt", 100}).bytes;
    std::filesystem::current_path(second.path());
    const std::string inSecond = worker->read({"RInfo.txt", 100}).bytes;
    std::filesystem::current_path(home);
    EXPECT_EQ(inFirst, "first");
    EXPECT_EQ(inSecond, "second");
}

// A share is known by the mount table alone: asking it would hang with it.
// The folders on the way are looked at only while they are local, so a
// link into a share is followed no further than the share's mount point.
TEST(FolderKinds, AFolderMayStallWhenItOrALinkOnTheWayLiesOnAShare) {
    testing::TempFolder board;
    std::filesystem::create_directory_symlink("/mnt/venue/pelm", board.path() / "data");
    std::filesystem::create_directory(board.path() / "sub");
    std::filesystem::create_directory_symlink("../elsewhere", board.path() / "sub" / "back");
    const std::string root = board.path().string();
    const std::string mounts =
        "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
        "40 22 0:50 / /mnt/venue rw,relatime - cifs //nas/pelm rw\n"
        "41 22 0:51 / /mnt/my\\040share rw - fuse.sshfs me@nas: rw\n"
        "42 22 0:52 / " +
        root + "/elsewhere rw shared:7 - nfs4 nas:/x rw\n";
    const struct {
        std::string folder;
        std::string fileSystem;
        bool mayStall;
    } cases[] = {
        {"/mnt/venue/pelm/data", "cifs", true},
        {"/mnt/venue", "cifs", true},
        {"/mnt/venuex", "ext4", false},
        {"/mnt/my share/x", "fuse.sshfs", true},
        {root + "/data", "cifs", true},            // a link into the share
        {root + "/sub/back", "nfs4", true},        // a relative link
        {root + "/data/../../tmp", "cifs", true},  // never walked inside the share
        {root, "ext4", false},
        {root + "/not/yet/there", "ext4", false},
    };
    for (const auto& c : cases) {
        const FolderKind kind = folderKind(c.folder, mounts);
        EXPECT_EQ(kind.fileSystem, c.fileSystem) << c.folder;
        EXPECT_EQ(kind.mayStall, c.mayStall) << c.folder;
    }
    EXPECT_FALSE(folderKind(root).mayStall) << "the machine's own temporary folder";
}

}  // namespace
}  // namespace pelm
