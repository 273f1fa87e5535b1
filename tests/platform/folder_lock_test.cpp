// One board per race table: the lock beside the table file refuses a second
// holder, names the first, and passes on as soon as the first lets go.

#include "platform/folder_lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QString>
#include <QSysInfo>
#include <filesystem>

#include "platform/untrusted_folder.h"
#include "support/dead_process.h"
#include "support/error_message.h"
#include "support/temp_folder.h"

namespace pelm {
namespace {

TEST(FolderLock, RefusesASecondHolderNamesTheFirstAndPassesOnWhenReleased) {
    testing::TempFolder folder;
    const std::string path = folder.path().string();
    std::optional<FolderLock> first = FolderLock::tryTake(path);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->path(), path + "/pelm-board.lock");

    LockHolder holder;
    EXPECT_FALSE(FolderLock::tryTake(path, &holder))
        << "a second open file of the same process too";
    EXPECT_EQ(holder.pid, static_cast<long>(getpid()));
    EXPECT_EQ(holder.host, QSysInfo::machineHostName().toStdString());

    FolderLock moved = std::move(*first);
    first.reset();
    EXPECT_FALSE(FolderLock::tryTake(path)) << "moving the lock keeps it held";

    { FolderLock gone = std::move(moved); }
    EXPECT_TRUE(FolderLock::tryTake(path)) << "released with its last owner";
    EXPECT_TRUE(std::filesystem::exists(path + "/pelm-board.lock"))
        << "the file stays for the next";
}

TEST(FolderLock, AFolderThatCannotHoldTheFileIsAnErrorNamingIt) {
    testing::TempFolder folder;
    const std::string missing = (folder.path() / "not-mounted").string();
    const std::string message = testing::errorMessage([&] { FolderLock::tryTake(missing); });
    EXPECT_NE(message.find(missing + "/pelm-board.lock"), std::string::npos) << message;
}

TEST(FolderLock, ALinkOrAnythingButARegularFileAtTheNameIsRefusedNothingWrittenThroughIt) {
    testing::TempFolder folder, home;
    const std::string path = folder.path().string();
    const std::string name = folder / "pelm-board.lock";
    home.write(".bashrc", "alias ll='ls -l'\n");
    std::filesystem::create_symlink(home / ".bashrc", name);
    std::string message = testing::errorMessage([&] { FolderLock::tryTake(path); });
    EXPECT_NE(message.find(name), std::string::npos) << message;
    EXPECT_NE(message.find("symbolic link"), std::string::npos) << message;
    EXPECT_EQ(home.read(".bashrc"), "alias ll='ls -l'\n");

    std::filesystem::remove(name);
    std::filesystem::create_symlink(home / "not-yet", name);
    testing::errorMessage([&] { FolderLock::tryTake(path); });
    EXPECT_FALSE(std::filesystem::exists(home / "not-yet")) << "a dangling link makes no file";

    std::filesystem::remove(name);
    ASSERT_EQ(mkfifo(name.c_str(), 0600), 0);
    message = testing::errorMessage([&] { FolderLock::tryTake(path); });
    EXPECT_NE(message.find("FIFO"), std::string::npos) << message;

    std::filesystem::remove(name);
    std::filesystem::create_directory(name);
    message = testing::errorMessage([&] { FolderLock::tryTake(path); });
    EXPECT_NE(message.find(name), std::string::npos) << message;
}

TEST(FolderLock, AStaleFileIsTakenAndOnlyALiveHolderIsNamed) {
    testing::TempFolder folder;
    const std::string path = folder.path().string();
    const std::string host = QSysInfo::machineHostName().toStdString();
    const std::string dead = std::to_string(testing::deadProcess()) + " " + host + "\n";
    folder.write("pelm-board.lock", dead);
    std::optional<FolderLock> taken = FolderLock::tryTake(path);
    ASSERT_TRUE(taken);
    LockHolder holder;
    EXPECT_FALSE(FolderLock::tryTake(path, &holder));
    EXPECT_EQ(holder.pid, static_cast<long>(getpid()));

    // A holder that has not yet written its own name leaves the old text.
    folder.write("pelm-board.lock", dead);
    EXPECT_FALSE(FolderLock::tryTake(path, &holder));
    EXPECT_EQ(holder.pid, 0) << "a process that is gone holds nothing";
}

TEST(FolderLock, AnotherUsersFileIsTakenOverWhenFreeAndOnlyItsOwnerNamedWhenHeld) {
    if (geteuid() != 0) GTEST_SKIP() << "needs a second user: run as root";
    constexpr uid_t kOtherUser = 65534;
    testing::TempFolder folder;
    const std::string path = folder.path().string();
    const std::string name = folder / "pelm-board.lock";
    folder.write("pelm-board.lock", std::to_string(getppid()) + " elsewhere\n");
    ASSERT_EQ(chown(name.c_str(), kOtherUser, kOtherUser), 0);
    {
        std::optional<FolderLock> taken = FolderLock::tryTake(path);
        ASSERT_TRUE(taken);
        struct stat status {};
        ASSERT_EQ(lstat(name.c_str(), &status), 0);
        EXPECT_EQ(status.st_uid, geteuid());
        EXPECT_EQ(folder.read("pelm-board.lock").rfind(std::to_string(getpid()) + " ", 0), 0u);
    }

    // Held by someone, its text is anybody's word: name the owner only.
    ASSERT_EQ(chown(name.c_str(), kOtherUser, kOtherUser), 0);
    const int fd = open(name.c_str(), O_RDWR);
    struct flock region {};
    region.l_type = F_WRLCK;
    ASSERT_EQ(fcntl(fd, F_OFD_SETLK, &region), 0);
    LockHolder holder;
    EXPECT_FALSE(FolderLock::tryTake(path, &holder));
    EXPECT_EQ(holder.owner, userName(kOtherUser));
    EXPECT_EQ(holder.pid, 0);
    close(fd);
}

}  // namespace
}  // namespace pelm
