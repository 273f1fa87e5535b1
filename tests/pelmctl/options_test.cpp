// pelmctl's command line as scripts and operators use it: option forms,
// help in every spelling, and one exit status per kind of outcome, in a
// board folder and in a folder that is none.

#include <gtest/gtest.h>

#include <string>

#include "platform/codepage.h"
#include "support/board_folder.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

namespace pelm {
namespace {

enum class Folder { Board, Bare };

struct Case {
    const char* name;
    Folder folder;
    const char* arguments;  // DATA stands for the board folder's data folder
    int status;
    const char* says;  // in stdout or stderr
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << "pelmctl " << c.arguments;
}

constexpr const char* kNoBoardFolder =
    "no PelmDp.ini here (the board reads it from its working folder); give --data DIR";

const Case kCases[] = {
    {"NoArgumentsIsTheOverview", Folder::Board, "", 0, "Commands:\n  check"},
    {"HelpOptionIsTheOverview", Folder::Board, "--help", 0, "Commands:\n  check"},
    {"HelpWordIsTheOverview", Folder::Board, "help", 0, "Commands:\n  check"},
    {"HelpWordNamesACommand", Folder::Board, "help check", 0, "Usage: pelmctl check"},
    {"HelpOptionNamesACommand", Folder::Board, "--help show", 0, "Usage: pelmctl show"},
    {"CommandTakesHelp", Folder::Board, "check --help", 0, "Usage: pelmctl check"},
    {"CommandTakesShortHelp", Folder::Board, "settings -h", 0, "Usage: pelmctl settings"},
    {"Version", Folder::Board, "--version", 0, "pelmctl "},
    {"HelpForAnUnknownCommand", Folder::Board, "help nosuch", 2, "unknown command nosuch"},
    {"UnknownCommand", Folder::Board, "nosuch", 2, "unknown command nosuch"},
    {"UnknownToolOption", Folder::Board, "--bogus", 2, "unknown option 'bogus'"},
    {"UnknownCommandOption", Folder::Board, "show --bogus", 2, "unknown option 'bogus'"},
    {"OptionWithoutItsValue", Folder::Board, "show --at", 2, "missing value after '--at'"},
    {"ValueThatIsNoTime", Folder::Board, "show --at 25:00", 2, "25:00 is no time of day"},
    {"StrayWord", Folder::Board, "check extra", 2, "check takes no words"},
    {"ValueAfterEquals", Folder::Board, "show --at=10:40:00", 0, "Clock     10:40:00"},
    {"ValueAsNextWord", Folder::Board, "show --at 10:40:00", 0, "Clock     10:40:00"},
    {"DataAfterEquals", Folder::Board, "check --data=DATA", 0, "1 lines, 0 errors"},
    {"DataAsNextWord", Folder::Board, "check --data DATA", 0, "1 lines, 0 errors"},
    {"DashedWordAfterDoubleDash", Folder::Board, "init -- -dashed", 0,
     "created the data folder -dashed"},
    {"DashedWordIsAnOption", Folder::Board, "init -dashed", 2, "unknown option"},
    {"DatabaseCannotBeOpened", Folder::Board, "show --data /nonexistent/folder", 3,
     "cannot open the database"},
    {"ScheduleCannotBeRead", Folder::Board, "check --data /nonexistent/folder", 1,
     "RInfo.txt: error:"},
    {"CheckOutsideABoardFolder", Folder::Bare, "check", 2, kNoBoardFolder},
    {"ShowOutsideABoardFolder", Folder::Bare, "show --json", 2, kNoBoardFolder},
    {"NoEngineConfiguration", Folder::Bare, "show --data /nonexistent/folder", 3,
     "cannot open the database"},
    {"SettingsOutsideABoardFolder", Folder::Bare, "settings", 0,
     "is missing: every value is a default"},
};

using testing::Outcome;

Outcome run(const std::string& folder, const std::string& arguments) {
    return testing::runProgram("'" PELMCTL_PATH "' " + arguments, folder);
}

class PelmctlCommandLine : public ::testing::TestWithParam<Case> {
protected:
    PelmctlCommandLine() {
        board.root().write("PelmDp.ini", "[Env]\r\nDataDir=" + board.dataDir() + "\r\n");
        board.writeSchedule("10:00:00,10:30:00,A\r\n");
        board.writeNotice("");
    }
    testing::BoardFolder board;
    testing::TempFolder bare;
};

TEST_P(PelmctlCommandLine, ExitsWithTheStatusOfItsOutcome) {
    const Case& c = GetParam();
    std::string arguments = c.arguments;
    if (auto at = arguments.find("DATA"); at != std::string::npos)
        arguments.replace(at, 4, board.dataPath());
    const std::string folder =
        (c.folder == Folder::Board ? board.root().path() : bare.path()).string();
    const Outcome outcome = run(folder, arguments);
    EXPECT_EQ(outcome.status, c.status) << outcome.output;
    EXPECT_NE(outcome.output.find(c.says), std::string::npos) << outcome.output;
}

INSTANTIATE_TEST_SUITE_P(Cases, PelmctlCommandLine, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pelm
