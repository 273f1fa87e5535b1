// One board per race table: the lock beside the table file refuses a second
// holder, names the first, and passes on as soon as the first lets go.

#include "platform/folder_lock.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QString>
#include <QSysInfo>
#include <filesystem>

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

}  // namespace
}  // namespace pelm
