// Opening a database by alias: where the configuration is found, how the
// board's parameters merge with the alias, and the message of each
// failure, naming what is wrong.

#include <unistd.h>

#include "data_folder.h"
#include "sqlengine/alias_config.h"

namespace pelm::testing {
namespace {

using OpenTest = DataFolderTest;

TEST_F(OpenTest, GivenParametersReplaceTheAliasOnesAndUnknownNamesAreDropped) {
    const AliasParameters alias{{"DEFAULT DRIVER", cp932Ascii("DBASE")},
                                {"path", cp932Ascii("/old")},
                                {"LANGDRIVER", cp932Ascii("x")}};
    const AliasParameters merged =
        mergeParameters(alias, {cp932Ascii("PATH=/new"), cp932Ascii("ENABLE BCD=FALSE"),
                                cp932Ascii("DEFAULT DRIVER=PARADOX"), cp932Ascii("broken line")});
    const AliasParameters expected{{"DEFAULT DRIVER", cp932Ascii("PARADOX")},
                                   {"path", cp932Ascii("/new")},
                                   {"LANGDRIVER", cp932Ascii("x")}};
    EXPECT_EQ(merged, expected);
}

TEST_F(OpenTest, TheGivenPathChoosesTheFolder) {
    writeConfig("[Pelm]\r\nDEFAULT DRIVER=PARADOX\r\nPATH=" + temp.path().string() + "\r\n");
    auto database = open();
    EXPECT_EQ(database->folder(), data);
    EXPECT_EQ(runError(*database, "insert into races.db (start) values ('9:00')"), "");
}

TEST_F(OpenTest, TheGivenDriverReplacesTheAliasDriver) {
    writeConfig("[pelm]\r\ndefault driver=DBASE\r\npath=/nowhere\r\n");
    EXPECT_EQ(openError(boardParameters(data)), "");
    EXPECT_EQ(openError({cp932Ascii("PATH=") + utf8ToCp932(data)}),
              cp932("ドライバ 'DBASE' はありません (エイリアス 'Pelm')"));
}

TEST_F(OpenTest, ADriverOrPathTheAliasLacksIsNotTakenFromTheBoard) {
    writeConfig("[Pelm]\r\nPATH=" + data + "\r\n");
    EXPECT_EQ(openError(boardParameters(data)),
              cp932("エイリアス 'Pelm' にドライバ (DEFAULT DRIVER) がありません"));
    writeConfig("[Pelm]\r\nDEFAULT DRIVER=PARADOX\r\n");
    EXPECT_EQ(openError(boardParameters(data)), cp932("エイリアス 'Pelm' に PATH がありません"));
}

TEST_F(OpenTest, TheConfigurationIsLookedForInTheCurrentDirectoryFirst) {
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(temp.path());
    const std::string outcome =
        errorMessage([&] { Database database("Pelm", boardParameters(data)); });
    std::filesystem::current_path(before);
    EXPECT_EQ(outcome, "");
}

TEST_F(OpenTest, EachMissingPieceHasItsOwnMessage) {
    const std::string missing = temp / "missing.ini";
    EXPECT_EQ(
        errorMessage([&] {
            Database("Pelm", boardParameters(data), {missing, "/nowhere/dbengine.ini"});
        }),
        cp932("エンジン設定ファイルが見つかりません: " + missing + ", /nowhere/dbengine.ini"));
    writeConfig("[Other]\r\nDEFAULT DRIVER=PARADOX\r\nPATH=" + data + "\r\n");
    EXPECT_EQ(openError(boardParameters(data)),
              cp932("エイリアス 'Pelm' が見つかりません (" + config + ")"));
}

TEST_F(OpenTest, AnUnusableDataFolderIsNamed) {
    const std::string gone = temp / "gone";
    EXPECT_EQ(openError(boardParameters(gone)),
              cp932("データ フォルダ '" + gone + "' が見つかりません"));
    EXPECT_EQ(openError(boardParameters(config)),
              cp932("データ フォルダ '" + config + "' はフォルダではありません"));
}

TEST_F(OpenTest, ABoardPathWithBackslashesReachesTheFolder) {
    EXPECT_EQ(openError(boardParameters(temp.path().string() + "\\data\\")), "");
}

TEST_F(OpenTest, ATableFileThatIsNoDatabaseFailsTheOpenNamingIt) {
    temp.write("data/notes.db", "these are notes, not a table");
    EXPECT_EQ(openError(boardParameters(data)),
              cp932("テーブル ファイル '" + data + "/notes.db' を開けません: ") +
                  "file is not a database");
}

TEST_F(OpenTest, AMissingTableFileIsNamedAtTheFirstStatement) {
    auto database = open();
    EXPECT_EQ(runError(*database, "delete from rmenutxt.db"),
              "no such table: rmenutxt.db\r\n" +
                  cp932("テーブル ファイル '" + data + "/rmenutxt.db' が見つかりません"));
    EXPECT_EQ(runError(*database, "delete from rmenutxt"),
              "no such table: rmenutxt\r\n" +
                  cp932("テーブル ファイル '" + data + "/rmenutxt.db' が見つかりません"));
    temp.write("data/rmenutxt.db", "");  // SQLite takes an empty file for an empty database
    database = open();
    EXPECT_EQ(
        runError(*database, "delete from rmenutxt.db"),
        "no such table: rmenutxt\r\n" + cp932("テーブル ファイル '" + data +
                                              "/rmenutxt.db' にテーブル 'rmenutxt' がありません"));
}

// A data folder others can write: a link planted at a table file's name or
// at its journal's never lets the engine write the file it points at.
TEST_F(OpenTest, LinksPlantedAtATableOrItsJournalLeaveTheirTargetsAlone) {
    namespace fs = std::filesystem;
    const std::string precious = temp / "bashrc";
    temp.write("bashrc", "alias ll='ls -l'\n");
    temp.write("empty", "");  // an empty file is an empty database to SQLite
    fs::create_symlink(temp / "empty", data + "/planted.db");
    EXPECT_NE(openError(boardParameters(data)), "") << "a table file that is a link is refused";
    fs::remove(data + "/planted.db");

    fs::create_symlink(precious, data + "/races.db-journal");
    const std::string refused = errorMessage([&] {
        auto database = open();
        Query query(*database, "Q");
        query.addLine(cp932Ascii("insert into races (start) values ('9:00')"));
        query.execute();
    });
    EXPECT_NE(refused.find("races.db"), std::string::npos) << refused;
    EXPECT_EQ(temp.read("bashrc"), "alias ll='ls -l'\n");
    EXPECT_TRUE(fs::is_symlink(data + "/races.db-journal"));
}

TEST_F(OpenTest, AFolderReachedThroughALinkStillOpens) {
    std::filesystem::create_directory_symlink(data, temp / "via-link");
    auto database = open(boardParameters(temp / "via-link"));
    EXPECT_EQ(runError(*database, "insert into races (start) values ('9:00')"), "");
}

// Root writes to any file, so the check runs as an ordinary user then.
void runAsOrdinaryUser() {
    if (geteuid() != 0) return;
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
}

TEST_F(OpenTest, AReadOnlyTableFileIsNamedAtTheFirstChange) {
    namespace fs = std::filesystem;
    fs::permissions(temp.path(),
                    fs::perms::all & ~fs::perms::others_write & ~fs::perms::group_write);
    fs::permissions(data, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(config, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const std::string table = data + "/races.db";
    fs::permissions(table, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const std::string expected = "attempt to write a readonly database\r\n" +
                                 cp932("テーブル ファイル '" + table + "' は読み取り専用です");
    auto check = [&] {
        runAsOrdinaryUser();
        auto database = open();
        Query query(*database, "Q");
        query.addLine("select * from races");
        query.open();  // reading still works
        std::string message = runError(*database, "insert into races.db (start) values ('9:00')");
        if (message != expected)
            std::fprintf(stderr, "got: %s\n", cp932ToUtf8(Cp932(message)).c_str());
        std::exit(message == expected ? 0 : 1);
    };
    EXPECT_EXIT(check(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace pelm::testing
