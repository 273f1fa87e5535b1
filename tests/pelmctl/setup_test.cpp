// `pelmctl setup` run as the board's user runs it, where a step cannot
// work: it refuses, says why, and leaves the user's home as it was.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <filesystem>
#include <fstream>
#include <map>

#include "engine/board_status.h"
#include "platform/local_status_folder.h"
#include "platform/process_alive.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

namespace pelm {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

std::string bytesOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every name under the folder with its kind, mode and bytes.
std::map<std::string, std::string> snapshot(const fs::path& folder) {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        struct stat status;
        lstat(entry.path().c_str(), &status);
        std::string bytes;
        if (entry.is_regular_file()) bytes = bytesOf(entry.path());
        entries[fs::relative(entry.path(), folder).string()] =
            std::to_string(status.st_mode) + ":" + bytes;
    }
    return entries;
}

// A status file as the board in `folder` keeps it; this test's own
// process stands for the board.
void runningBoard(const TempFolder& runtime, const std::string& folder) {
    BoardStatus status;
    status.pid = getpid();
    status.pidStartTicks = processStartTicks(getpid());
    status.startedAt = status.lastRefreshAt = QDateTime::currentDateTimeUtc();
    status.state = BoardState::Running;
    status.workingFolder = QString::fromStdString(folder);
    status.version = "1.3.0";
    fs::create_directories(runtime.path() / "pelm");
    fs::permissions(runtime.path() / "pelm", fs::perms::owner_all);
    runtime.write("pelm/" + localStatusName(boardKey(status.workingFolder)).toStdString(),
                  statusJson(status).toStdString());
}

struct Refusal {
    const char* step;
    const char* display;    // DISPLAY, or nothing
    const char* arguments;  // HOME stands for the scratch home
    const char* reason;
};

TEST(PelmctlSetup, RefusesAStepThatCannotWorkAndChangesNothing) {
    const Refusal refusals[] = {
        {"no display session", nullptr, "--fullscreen --name パドック", "no display session"},
        {"a missing data folder", ":99", "--data HOME/nowhere", "HOME/nowhere does not exist"},
        // Only root can give a folder to another user; others see it open.
        {"another user's writable folder", ":99", "--folder HOME/shared/pelm",
         getuid() == 0 ? "HOME/shared belongs to" : "HOME/shared can be written"},
        {"its own folder open to others", ":99", "--folder HOME/open", "HOME/open can be written"},
        {"a status folder that is not there", ":99", "--status-dir HOME/status",
         "HOME/status does not exist"},
        {"a board running from another folder", ":99", "",
         "a board already runs from HOME/elsewhere"},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.step);
        TempFolder home, runtime;
        fs::create_directories(home.path() / "shared");
        chmod((home.path() / "shared").c_str(), 0777);
        if (getuid() == 0) {
            ASSERT_EQ(chown((home.path() / "shared").c_str(), 4242, 4242), 0);
        }
        fs::create_directories(home.path() / "open");
        chmod((home.path() / "open").c_str(), 0777);
        if (std::string(refusal.step) == "a board running from another folder")
            runningBoard(runtime, (home.path() / "elsewhere").string());
        const auto before = snapshot(home.path());
        const auto withHome = [&](std::string text) {
            for (size_t at; (at = text.find("HOME")) != std::string::npos;)
                text.replace(at, 4, home.path().string());
            return text;
        };
        const std::string display =
            refusal.display ? std::string("DISPLAY=") + refusal.display : "-u DISPLAY";
        const testing::Outcome outcome = testing::runProgram(
            "env -u WAYLAND_DISPLAY " + display + " HOME='" + home.path().string() +
            "' XDG_RUNTIME_DIR='" + runtime.path().string() + "' '" PELMCTL_PATH "' setup " +
            withHome(refusal.arguments));
        EXPECT_EQ(outcome.status, 1) << outcome.output;
        EXPECT_NE(outcome.output.find("setup refused, nothing was changed"), std::string::npos)
            << outcome.output;
        EXPECT_NE(outcome.output.find(withHome(refusal.reason)), std::string::npos)
            << outcome.output;
        EXPECT_EQ(snapshot(home.path()), before);
    }
}

TEST(PelmctlSetup, WrongArgumentsAreAUsageError) {
    for (const char* arguments : {"--fullscreen --windowed", "--screen one", "extra"}) {
        const testing::Outcome outcome =
            testing::runProgram("'" PELMCTL_PATH "' setup " + std::string(arguments));
        EXPECT_EQ(outcome.status, 2) << arguments << ": " << outcome.output;
    }
}

}  // namespace
}  // namespace pelm
