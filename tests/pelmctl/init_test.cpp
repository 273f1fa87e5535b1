// `pelmctl init`, run as the operator runs it, in a folder of its own: what
// it makes, what it keeps, and that a second run changes nothing.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "engine/board_connection.h"
#include "engine/race_table.h"
#include "platform/codepage.h"
#include "sqlengine/database.h"
#include "sqlengine/table_file.h"
#include "support/cp932_bytes.h"
#include "support/error_message.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

using pelm::testing::cp932Bytes;

namespace pelm {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

using testing::Outcome;

Outcome init(const TempFolder& folder, const std::string& arguments) {
    return testing::runProgram("'" PELMCTL_PATH "' init " + arguments, folder.path());
}

// Every file under the folder with its bytes and modification time.
std::map<std::string, std::pair<std::string, long long>> snapshot(const TempFolder& folder) {
    std::map<std::string, std::pair<std::string, long long>> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder.path())) {
        if (!entry.is_regular_file()) continue;
        struct stat status;
        stat(entry.path().c_str(), &status);
        const std::string name = fs::relative(entry.path(), folder.path()).string();
        files[name] = {folder.read(name),
                       status.st_mtim.tv_sec * 1000000000LL + status.st_mtim.tv_nsec};
    }
    return files;
}

// The board's connection to `dataDir` (a board path, as the settings hold
// it) and one refresh's statements, in `folder`.
std::string boardRefresh(const TempFolder& folder, const Cp932& dataDir) {
    const fs::path before = fs::current_path();
    fs::current_path(folder.path());
    std::string shown;
    const std::string error = testing::errorMessage([&] {
        Database database("Pelm", boardConnectionParameters(dataDir));
        Query work(database, "Qwork"), menu(database, "Qmenu");
        deleteRaceRows(work);
        insertRaceRow(work, {cp932Ascii("9:30:00"), cp932Ascii("10:00:00"), cp932Ascii("Heat 1")});
        openUpcomingRaces(menu, cp932Ascii("9:45:00"));
        shown = menu.fieldText("rmenu").bytes();
    });
    fs::current_path(before);
    return error.empty() ? shown : cp932ToUtf8(Cp932(error));
}

TEST(PelmctlInit, MakesAFolderTheBoardCanUseAndASecondRunChangesNothing) {
    TempFolder folder;
    const Outcome first = init(folder, "data");
    ASSERT_EQ(first.status, 0) << first.output;
    EXPECT_NE(first.output.find("Next:"), std::string::npos);
    EXPECT_EQ(folder.read("data/RInfo.txt"), "");
    EXPECT_EQ(folder.read("data/RInfomem.txt"), "");
    EXPECT_EQ(folder.read("dbengine.ini"), "[Pelm]\r\nPATH=data\r\nDEFAULT DRIVER=PARADOX\r\n");
    EXPECT_EQ(folder.read("PelmDp.ini"), "[Env]\r\nDataDir=data\r\n");
    EXPECT_EQ(boardRefresh(folder, cp932Ascii("data")), "Heat 1");

    const auto before = snapshot(folder);
    const Outcome second = init(folder, "data");
    EXPECT_EQ(second.status, 0) << second.output;
    EXPECT_EQ(second.output.find("created"), std::string::npos) << second.output;
    EXPECT_EQ(snapshot(folder), before);
}

// A venue's shared folder already holds the writer's files: init keeps the
// table out of it and adds nothing there but missing empty files.
TEST(PelmctlInit, WithATableFolderLeavesTheSharedDataFolderAlone) {
    TempFolder folder;
    fs::create_directory(folder.path() / "share");
    folder.write("share/RInfo.txt", "10:00:00,10:30:00,Heat 1\r\n");
    folder.write("PelmDp.ini", "[Env]\r\nTableDir=old\r\n");
    const Outcome outcome = init(folder, "share --table-dir local");
    ASSERT_EQ(outcome.status, 0) << outcome.output;
    std::vector<std::string> shared;
    for (const auto& entry : fs::directory_iterator(folder.path() / "share"))
        shared.push_back(entry.path().filename().string());
    std::sort(shared.begin(), shared.end());
    EXPECT_EQ(shared, (std::vector<std::string>{"RInfo.txt", "RInfomem.txt"}));
    EXPECT_EQ(folder.read("share/RInfo.txt"), "10:00:00,10:30:00,Heat 1\r\n");
    EXPECT_TRUE(fs::is_regular_file(folder.path() / "local" / "rmenutxt.db"));
    EXPECT_EQ(folder.read("PelmDp.ini"), "[Env]\r\nTableDir=local\r\nDataDir=share\r\n");
    EXPECT_EQ(folder.read("dbengine.ini"), "[Pelm]\r\nPATH=local\r\nDEFAULT DRIVER=PARADOX\r\n");
    EXPECT_NE(outcome.output.find("nothing else is written into share"), std::string::npos)
        << outcome.output;
    EXPECT_NE(outcome.output.find("(it was old)"), std::string::npos) << outcome.output;
    EXPECT_EQ(boardRefresh(folder, cp932Ascii("local")), "Heat 1");

    const auto before = snapshot(folder);
    EXPECT_EQ(init(folder, "share --table-dir local").status, 0);
    EXPECT_EQ(snapshot(folder), before) << "a second run changes nothing";
    const Outcome plain = init(folder, "share");
    EXPECT_NE(plain.output.find("keeps TableDir=local"), std::string::npos) << plain.output;
    EXPECT_EQ(init(folder, "share --table-dir ''").status, 2);
}

TEST(PelmctlInit, KeepsEveryOtherLineAndEveryExistingFile) {
    TempFolder folder;
    fs::create_directory(folder.path() / "data");
    folder.write("data/RInfo.txt", "10:00:00,10:30:00,Heat 1\r\n");
    folder.write("dbengine.ini", "; venue PC\r\n[Other]\r\nPATH=/x\r\n[pelm]\r\npath=/old\r\n");
    folder.write("PelmDp.ini", "[Env]\r\nLogo=off\r\n[Font]\r\nSize=80\r\n");
    const Outcome outcome = init(folder, "data");
    ASSERT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_EQ(folder.read("data/RInfo.txt"), "10:00:00,10:30:00,Heat 1\r\n");
    EXPECT_EQ(
        folder.read("dbengine.ini"),
        "; venue PC\r\n[Other]\r\nPATH=/x\r\n[pelm]\r\npath=data\r\nDEFAULT DRIVER=PARADOX\r\n");
    EXPECT_EQ(folder.read("PelmDp.ini"),
              "[Env]\r\nLogo=off\r\nDataDir=data\r\n[Font]\r\nSize=80\r\n");
    EXPECT_NE(outcome.output.find("(it was /old)"), std::string::npos) << outcome.output;
}

TEST(PelmctlInit, LeavesADataDirOfTheSettingsAndSaysSo) {
    TempFolder folder;
    folder.write("PelmDp.ini", "[Env]\r\nDataDir=C:\\Pelm\r\n");
    const Outcome outcome = init(folder, "data");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(folder.read("PelmDp.ini"), "[Env]\r\nDataDir=C:\\Pelm\r\n");
    EXPECT_NE(outcome.output.find("keeps DataDir=C:\\Pelm"), std::string::npos) << outcome.output;
}

TEST(PelmctlInit, AJapaneseFolderNameIsStoredInTheBoardsCodePage) {
    TempFolder folder;
    ASSERT_EQ(init(folder, "'レース'").status, 0);
    EXPECT_TRUE(fs::is_regular_file(folder.path() / "レース" / "rmenutxt.db"));
    EXPECT_EQ(folder.read("PelmDp.ini"), "[Env]\r\nDataDir=" + cp932Bytes("レース") + "\r\n");
    EXPECT_EQ(boardRefresh(folder, utf8ToCp932("レース")), "Heat 1");
}

TEST(PelmctlInit, ReplacesADamagedTableFileAndKeepsItAside) {
    TempFolder folder;
    fs::create_directory(folder.path() / "data");
    folder.write("data/rmenutxt.db", "not a table");
    const Outcome outcome = init(folder, "data");
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_NE(outcome.output.find("was damaged"), std::string::npos) << outcome.output;
    EXPECT_EQ(boardRefresh(folder, cp932Ascii("data")), "Heat 1");
    int kept = 0;
    for (const auto& entry : fs::directory_iterator(folder.path() / "data")) {
        if (entry.path().filename().string().starts_with("rmenutxt.db.damaged-"))
            kept += folder.read("data/" + entry.path().filename().string()) == "not a table";
    }
    EXPECT_EQ(kept, 1);
}

TEST(PelmctlInit, RefusesATableFileOfSomebodyElsesAndLeavesIt) {
    TempFolder folder;
    fs::create_directory(folder.path() / "data");
    createTableFile((folder.path() / "data").string(), "rmenutxt",
                    cp932Ascii("CREATE TABLE other (x)"));
    const std::string before = folder.read("data/rmenutxt.db");
    const Outcome outcome = init(folder, "data");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.output.find("data/rmenutxt.db is there but holds no race table"),
              std::string::npos)
        << outcome.output;
    EXPECT_EQ(folder.read("data/rmenutxt.db"), before);
}

TEST(PelmctlInit, WantsExactlyOneFolder) {
    TempFolder folder;
    EXPECT_EQ(init(folder, "").status, 2);
    EXPECT_EQ(init(folder, "a b").status, 2);
    EXPECT_TRUE(fs::is_empty(folder.path()));
}

}  // namespace
}  // namespace pelm
