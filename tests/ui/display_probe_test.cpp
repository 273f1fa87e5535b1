// The board's first look for its display, against a real X server.

#include "ui/display_probe.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <cstdio>
#include <string>

extern char** environ;

namespace pelm {
namespace {

// Xvfb as a kiosk session starts it: without -noreset, so that it resets
// whenever its last client leaves. It picks a free display number itself.
class ResettingXServer {
public:
    ResettingXServer() {
        int ends[2];
        if (pipe(ends) != 0) return;
        const std::string fd = std::to_string(ends[1]);
        const char* arguments[] = {"Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, ends[0]);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char**>(arguments), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(ends[1]);
        char number[16] = {};
        if (FILE* announced = fdopen(ends[0], "r")) {
            if (fgets(number, sizeof number, announced)) display_ = ":" + std::string(number);
            fclose(announced);
        }
        while (!display_.empty() && display_.back() == '\n') display_.pop_back();
    }
    ~ResettingXServer() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    const std::string& display() const { return display_; }

private:
    pid_t pid_ = 0;
    std::string display_;
};

class Environment {
public:
    Environment(const char* name, const std::string& value) : name_(name), before_(qgetenv(name)) {
        qputenv(name, QByteArray::fromStdString(value));
    }
    ~Environment() { qputenv(name_, before_); }

private:
    const char* name_;
    QByteArray before_;
};

// A kiosk script that asks the X server whether it is up (xdpyinfo) just
// before it starts the board leaves the server resetting as the board looks.
TEST(DisplayProbe, FindsAnXServerResettingAfterItsLastClientLeft) {
    const ResettingXServer server;
    ASSERT_FALSE(server.display().empty()) << "Xvfb did not start";
    const Environment display("DISPLAY", server.display());
    const Environment platform("QT_QPA_PLATFORM", "xcb");
    int refused = 0;
    // Each probe is the server's only client: its end starts a reset that
    // the next one meets. One look in twenty or so meets it.
    for (int look = 0; look < 150; ++look) {
        const DisplayProbe probe;
        if (!probe.choice().failure.isEmpty()) ++refused;
    }
    EXPECT_EQ(refused, 0);
}

}  // namespace
}  // namespace pelm
