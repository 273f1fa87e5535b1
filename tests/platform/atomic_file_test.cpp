// Replacing a file in a folder other users can write: whatever they planted
// at the name is replaced, and nothing is ever written through it.

#include "platform/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/untrusted_folder.h"
#include "support/temp_folder.h"

namespace pelm {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

constexpr uid_t kOtherUser = 65534;

std::vector<std::string> namesIn(const TempFolder& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ReplaceFile, ALinkAtTheNameIsReplacedItselfAndItsTargetNeverWritten) {
    TempFolder shared, home;
    home.write(".bashrc", "alias ll='ls -l'\n");
    fs::create_symlink(home / ".bashrc", shared / "kiosk-1.json");

    std::string displaced;
    ASSERT_TRUE(replaceFileAtomically(shared / "kiosk-1.json", "{\"title\": \"$(id)\"}",
                                      Durability::Visible, &displaced));
    EXPECT_EQ(home.read(".bashrc"), "alias ll='ls -l'\n");
    EXPECT_FALSE(fs::is_symlink(shared / "kiosk-1.json"));
    EXPECT_EQ(shared.read("kiosk-1.json"), "{\"title\": \"$(id)\"}");
    EXPECT_NE(displaced.find("symbolic link to " + home / ".bashrc"), std::string::npos)
        << displaced;
    EXPECT_EQ(namesIn(shared), std::vector<std::string>{"kiosk-1.json"}) << "no temporary left";

    ASSERT_TRUE(
        replaceFileAtomically(shared / "kiosk-1.json", "{}", Durability::Visible, &displaced));
    EXPECT_EQ(displaced, "") << "the board's own file is nothing to report";
}

// The settings may live elsewhere behind a link, but only the user's own
// link to the user's own file is followed.
TEST(ReplaceFile, AnotherUsersFileOrLinkIsNeverWrittenThrough) {
    if (geteuid() != 0) GTEST_SKIP() << "needs a second user: run as root";
    TempFolder shared, home;
    shared.write("planted.json", "theirs");
    ASSERT_EQ(chown((shared / "planted.json").c_str(), kOtherUser, kOtherUser), 0);
    std::string displaced;
    ASSERT_TRUE(
        replaceFileAtomically(shared / "planted.json", "ours", Durability::Visible, &displaced));
    EXPECT_EQ(shared.read("planted.json"), "ours");
    EXPECT_NE(displaced.find("a file of user " + userName(kOtherUser)), std::string::npos)
        << displaced;

    home.write("PelmDp.ini", "[Env]\n");
    fs::create_symlink(home / "PelmDp.ini", shared / "PelmDp.ini");
    ASSERT_EQ(lchown((shared / "PelmDp.ini").c_str(), kOtherUser, kOtherUser), 0);
    EXPECT_FALSE(replaceOwnFileAtomically(shared / "PelmDp.ini", "[Env]\nDataDir=x\n"));
    EXPECT_EQ(home.read("PelmDp.ini"), "[Env]\n");
    EXPECT_TRUE(fs::is_symlink(shared / "PelmDp.ini"));
}

}  // namespace
}  // namespace pelm
