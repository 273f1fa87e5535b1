// `pelmctl doctor` run as the operator runs it, beside a board whose
// program an upgrade replaced while it ran: the real fault, as the kernel
// shows it, and the JSON that scripts read.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>

#include "engine/board_status.h"
#include "platform/local_status_folder.h"
#include "platform/process_alive.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

namespace pelm {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

// A program started from a file that is then deleted, as dpkg's rename
// of a new version over it leaves a running board.
class ReplacedProgram {
public:
    explicit ReplacedProgram(const TempFolder& folder) {
        const std::string copy = folder / "PelmDp";
        fs::copy_file("/bin/sleep", copy);
        char* const argv[] = {const_cast<char*>("PelmDp"), const_cast<char*>("60"), nullptr};
        posix_spawn(&pid_, copy.c_str(), nullptr, nullptr, argv, environ);
        fs::remove(copy);
    }
    ~ReplacedProgram() {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = 0;
};

void writeStatus(const TempFolder& runtime, const QString& folder, pid_t pid) {
    BoardStatus status;
    status.pid = pid;
    status.pidStartTicks = processStartTicks(pid);
    status.startedAt = QDateTime::currentDateTimeUtc().addSecs(-60);
    status.lastRefreshAt = QDateTime::currentDateTimeUtc();
    status.state = BoardState::Running;
    status.host = "kiosk-1";
    status.workingFolder = folder;
    status.version = "1.3.0";
    fs::create_directories(runtime.path() / "pelm");
    fs::permissions(runtime.path() / "pelm", fs::perms::owner_all);
    runtime.write("pelm/" + localStatusName(boardKey(folder)).toStdString(),
                  statusJson(status).toStdString());
}

TEST(PelmctlDoctor, ABoardRunningAReplacedProgramIsAFaultWithItsMend) {
    TempFolder board, runtime, home;
    const QString folder = canonicalFolder(QString::fromStdString(board.path().string()));
    ReplacedProgram program(runtime);
    writeStatus(runtime, folder, program.pid());

    const testing::Outcome outcome = testing::runProgram(
        "HOME='" + home.path().string() + "' XDG_RUNTIME_DIR='" + runtime.path().string() +
        "' '" PELMCTL_PATH "' doctor --json --folder '" + board.path().string() + "' 2>/dev/null");
    EXPECT_EQ(outcome.status, 1);
    const QJsonArray checks =
        QJsonDocument::fromJson(QByteArray::fromStdString(outcome.output))["checks"].toArray();
    ASSERT_EQ(checks.size(), 12) << outcome.output;
    bool found = false;
    for (const QJsonValue& value : checks) {
        const QJsonObject check = value.toObject();
        const bool fine = check["verdict"] == "ok";
        EXPECT_TRUE(fine || check["verdict"] == "fail" || check["verdict"] == "unknown");
        EXPECT_FALSE(check["detail"].toString().isEmpty());
        EXPECT_EQ(check.contains("fix"), !fine) << check["check"].toString().toStdString();
        if (check["check"] != "version") continue;
        found = true;
        EXPECT_EQ(check["verdict"], "fail");
        EXPECT_TRUE(check["detail"].toString().contains("a program the last upgrade replaced"));
        EXPECT_TRUE(check["fix"].toString().startsWith(QString("kill %1").arg(program.pid())));
    }
    EXPECT_TRUE(found);
}

}  // namespace
}  // namespace pelm
