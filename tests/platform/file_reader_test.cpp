// Reads that never block: whatever stands in a file's place, the reader
// comes back at once.

#include "platform/file_reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/ini_file.h"
#include "platform/text_file.h"
#include "support/finishes_in_time.h"
#include "support/temp_folder.h"

namespace pelm {
namespace {

using Status = FileBytes::Status;

using testing::finishesInTime;

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

}  // namespace
}  // namespace pelm
