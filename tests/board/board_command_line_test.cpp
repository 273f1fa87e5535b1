// PelmDp's command line: what each option asks for, what is refused, and
// that --help, --version and a mistake answer without a display and without
// writing a file where the board was started.

#include "board/board_command_line.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/run_program.h"
#include "support/temp_folder.h"

namespace pelm {
namespace {

using testing::TempFolder;

BoardCommandLine read(QStringList arguments) {
    arguments.prepend("PelmDp");
    return readBoardCommandLine(arguments);
}

TEST(BoardCommandLine, OptionsChooseTheScreen) {
    struct Case {
        QStringList arguments;
        std::optional<bool> fullScreen;
        std::optional<int> screen;
    };
    for (const Case& c : {Case{{}, std::nullopt, std::nullopt}, Case{{"--fullscreen"}, true, {}},
                          Case{{"--windowed"}, false, {}}, Case{{"--screen", "1"}, {}, 1},
                          Case{{"--fullscreen", "--screen=0"}, true, 0},
                          Case{{"--windowed", "--screen", "2"}, false, 2}}) {
        const BoardCommandLine command = read(c.arguments);
        const std::string shown = c.arguments.join(' ').toStdString();
        EXPECT_TRUE(command.run) << shown;
        EXPECT_EQ(command.exitStatus, 0) << shown;
        EXPECT_TRUE(command.output.isEmpty() && command.errors.isEmpty()) << shown;
        EXPECT_EQ(command.options.fullScreen, c.fullScreen) << shown;
        EXPECT_EQ(command.options.screen, c.screen) << shown;
    }
}

TEST(BoardCommandLine, HelpAndVersionAnswerOnStandardOutput) {
    for (const char* option : {"--help", "-h", "--help-all"}) {
        const BoardCommandLine help = read({option});
        EXPECT_FALSE(help.run) << option;
        EXPECT_EQ(help.exitStatus, 0) << option;
        EXPECT_TRUE(help.output.startsWith("Usage: PelmDp [options]")) << help.output.toStdString();
        for (const char* named : {"--fullscreen", "--windowed", "--screen <N>", "LC_TIME"}) {
            EXPECT_TRUE(help.output.contains(named)) << option << " lacks " << named;
        }
        EXPECT_TRUE(help.errors.isEmpty()) << option;
    }
    const BoardCommandLine version = read({"--version"});
    EXPECT_FALSE(version.run);
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_TRUE(version.output.startsWith("PelmDp 1.")) << version.output.toStdString();
}

TEST(BoardCommandLine, MistakesAreRefusedWithStatusTwo) {
    for (const QStringList& arguments :
         {QStringList{"--bogus"}, QStringList{"-x"}, QStringList{"stray"}, QStringList{"--screen"},
          QStringList{"--screen", "one"}, QStringList{"--screen", "-1"},
          QStringList{"--fullscreen", "--windowed"}}) {
        const BoardCommandLine command = read(arguments);
        const std::string shown = arguments.join(' ').toStdString();
        EXPECT_FALSE(command.run) << shown;
        EXPECT_EQ(command.exitStatus, 2) << shown;
        EXPECT_TRUE(command.output.isEmpty()) << shown;
        EXPECT_TRUE(command.errors.startsWith("PelmDp: ")) << command.errors.toStdString();
        EXPECT_TRUE(command.errors.contains("--help")) << shown;
    }
}

struct ProgramRun {
    int status;
    std::string output;
    std::string errors;
};

// The real program in `folder`, with no display of any kind to reach.
ProgramRun runBoard(const TempFolder& folder, const std::string& arguments) {
    const TempFolder scratch;  // stderr goes here, not into the folder watched
    const testing::Outcome run = testing::runProgram(
        "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" PELMDP_PATH "' " + arguments +
            " 2>'" + scratch / "errors" + "'",
        folder.path());
    return {run.status, run.output, scratch.read("errors")};
}

TEST(BoardCommandLine, TheProgramAnswersWithoutADisplayAndWritesNothing) {
    struct Case {
        const char* arguments;
        int status;
        const char* outputStart;
        const char* errorsStart;
    };
    for (const Case& c :
         {Case{"--version", 0, "PelmDp 1.", ""}, Case{"--help", 0, "Usage: PelmDp", ""},
          Case{"--no-such-option", 2, "", "PelmDp: "}}) {
        TempFolder folder;
        const ProgramRun run = runBoard(folder, c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments << ": " << run.errors;
        EXPECT_EQ(run.output.rfind(c.outputStart, 0), 0u) << c.arguments << ": " << run.output;
        EXPECT_EQ(run.errors.rfind(c.errorsStart, 0), 0u) << c.arguments << ": " << run.errors;
        EXPECT_TRUE(std::filesystem::is_empty(folder.path())) << c.arguments << " left a file";
    }
}

}  // namespace
}  // namespace pelm
