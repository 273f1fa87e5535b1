// Reading a folder other users can write: links and FIFOs are never
// followed.

#include "platform/untrusted_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/temp_folder.h"

namespace pelm {
namespace {

using testing::TempFolder;

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

}  // namespace
}  // namespace pelm
