// Reading a folder other users can write, on a share that may freeze: links
// and FIFOs are never followed, and a read that hangs is given up.

#include "platform/untrusted_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <future>

#include "support/temp_folder.h"

namespace pelm {
namespace {

using testing::TempFolder;
using namespace std::chrono_literals;

TEST(UntrustedFolder, OnlyRegularFilesAreReadNeverALinkOrAFifo) {
    TempFolder venue, home;
    home.write("secret", "mine");
    venue.write("a.json", "{}");
    std::filesystem::create_symlink(home / "secret", venue / "b.json");
    ASSERT_EQ(mkfifo((venue / "c.json").c_str(), 0600), 0);

    const auto names = listFolder(venue.path().string(), ".json");
    ASSERT_TRUE(names);
    EXPECT_EQ(*names, (std::vector<std::string>{"a.json", "b.json", "c.json"}));
    EXPECT_EQ(readUntrustedFile(venue / "a.json", 100), "{}");
    EXPECT_FALSE(readUntrustedFile(venue / "b.json", 100));
    EXPECT_FALSE(readUntrustedFile(venue / "c.json", 100)) << "and without waiting for a writer";
    EXPECT_FALSE(readUntrustedFile(venue / "a.json", 100, getuid() + 1)) << "another owner's";
}

// The reads block until the test lets them go, long after the deadline.
TEST(UntrustedFolder, AFrozenFolderIsGivenUpNamingWhatDidNotAnswer) {
    std::promise<void> thaw;
    std::shared_future<void> thawed = thaw.get_future().share();
    FolderAccess access{
        [](const std::string&) {
            return std::optional<std::vector<std::string>>({"a.json", "b.json", "c.json"});
        },
        [thawed](const std::string& path) -> std::optional<std::string> {
            if (path.ends_with("/b.json")) thawed.wait();
            return "bytes of " + path;
        }};
    const FolderSnapshot partial = readFolderWithin("/venue", 50ms, access);
    EXPECT_TRUE(partial.listed);
    EXPECT_FALSE(partial.complete);
    ASSERT_EQ(partial.files.size(), 1u);
    EXPECT_EQ(partial.files[0].first, "a.json");
    EXPECT_EQ(partial.unanswered, (std::vector<std::string>{"b.json", "c.json"}));

    FolderAccess frozenListing{[thawed](const std::string&) {
                                   thawed.wait();
                                   return std::optional<std::vector<std::string>>();
                               },
                               access.read};
    const FolderSnapshot none = readFolderWithin("/venue", 50ms, frozenListing);
    EXPECT_FALSE(none.listed);
    EXPECT_FALSE(none.complete);
    thaw.set_value();  // the threads left behind finish on their own
}

}  // namespace
}  // namespace pelm
