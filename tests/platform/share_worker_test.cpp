// A folder that stops answering: whatever hangs, hangs in the folder's
// helper process, and the caller comes back, the process keeps one thread
// and one helper for the folder however often it tries, and the worker goes
// on once the helper answers.

#include "platform/share_worker.h"

#include <dirent.h>
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

// A process's state letter and its parent, from /proc/PID/stat.
std::pair<char, pid_t> stateAndParent(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    const std::string line(std::istreambuf_iterator<char>(stat), {});
    const std::size_t end = line.rfind(')');
    if (end == std::string::npos) return {'?', 0};
    char state = '?';
    pid_t parent = 0;
    std::istringstream(line.substr(end + 1)) >> state >> parent;
    return {state, parent};
}

// The live children of this process: the helpers of its workers.
std::vector<pid_t> helpersOfThisProcess() {
    std::vector<pid_t> helpers;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const auto [state, parent] = stateAndParent(std::stoi(name));
        if (parent == getpid() && state != 'Z' && state != '?') helpers.push_back(std::stoi(name));
    }
    return helpers;
}

// The helpers this process has now that it did not have `before`.
std::vector<pid_t> helpersSince(const std::vector<pid_t>& before) {
    std::vector<pid_t> fresh = helpersOfThisProcess();
    std::erase_if(fresh, [&](pid_t helper) {
        return std::find(before.begin(), before.end(), helper) != before.end();
    });
    return fresh;
}

bool endsInTime(pid_t process) {
    const auto deadline = std::chrono::steady_clock::now() + kWatchdog;
    while (std::chrono::steady_clock::now() < deadline) {
        const char state = stateAndParent(process).first;
        if (state == 'Z' || state == '?') return true;
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

// A folder whose helper hangs the way a frozen share does on any name that
// ends in ".stall": in a blocking open of a FIFO no writer has opened yet.
class StalledShare : public ::testing::Test {
protected:
    StalledShare() {
        mkfifo(fifo.c_str(), 0644);
        folder.write("plain", "on the share");
    }

    PerformCall hangingOnStalls() const {
        return [fifo = fifo](const ShareCall& call) {
            if (pathOf(call).ends_with(".stall")) close(open(fifo.c_str(), O_RDONLY));
            return performCall(call);
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

    static bool answersAgain(ShareWorker& worker, const std::string& folder) {
        const auto deadline = std::chrono::steady_clock::now() + kWatchdog;
        while (!worker.answers(folder) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        return worker.answers(folder);
    }

    FileRequest plain() const { return {folder / "plain", 100}; }
    FileRequest stalled() const { return {folder / "file.stall", 100}; }

    testing::TempFolder folder;
    const std::string fifo = folder / "fifo";
};

TEST_F(StalledShare, AHangingCallGivesUpAndTheWorkerGoesOnOnceItAnswers) {
    ShareWorker worker(20ms, hangingOnStalls());
    EXPECT_EQ(worker.read(plain()).bytes, "on the share");

    FileBytes stalledRead;
    ASSERT_TRUE(finishesInTime([&] { stalledRead = worker.read(stalled()); }));
    EXPECT_EQ(stalledRead.status, Status::Stalled);
    // While it hangs, every call fails at once, the look at the folder too.
    EXPECT_EQ(worker.read(plain()).status, Status::Stalled);
    EXPECT_FALSE(worker.answers(folder.path()));

    ASSERT_TRUE(endStall());
    ASSERT_TRUE(answersAgain(worker, folder.path()));
    const FileBytes after = worker.read(plain());
    EXPECT_EQ(after.status, Status::Read);
    EXPECT_EQ(after.bytes, "on the share");  // not the late answer of the stalled read
}

// Files read together come back in their order; one that hangs takes the
// whole batch with it, as a refresh cannot use half of what it asked for.
TEST_F(StalledShare, FilesReadTogetherAnswerInOrderOrStallTogether) {
    ShareWorker worker(20ms, hangingOnStalls());
    const std::vector<FileBytes> both = worker.readEach({plain(), {folder / "missing", 100}});
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[0].bytes, "on the share");
    EXPECT_EQ(both[1].status, Status::Missing);

    std::vector<FileBytes> stalledBoth;
    ASSERT_TRUE(finishesInTime([&] { stalledBoth = worker.readEach({plain(), stalled()}); }));
    ASSERT_EQ(stalledBoth.size(), 2u);
    EXPECT_EQ(stalledBoth[0].status, Status::Stalled);
    EXPECT_EQ(stalledBoth[1].status, Status::Stalled);
    ASSERT_TRUE(endStall());
    ASSERT_TRUE(answersAgain(worker, folder.path()));
    EXPECT_EQ(worker.readEach({plain()}).front().bytes, "on the share");
}

TEST_F(StalledShare, AWriteAndAReadStalledAtOnceLoseNothingButTheOlderBytes) {
    ShareWorker worker(50ms, hangingOnStalls());
    worker.post({folder / "copy.stall", "stalled", Durability::Visible});
    EXPECT_FALSE(worker.waitIdle(kWatchdog)) << "given up once the write is past its wait";

    EXPECT_EQ(worker.read(plain()).status, Status::Stalled);
    worker.post({folder / "copy.json", "older", Durability::Visible});
    worker.post({folder / "copy.json", "newest", Durability::Visible});
    EXPECT_FALSE(worker.waitIdle(kWatchdog));
    EXPECT_TRUE(worker.outcomes().empty());

    ASSERT_TRUE(endStall());
    ASSERT_TRUE(answersAgain(worker, folder.path()));
    ASSERT_TRUE(worker.waitIdle(kWatchdog));
    const std::vector<PostedOutcome> outcomes = worker.outcomes();
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_EQ(outcomes[0].nativePath, folder / "copy.stall");
    EXPECT_EQ(outcomes[1].nativePath, folder / "copy.json");
    for (const PostedOutcome& outcome : outcomes)
        EXPECT_TRUE(std::get<Replacement>(outcome.answer).done) << outcome.nativePath;
    EXPECT_EQ(folder.read("copy.stall"), "stalled");
    EXPECT_EQ(folder.read("copy.json"), "newest");
    EXPECT_EQ(worker.read(plain()).bytes, "on the share");
}

TEST_F(StalledShare, AHundredStalledTriesKeepOneThreadAndOneHelper) {
    const std::size_t threads = threadsOfThisProcess();
    const std::size_t helpers = helpersOfThisProcess().size();
    ShareWorker worker(5ms, hangingOnStalls());
    for (int attempt = 0; attempt < 100; ++attempt) {
        EXPECT_EQ(worker.read(stalled()).status, Status::Stalled);
        EXPECT_FALSE(worker.answers(folder.path()));
        worker.post({folder / "copy.json", std::to_string(attempt), Durability::Visible});
    }
    EXPECT_EQ(threadsOfThisProcess(), threads + 1);
    EXPECT_EQ(helpersOfThisProcess().size(), helpers + 1);
    ASSERT_TRUE(endStall());
    ASSERT_TRUE(answersAgain(worker, folder.path()));
    ASSERT_TRUE(worker.waitIdle(kWatchdog));
    EXPECT_EQ(folder.read("copy.json"), "99");
}

TEST_F(StalledShare, AWorkerEndsAtOnceWithACallInFlightAndItsHelperWithIt) {
    const std::vector<pid_t> before = helpersOfThisProcess();
    std::vector<pid_t> helper;
    ASSERT_TRUE(finishesInTime([&] {
        ShareWorker worker(20ms, hangingOnStalls());
        EXPECT_EQ(worker.read(stalled()).status, Status::Stalled);
        helper = helpersSince(before);
    }));
    ASSERT_EQ(helper.size(), 1u);
    EXPECT_TRUE(endsInTime(helper.front()));
}

TEST_F(StalledShare, AHelperThatEndedOrIdledIsReplacedAtTheNextCall) {
    const std::vector<pid_t> before = helpersOfThisProcess();
    ShareWorker worker(ShareWorker::kDefaultWait, hangingOnStalls(), 200ms);
    EXPECT_EQ(worker.read(plain()).status, Status::Read);
    const std::vector<pid_t> first = helpersSince(before);
    ASSERT_EQ(first.size(), 1u);
    kill(first.front(), SIGKILL);
    ASSERT_TRUE(endsInTime(first.front()));
    ASSERT_TRUE(answersAgain(worker, folder.path()));
    const std::vector<pid_t> second = helpersSince(before);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_NE(second.front(), first.front());

    EXPECT_TRUE(endsInTime(second.front())) << "let go once idle";
    EXPECT_EQ(worker.read(plain()).bytes, "on the share");
    EXPECT_EQ(helpersSince(before).size(), 1u);
}

TEST_F(StalledShare, CallersOnSeveralThreadsEachGetTheirOwnAnswer) {
    folder.write("other", "other file");
    ShareWorker worker(ShareWorker::kDefaultWait, hangingOnStalls());
    std::atomic<int> wrong = 0;
    auto readMany = [&](const std::string& name, const std::string& expected) {
        for (int i = 0; i < 200; ++i) {
            if (worker.read({folder / name, 100}).bytes != expected) ++wrong;
        }
    };
    std::thread first(readMany, "plain", "on the share");
    std::thread second(readMany, "other", "other file");
    first.join();
    second.join();
    EXPECT_EQ(wrong, 0);
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

// A helper stays in the folder it was made in; the caller may have moved.
TEST(ShareWorkers, ARelativeNameIsTheCallersFolderNow) {
    testing::TempFolder first, second;
    first.write("RInfo.txt", "first");
    second.write("RInfo.txt", "second");
    const std::filesystem::path home = std::filesystem::current_path();
    ShareWorker worker;
    std::filesystem::current_path(first.path());
    const std::string inFirst = worker.read({"RInfo.txt", 100}).bytes;
    std::filesystem::current_path(second.path());
    const std::string inSecond = worker.read({"RInfo.txt", 100}).bytes;
    std::filesystem::current_path(home);
    EXPECT_EQ(inFirst, "first");
    EXPECT_EQ(inSecond, "second");
}

}  // namespace
}  // namespace pelm
