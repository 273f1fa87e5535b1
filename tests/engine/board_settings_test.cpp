#include "engine/board_settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>

#include "engine/board_rules.h"
#include "platform/codepage.h"
#include "support/cp932_bytes.h"
#include "support/error_message.h"
#include "support/file_size_limit.h"
#include "support/temp_folder.h"

using pelm::testing::cp932Bytes;

namespace pelm {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

const std::vector<std::string> kAllKeys{"DataDir", "Logo",  "Setuzoku", "Taiki",
                                        "Font",    "Color", "Size"};

class BoardSettingsFile : public ::testing::Test {
protected:
    Cp932 boardPath() const { return settingsPath(utf8ToCp932(folder.path().string())); }
    void writeIni(std::string_view text) const { folder.write("PelmDp.ini", text); }
    std::string ini() const { return folder.read("PelmDp.ini"); }
    LoadedSettings load() const { return loadBoardSettings(boardPath()); }

    // Saving to `path` must fail with the board's message naming the file.
    static void expectCannotWrite(const Cp932& path) {
        EXPECT_EQ(
            testing::errorMessage([&] { saveBoardSettings(path, BoardSettings::defaults()); }),
            (path + utf8ToCp932(" に書き込めません")).bytes());
    }

    TempFolder folder;
};

TEST_F(BoardSettingsFile, WithoutAFileDefaultsApplyAndTheSaveWritesAllSevenKeys) {
    LoadedSettings loaded = load();
    EXPECT_EQ(loaded.defaulted, kAllKeys);
    EXPECT_EQ(loaded.settings.dataDir.bytes(), "C:\\Program Files\\Norvek\\Pelm");
    EXPECT_EQ(loaded.settings.color, 15429970);
    saveBoardSettings(boardPath(), loaded.settings);
    EXPECT_EQ(ini(), "[Env]\r\nDataDir=C:\\Program Files\\Norvek\\Pelm\r\nLogo=on\r\n" +
                         cp932Bytes("Setuzoku=未接続\r\nTaiki=待機中\r\n\r\n[Font]\r\n"
                                    "Font=ＭＳ Ｐ明朝\r\nSize=100\r\nColor=15429970\r\n"));
    EXPECT_TRUE(load().defaulted.empty());
}

TEST_F(BoardSettingsFile, ReadsTheValuesAsWritten) {
    writeIni("[Font]\r\nColor=0x0000FF\r\nSize=abc\r\n");
    EXPECT_EQ(load().settings.color, 255);
    EXPECT_EQ(load().settings.size, 100);
    EXPECT_EQ(load().defaulted,
              (std::vector<std::string>{"DataDir", "Logo", "Setuzoku", "Taiki", "Font", "Size"}));
    for (auto [logo, shows] : {std::pair{"on", true}, {"off", false}, {"On", false}, {"", false}}) {
        writeIni(std::string("[Env]\r\nLogo=") + logo + "\r\n");
        EXPECT_EQ(load().settings.logo.bytes(), logo);
        EXPECT_EQ(logoRequest(load().settings.logo).kind == LogoRequest::BuiltIn, shows) << logo;
    }
}

TEST_F(BoardSettingsFile, FirstOfDuplicatesWinsAndLongValuesAreCut) {
    writeIni("[Env]\nLogo=off\nLOGO=on\nDataDir=" + std::string(100 * 1024, 'd') +
             "\n[env]\nTaiki=x\n");
    LoadedSettings loaded = load();
    EXPECT_EQ(loaded.settings.logo.bytes(), "off");
    EXPECT_EQ(loaded.settings.dataDir.bytes(), std::string(2047, 'd'));
    EXPECT_EQ(loaded.settings.taiki, BoardSettings::defaults().taiki);
}

TEST_F(BoardSettingsFile, SaveKeepsEveryOtherLineByteForByte) {
    writeIni(
        "; Pelm board\n[Env]\nDataDir = D:\\race\n  ; operator's note\nExtra=keep me\n\n"
        "[Other]\nK=v\n[Font]\nColor=0x0000FF\nSize=90\n");
    saveBoardSettings(boardPath(), load().settings);
    EXPECT_EQ(ini(),
              "; Pelm board\n[Env]\nDataDir = D:\\race\n  ; operator's note\n"
              "Extra=keep me\nLogo=on\n" +
                  cp932Bytes("Setuzoku=未接続\nTaiki=待機中\n\n[Other]\nK=v\n[Font]\n"
                             "Color=255\nSize=90\nFont=ＭＳ Ｐ明朝\n"));
}

// FullScreen is optional: absent it neither counts as defaulted nor appears
// in the saved file; present it is read by the integer rule and kept.
TEST_F(BoardSettingsFile, FullScreenIsReadWhenPresentAndWrittenOnlyWhereItWas) {
    struct Case {
        const char* lines;
        int value;
        bool defaulted;
    };
    for (const Case& c : {Case{"", 0, false}, Case{"FullScreen=1\r\n", 1, false},
                          Case{"FullScreen=0\r\n", 0, false}, Case{"fullscreen= 2\r\n", 2, false},
                          Case{"FullScreen=yes\r\n", 0, true}}) {
        writeIni(std::string("[Env]\r\n") + c.lines);
        const LoadedSettings loaded = load();
        EXPECT_EQ(loaded.settings.fullScreen, c.value) << c.lines;
        EXPECT_EQ(loaded.settings.coversScreen(), c.value != 0) << c.lines;
        const bool listed = std::count(loaded.defaulted.begin(), loaded.defaulted.end(),
                                       std::string("FullScreen")) > 0;
        EXPECT_EQ(listed, c.defaulted) << c.lines;
        saveBoardSettings(boardPath(), loaded.settings);
        const bool written = ini().find("FullScreen=") != std::string::npos ||
                             ini().find("fullscreen=") != std::string::npos;
        EXPECT_EQ(written, *c.lines != '\0') << c.lines;
    }
    writeIni("[Env]\r\nFullScreen=1\r\n");
    BoardSettings settings = load().settings;
    settings.fullScreen = 0;
    saveBoardSettings(boardPath(), settings);
    EXPECT_EQ(load().settings.fullScreen, 0);
}

// The venue's keys are optional texts: absent they change nothing (the
// table stays in the data folder, a save writes the seven keys only);
// present they are read as they stand and kept through a save.
TEST_F(BoardSettingsFile, TheVenueFoldersAreReadWhenPresentAndWrittenOnlyWhereTheyWere) {
    const std::string table = cp932Bytes("D:\\表示\\table"), status = "\\\\server\\status";
    const std::string name = cp932Bytes("パドック");
    struct Case {
        std::string lines;
        std::string tableDir, statusDir, name;
    };
    for (const Case& c :
         {Case{"", "", "", ""}, Case{"TableDir=" + table + "\r\n", table, "", ""},
          Case{"StatusDir = " + status + "\r\nName=" + name + "\r\n", "", status, name},
          Case{"TableDir=" + table + "\r\nStatusDir=" + status + "\r\n", table, status, ""}}) {
        writeIni("[Env]\r\nDataDir=D:\\share\r\n" + c.lines);
        const LoadedSettings loaded = load();
        EXPECT_EQ(loaded.settings.tableDir.bytes(), c.tableDir) << c.lines;
        EXPECT_EQ(loaded.settings.statusDir.bytes(), c.statusDir) << c.lines;
        EXPECT_EQ(loaded.settings.name.bytes(), c.name) << c.lines;
        EXPECT_EQ(loaded.settings.raceTableFolder().bytes(),
                  c.tableDir.empty() ? "D:\\share" : c.tableDir);
        EXPECT_EQ(std::count(loaded.defaulted.begin(), loaded.defaulted.end(), "TableDir"), 0);
        EXPECT_EQ(std::count(loaded.defaulted.begin(), loaded.defaulted.end(), "StatusDir"), 0);
        saveBoardSettings(boardPath(), loaded.settings);
        EXPECT_EQ(ini().find("TableDir") != std::string::npos, !c.tableDir.empty()) << ini();
        EXPECT_EQ(ini().find("StatusDir") != std::string::npos, !c.statusDir.empty()) << ini();
        EXPECT_EQ(load().settings.tableDir.bytes(), c.tableDir) << "kept through the save";
        EXPECT_EQ(load().settings.name.bytes(), c.name) << "kept through the save";
    }
}

TEST_F(BoardSettingsFile, ShiftJisValuesRoundTrip) {
    BoardSettings settings = BoardSettings::defaults();
    settings.dataDir = utf8ToCp932("D:\\表示\\ソフト");  // second bytes 0x5C, like "\"
    settings.setuzoku = utf8ToCp932("回線断～");
    settings.font = utf8ToCp932("ＭＳ Ｐゴシック");
    settings.color = -1;
    saveBoardSettings(boardPath(), settings);
    BoardSettings loaded = load().settings;
    EXPECT_EQ(loaded.dataDir, settings.dataDir);
    EXPECT_EQ(loaded.setuzoku, settings.setuzoku);
    EXPECT_EQ(loaded.font, settings.font);
    EXPECT_EQ(loaded.color, -1);
}

// Tests run as root, whom permission bits do not stop; each case here fails
// for root as well: the folder is a file, the settings file is a folder, or
// the disk takes no more bytes.
TEST_F(BoardSettingsFile, FailedSaveNamesTheFileAndLeavesWhatWasThere) {
    folder.write("plain", "not a folder");
    expectCannotWrite(settingsPath(utf8ToCp932(folder / "plain")));
    EXPECT_EQ(folder.read("plain"), "not a folder");

    fs::create_directory(folder.path() / "PelmDp.ini");
    expectCannotWrite(boardPath());
    EXPECT_TRUE(fs::is_directory(folder.path() / "PelmDp.ini"));
}

TEST_F(BoardSettingsFile, AReadOnlySettingsFileIsNotReplaced) {
    writeIni("[Env]\r\nLogo=off\r\n");
    fs::permissions(folder.path() / "PelmDp.ini", fs::perms::owner_read | fs::perms::group_read);
    expectCannotWrite(boardPath());
    EXPECT_EQ(ini(), "[Env]\r\nLogo=off\r\n");
    fs::permissions(folder.path() / "PelmDp.ini", fs::perms::owner_write, fs::perm_options::add);
    saveBoardSettings(boardPath(), BoardSettings::defaults());
    EXPECT_EQ(load().defaulted, std::vector<std::string>{});
}

TEST_F(BoardSettingsFile, SaveCutOffByAFullDiskLeavesTheOldFile) {
    writeIni("[Env]\r\nLogo=off\r\n");
    GTEST_FLAG_SET(death_test_style, "fast");  // the child must see this folder
    EXPECT_EXIT(
        {
            testing::limitFileSize(32);
            expectCannotWrite(boardPath());
            _exit(::testing::Test::HasFailure() ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(ini(), "[Env]\r\nLogo=off\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), {}), 1);
}

TEST(ProfileInt, FollowsTheProfileIntegerRule) {
    const int fallback = -999;
    const std::pair<const char*, int> cases[] = {
        {"$ff", 255},
        {"x10", 16},
        {"-0x10", -16},
        {" 42", 42},
        {"42 ", fallback},
        {"", fallback},
        {"4294967296", fallback},
        {"0x123456789", fallback},
        {"+7", 7},
        {"0X1f", 31},
        {"  -$1A", -26},
        {"0xFFFFFFFF", -1},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"2147483648", fallback},
        {"0x", fallback},
        {"-", fallback},
        {"\t5", fallback},
        {"1 2", fallback},
        {"--1", fallback},
        {"0012", 12},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(profileInt(text, fallback), expected) << '"' << text << '"';
    }
}

}  // namespace
}  // namespace pelm
