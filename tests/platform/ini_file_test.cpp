#include "platform/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "platform/codepage.h"
#include "support/cp932_bytes.h"
#include "support/file_size_limit.h"
#include "support/temp_folder.h"

using pelm::testing::cp932Bytes;

namespace pelm {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

IniFile iniOf(const TempFolder& folder, std::string_view text) {
    folder.write("t.ini", text);
    return IniFile::load(folder / "t.ini");
}

std::vector<std::string> namesIn(const TempFolder& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder.path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The bytes of a value read, nothing for a missing one.
std::optional<std::string> bytesOf(const std::optional<Cp932>& value) {
    if (!value) return std::nullopt;
    return value->bytes();
}

struct ReadCase {
    const char* what;
    std::string text, section, key;
    std::optional<std::string> expected;
};

TEST(IniFileValue, ReadsAsTheProfileServicesDo) {
    const std::string a = cp932Bytes("ア"), di = cp932Bytes("ヂ"), zo = cp932Bytes("ゾーン");
    const ReadCase cases[] = {
        {"names ignore case", "[env]\r\nDATADIR=x\r\n", "Env", "DataDir", "x"},
        {"blanks around names and values", " \t[ Env ] \r\n\t A \t=  a b \t\r\n", "Env", "A",
         "a b"},
        {"double quotes dropped", "[Env]\nA=\"a b\"\n", "Env", "A", "a b"},
        {"single quotes dropped", "[Env]\nA='x'\n", "Env", "A", "x"},
        {"unmatched quotes kept", "[Env]\nA=\"x'\n", "Env", "A", "\"x'"},
        {"first of duplicate keys", "[Env]\nA=1\na=2\n", "Env", "A", "1"},
        {"first of duplicate sections", "[Env]\nA=1\n[ENV]\nA=2\n", "Env", "A", "1"},
        {"later duplicate section unseen", "[Env]\nA=1\n[ENV]\nB=2\n", "Env", "B", std::nullopt},
        {"line without = is no key", "[Env]\nA\nA=2\n", "Env", "A", "2"},
        {"comment is no key", "[Env]\n;A=1\n", "Env", ";A", std::nullopt},
        {"key before any section", "A=1\n[Env]\n", "Env", "A", std::nullopt},
        {"empty value", "[Env]\nA=\n", "Env", "A", ""},
        {"= inside the value", "[Env]\nA=b=c\n", "Env", "A", "b=c"},
        {"lone CR and LF breaks", "[Env]\rA=1\nB=2\r\nC=3", "Env", "C", "3"},
        {"section without ]", "[Env\nA=1\n", "Env", "A", "1"},
        {"missing section", "[Env]\nA=1\n", "Font", "A", std::nullopt},
        {"trail byte is no letter", "[" + a + "]\nK=v\n", di, "K", std::nullopt},
        {"trail byte is no bracket", "[" + zo + "]\nK=v\n", zo, "K", "v"},
    };
    TempFolder folder;
    for (const ReadCase& c : cases) {
        EXPECT_EQ(bytesOf(iniOf(folder, c.text).value(c.section, c.key)), c.expected) << c.what;
    }
    EXPECT_FALSE(iniOf(folder, "").value("Env", "A"));
}

TEST(IniFileValue, IsCutTo2047BytesWithoutSplittingACharacter) {
    const std::string hyo = cp932Bytes("表");
    std::string doubleBytes;
    for (int i = 0; i < 1024; ++i) doubleBytes += hyo;
    const std::pair<std::string, size_t> cases[] = {
        {std::string(2047, 'a'), 2047},
        {std::string(2048, 'a'), 2047},
        {std::string(100 * 1024, 'a'), 2047},
        {"a" + doubleBytes, 2047},  // the cut falls after a whole character
        {doubleBytes, 2046},        // the cut would keep half of the last one
    };
    TempFolder folder;
    for (const auto& [value, length] : cases) {
        IniFile file = iniOf(folder, "[Env]\r\nA=" + value + "\r\n");
        EXPECT_EQ(bytesOf(file.value("Env", "A")), value.substr(0, length)) << value.size();
        EXPECT_EQ(file.text(), "[Env]\r\nA=" + value + "\r\n");
    }
}

TEST(IniFile, ListsSectionsAndEntriesOncePerName) {
    TempFolder folder;
    IniFile file = iniOf(folder, "[Env]\nA=1\n;c=0\nB\na=2\nC = \"3\"\n[Font]\n[env]\nD=4\n");
    using Entries = std::vector<std::pair<std::string, Cp932>>;
    EXPECT_EQ(file.entries("ENV"), (Entries{{"A", cp932Ascii("1")}, {"C", cp932Ascii("3")}}));
    EXPECT_EQ(file.sections(), (std::vector<std::string>{"Env", "Font"}));
    EXPECT_TRUE(file.entries("Other").empty());
}

TEST(IniFile, GarbageBytesSurviveAndTheFileStaysWritable) {
    std::mt19937 random(5);
    const std::string alphabet("[]=; \t\r\n\0aZ\x81\x5D\x83\xFF\x7F", 16);
    TempFolder folder;
    for (int round = 0; round < 20; ++round) {
        std::string garbage;
        for (int i = 0; i < 4096; ++i) garbage += alphabet[random() % alphabet.size()];
        IniFile file = iniOf(folder, garbage);
        EXPECT_EQ(file.text(), garbage);
        file.setValue("Env", "DataDir", cp932Ascii("x"));
        EXPECT_EQ(file.value("Env", "DataDir"), cp932Ascii("x"));
    }
}

struct WriteCase {
    const char* what;
    std::string before, section, key, value, after;
};

TEST(IniFileSetValue, ChangesOnlyWhatItMust) {
    const WriteCase cases[] = {
        {"replaced in place", "[env]\r\n  dataDIR = old \r\nX=1\r\n", "Env", "DataDir", "new",
         "[env]\r\n  dataDIR = new\r\nX=1\r\n"},
        {"appended after the last key", "[Env]\nA=1\n\n; font\n[Font]\nF=2\n", "Env", "B", "3",
         "[Env]\nA=1\nB=3\n\n; font\n[Font]\nF=2\n"},
        {"appended after a bare header", "[Env]\r\n[Font]\r\n", "Env", "A", "1",
         "[Env]\r\nA=1\r\n[Font]\r\n"},
        {"new section, file without last break", "[Env]\nA=1", "Font", "F", "x",
         "[Env]\nA=1\n\n[Font]\nF=x\n"},
        {"empty file", "", "Env", "A", "1", "[Env]\r\nA=1\r\n"},
        {"lone CR breaks kept", "[Env]\rA=1\r", "Env", "B", "2", "[Env]\rA=1\rB=2\r"},
        {"first of duplicate sections", "[Env]\nA=1\n[Env]\nB=2\n", "Env", "B", "3",
         "[Env]\nA=1\nB=3\n[Env]\nB=2\n"},
        {"line break in the value cut", "", "Env", "A", "x\r\n[Bad]", "[Env]\r\nA=x\r\n"},
        {"blanks at the ends quoted", "[Env]\nA=1\n", "Env", "A", " a ", "[Env]\nA=\" a \"\n"},
        {"enclosing quotes quoted", "[Env]\nA=1\n", "Env", "A", "'a'", "[Env]\nA=\"'a'\"\n"},
        {"inner quotes kept", "[Env]\nA=1\n", "Env", "A", "a\"b", "[Env]\nA=a\"b\n"},
    };
    TempFolder folder;
    for (const WriteCase& c : cases) {
        IniFile file = iniOf(folder, c.before);
        file.setValue(c.section, c.key, Cp932(c.value));
        EXPECT_EQ(file.text(), c.after) << c.what;
        EXPECT_EQ(bytesOf(file.value(c.section, c.key)), c.value.substr(0, c.value.find('\r')))
            << c.what;
    }
}

TEST(IniFileLoad, MissingFileIsEmptyAndAnUnreadableOneRefusesUpdates) {
    TempFolder folder;
    fs::create_directory(folder.path() / "dir");
    EXPECT_EQ(IniFile::loadForUpdate(folder / "missing.ini")->text(), "");
    EXPECT_EQ(IniFile::loadForUpdate(folder / "missing.ini/below")->text(), "");
    EXPECT_FALSE(IniFile::loadForUpdate(folder / "dir").has_value());
    EXPECT_EQ(IniFile::load(folder / "dir").text(), "");
}

TEST(IniFileSave, ReplacesTheFileKeepingPermissionsAndLinks) {
    TempFolder folder;
    fs::create_directory(folder.path() / "real");
    folder.write("real/t.ini", "old");
    chmod((folder / "real/t.ini").c_str(), 0640);
    fs::create_symlink(folder / "real/t.ini", folder / "link.ini");
    IniFile file = iniOf(folder, "[Env]\r\nA=1\r\n");
    ASSERT_TRUE(file.saveAtomically(folder / "link.ini"));
    EXPECT_TRUE(fs::is_symlink(folder / "link.ini"));
    EXPECT_EQ(folder.read("real/t.ini"), "[Env]\r\nA=1\r\n");
    EXPECT_EQ(fs::status(folder / "real/t.ini").permissions(), fs::perms(0640));
    EXPECT_EQ(namesIn(folder), (std::vector<std::string>{"link.ini", "real", "t.ini"}));
}

// Tests run as root, whom permission bits do not stop, so each failure here
// is one that binds root as well.
TEST(IniFileSave, FailureLeavesWhatWasThereAndNoTemporaryFile) {
    TempFolder folder;
    folder.write("plain", "not a folder");
    fs::create_directories(folder.path() / "target.ini/inside");
    IniFile file = iniOf(folder, "[Env]\r\nA=1\r\n");
    EXPECT_FALSE(file.saveAtomically(folder / "plain/t.ini"));
    EXPECT_FALSE(file.saveAtomically(folder / "target.ini"));
    EXPECT_EQ(folder.read("plain"), "not a folder");
    EXPECT_TRUE(fs::is_directory(folder.path() / "target.ini/inside"));
    EXPECT_EQ(namesIn(folder), (std::vector<std::string>{"plain", "t.ini", "target.ini"}));
}

TEST(IniFileSave, WriteFailingMidwayLeavesTheOldFile) {
    TempFolder folder;
    folder.write("t.ini", "[Env]\r\nA=old\r\n");
    IniFile file = iniOf(folder, "[Env]\r\nA=" + std::string(8192, 'n') + "\r\n");
    folder.write("t.ini", "[Env]\r\nA=old\r\n");
    GTEST_FLAG_SET(death_test_style, "fast");  // the child must see this folder
    EXPECT_EXIT(
        {
            testing::limitFileSize(4096);
            _exit(file.saveAtomically(folder / "t.ini") ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(folder.read("t.ini"), "[Env]\r\nA=old\r\n");
    EXPECT_EQ(namesIn(folder), (std::vector<std::string>{"t.ini"}));
}

}  // namespace
}  // namespace pelm
