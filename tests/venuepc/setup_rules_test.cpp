// The rules setup decides by before it changes anything: how the board
// starts at login in this session, and whether others can write the
// board's folder.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <variant>

#include "support/temp_folder.h"
#include "venuepc/folder_safety.h"
#include "venuepc/login_way.h"

namespace pelm::pc {
namespace {

TEST(LoginWay, TheUnitWhereTheSessionReachesItsTargetElseTheAutostartEntry) {
    const SessionFacts gnome{true, true, true, true, true, true};
    const struct {
        const char* session;
        SessionFacts facts;
        std::optional<LoginWay> way;  // nothing: refused
    } cases[] = {
        {"GNOME", gnome, LoginWay::Unit},
        {"target reached, display not handed over",
         {true, true, true, false, true, true},
         LoginWay::UnitWithDisplay},
        {"Xfce: no target", {true, true, false, true, true, true}, LoginWay::Autostart},
        {"no user manager", {true, false, false, false, false, true}, LoginWay::Autostart},
        {"no display", {false, true, true, true, true, true}, std::nullopt},
        {"no target, no autostart entry", {true, true, false, true, true, false}, std::nullopt},
        {"no package", {true, true, true, true, false, false}, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto way = chooseLoginWay(c.facts);
        if (c.way)
            EXPECT_EQ(std::get<LoginWay>(way), *c.way) << c.session;
        else
            EXPECT_TRUE(std::holds_alternative<std::string>(way)) << c.session;
    }
}

TEST(FolderSafety, OnlyItsOwnerWritesTheBoardsFolderOrAFolderAboveIt) {
    testing::TempFolder base;
    chmod(base.path().c_str(), 0755);
    const auto folder = [&](const std::string& name, mode_t mode) {
        std::filesystem::create_directories(base.path() / name);
        chmod((base.path() / name).c_str(), mode);
        return base.path() / name;
    };
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    EXPECT_EQ(othersCanWrite(folder("private", 0755), uid, gid), std::nullopt);
    EXPECT_EQ(othersCanWrite(base.path() / "private/not/yet", uid, gid), std::nullopt);
    EXPECT_TRUE(othersCanWrite(folder("open", 0777), uid, gid));
    EXPECT_TRUE(othersCanWrite(folder("open/inside", 0755), uid, gid));
    EXPECT_EQ(othersCanWrite(folder("sticky/inside", 0755), uid, gid), std::nullopt);
    chmod((base.path() / "sticky").c_str(), 01777);
    EXPECT_EQ(othersCanWrite(base.path() / "sticky/inside", uid, gid), std::nullopt);
    EXPECT_TRUE(othersCanWrite(base.path() / "sticky", uid, gid));
    const auto foreign = folder("foreign", 0755);
    ASSERT_EQ(chown(foreign.c_str(), 4242, 4242), 0);
    EXPECT_TRUE(othersCanWrite(foreign, uid == 0 ? 1000 : uid, gid));
}

}  // namespace
}  // namespace pelm::pc
