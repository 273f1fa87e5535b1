// The save at close keeps what was deployed while the board ran, and the
// load brings the clock size into range.

#include "engine/settings_keeper.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <filesystem>
#include <optional>

#include "platform/codepage.h"
#include "support/cp932_bytes.h"
#include "support/temp_folder.h"

using pelm::testing::cp932Bytes;

namespace pelm {
namespace {

namespace fs = std::filesystem;

const std::string kAllSevenDefaults =
    "[Env]\r\nDataDir=C:\\Program Files\\Norvek\\Pelm\r\nLogo=on\r\n" +
    cp932Bytes(
        "Setuzoku=未接続\r\nTaiki=待機中\r\n\r\n[Font]\r\nFont=ＭＳ Ｐ明朝\r\n"
        "Size=100\r\nColor=15429970\r\n");

// One run of the board: the file at start (nothing: missing), what the
// operator changed through the menus, the file on disk at close, and the
// file the save must leave.
struct BoardRun {
    const char* name;
    std::optional<std::string> atStart;
    std::optional<std::string> atClose;
    std::string expected;
    int operatorSize = 0;                // the font dialog's size, 0: not used
    const char* operatorLogo = nullptr;  // the picture menu's choice
};

const BoardRun kRuns[] = {
    {"a key changed on disk keeps the disk's value",
     "[Env]\r\nDataDir=D:\\a\r\n[Font]\r\nSize=80\r\n",
     "[Env]\r\nDataDir=E:\\b\r\n[Font]\r\nSize=80\r\n",
     "[Env]\r\nDataDir=E:\\b\r\nLogo=on\r\n" +
         cp932Bytes(
             "Setuzoku=未接続\r\nTaiki=待機中\r\n[Font]\r\nSize=80\r\nFont=ＭＳ Ｐ明朝\r\n") +
         "Color=15429970\r\n"},
    {"a key the operator changed wins over the disk", "[Font]\r\nSize=80\r\n[Env]\r\nLogo=on\r\n",
     "[Font]\r\nSize=50\r\n[Env]\r\nLogo=off\r\n",
     "[Font]\r\nSize=72\r\n" + cp932Bytes("Font=ＭＳ Ｐ明朝\r\n") + "Color=15429970\r\n" +
         "[Env]\r\nLogo=/srv/logo.bmp\r\nDataDir=C:\\Program Files\\Norvek\\Pelm\r\n" +
         cp932Bytes("Setuzoku=未接続\r\nTaiki=待機中\r\n"),
     72, "/srv/logo.bmp"},
    {"a key removed on disk stays removed", "[Env]\r\nDataDir=D:\\a\r\nTaiki=wait\r\n",
     "[Env]\r\nDataDir=D:\\a\r\n",
     "[Env]\r\nDataDir=D:\\a\r\nLogo=on\r\n" + cp932Bytes("Setuzoku=未接続\r\n") +
         "\r\n[Font]\r\n" + cp932Bytes("Font=ＭＳ Ｐ明朝\r\n") + "Size=100\r\nColor=15429970\r\n"},
    {"every other line is kept, the disk's new ones included",
     "; venue 1\r\n[Env]\r\nTaiki=wait\r\nExtra=1\r\n",
     "; venue 1, deployed again\r\n[Env]\r\nTaiki=please wait\r\nExtra=2\r\n[Other]\r\nK=v\r\n",
     "; venue 1, deployed again\r\n[Env]\r\nTaiki=please wait\r\nExtra=2\r\n"
     "DataDir=C:\\Program Files\\Norvek\\Pelm\r\nLogo=on\r\n" +
         cp932Bytes("Setuzoku=未接続\r\n") + "[Other]\r\nK=v\r\n\r\n[Font]\r\n" +
         cp932Bytes("Font=ＭＳ Ｐ明朝\r\n") + "Size=100\r\nColor=15429970\r\n"},
    {"a file deployed during the run is kept whole", std::nullopt,
     "; deployed\r\n[Env]\r\nDataDir=D:\\race\r\n", "; deployed\r\n[Env]\r\nDataDir=D:\\race\r\n"},
    {"a file deployed during the run takes only the operator's change", std::nullopt,
     "[Env]\r\nDataDir=D:\\race\r\n", "[Env]\r\nDataDir=D:\\race\r\nLogo=off\r\n", 0, "off"},
    {"a file missing at start and at close gets all seven keys", std::nullopt, std::nullopt,
     kAllSevenDefaults},
    {"a file gone during the run is written whole again", "[Env]\r\nLogo=off\r\n", std::nullopt,
     "[Env]\r\nDataDir=C:\\Program Files\\Norvek\\Pelm\r\nLogo=off\r\n" +
         cp932Bytes("Setuzoku=未接続\r\nTaiki=待機中\r\n\r\n[Font]\r\nFont=ＭＳ Ｐ明朝\r\n"
                    "Size=100\r\nColor=15429970\r\n")},
};

void PrintTo(const BoardRun& run, std::ostream* out) {
    *out << run.name;
}

class SettingsKeeperRun : public ::testing::TestWithParam<BoardRun> {
protected:
    void place(const std::optional<std::string>& text) const {
        if (text)
            folder.write("PelmDp.ini", *text);
        else
            fs::remove(folder.path() / "PelmDp.ini");
    }
    Cp932 path() const { return settingsPath(utf8ToCp932(folder.path().string())); }

    testing::TempFolder folder;
};

TEST_P(SettingsKeeperRun, LeavesTheFileExpected) {
    const BoardRun& run = GetParam();
    place(run.atStart);
    SettingsKeeper keeper;
    keeper.load(path());
    if (run.operatorSize) {
        keeper.settings().size = run.operatorSize;
        for (SettingKey key : {SettingKey::Font, SettingKey::Size, SettingKey::Color})
            keeper.touch(key);
    }
    if (run.operatorLogo) {
        keeper.settings().logo = Cp932(run.operatorLogo);
        keeper.touch(SettingKey::Logo);
    }
    place(run.atClose);
    keeper.save();
    EXPECT_EQ(folder.read("PelmDp.ini"), run.expected);
}

INSTANTIATE_TEST_SUITE_P(AtClose, SettingsKeeperRun, ::testing::ValuesIn(kRuns),
                         [](const auto& info) { return "Run" + std::to_string(info.index); });

ino_t inode(const fs::path& path) {
    struct stat status {};
    stat(path.c_str(), &status);
    return status.st_ino;
}

// An atomic save puts a new file in place; a save with nothing to change
// leaves the very file that was there.
TEST(SettingsKeeper, AnUnchangedFileIsNotRewritten) {
    testing::TempFolder folder;
    folder.write("PelmDp.ini", kAllSevenDefaults);
    const ino_t before = inode(folder.path() / "PelmDp.ini");
    SettingsKeeper keeper;
    keeper.load(settingsPath(utf8ToCp932(folder.path().string())));
    keeper.save();
    EXPECT_EQ(inode(folder.path() / "PelmDp.ini"), before);
    keeper.settings().size = 72;
    keeper.touch(SettingKey::Size);
    keeper.save();
    EXPECT_NE(inode(folder.path() / "PelmDp.ini"), before);
}

// A board closed before its first showing read no file and writes none; the
// load starts the run, so a menu used before it changed nothing on disk.
TEST(SettingsKeeper, TheLoadStartsTheRun) {
    testing::TempFolder folder;
    const Cp932 path = settingsPath(utf8ToCp932(folder.path().string()));
    SettingsKeeper keeper;
    EXPECT_EQ(keeper.settings().font, BoardSettings::defaults().font);
    keeper.touch(SettingKey::Size);
    const std::filesystem::path working = std::filesystem::current_path();
    std::filesystem::current_path(folder.path());  // where a board's settings file would be
    keeper.save();
    std::filesystem::current_path(working);
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "PelmDp.ini"));

    folder.write("PelmDp.ini", "[Font]\r\nSize=80\r\n");
    EXPECT_EQ(keeper.load(path).settings.size, 80);
    EXPECT_EQ(keeper.settings().size, 80);
    folder.write("PelmDp.ini", "[Font]\r\nSize=50\r\n");
    keeper.save();
    EXPECT_NE(folder.read("PelmDp.ini").find("Size=50"), std::string::npos);
}

// Every size not taken as written says so: a typo or an absurd number
// would otherwise quietly give a clock of another size, or none at all.
TEST(ClockSize, IsBroughtIntoRangeWithAWarning) {
    const int most = kMaxClockPoints;
    const std::string mostText = std::to_string(most), beyond = std::to_string(most + 1);
    const struct {
        const char* text;
        int size;
        bool warned;
    } cases[] = {
        {"1", 1, false},          {mostText.c_str(), most, false},
        {"abc", 100, true},       {"99999999999", 100, true},
        {"0", 1, true},           {"-120", 1, true},
        {"-2147483648", 1, true}, {beyond.c_str(), most, true},
        {"500", most, true},      {"0x7FFFFFFF", most, true},
        {"0x80000000", 1, true},
    };
    testing::TempFolder folder;
    for (const auto& test : cases) {
        folder.write("PelmDp.ini", std::string("[Font]\r\nSize=") + test.text + "\r\n");
        const LoadedSettings loaded =
            loadBoardSettings(settingsPath(utf8ToCp932(folder.path().string())));
        EXPECT_EQ(loaded.settings.size, test.size) << test.text;
        EXPECT_EQ(loaded.warnings.size(), test.warned ? 1u : 0u) << test.text;
    }
    EXPECT_EQ(clockPointsInRange(INT_MIN), kMinClockPoints);
    EXPECT_EQ(clockPointsInRange(INT_MAX), kMaxClockPoints);
}

}  // namespace
}  // namespace pelm
