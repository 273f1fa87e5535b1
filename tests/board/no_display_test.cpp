// The board started where there is nothing to show it on (a service
// started before the desktop's session handed over its display, a display
// that has gone): it says so in one error line and waits, never Qt's abort
// and its core dump, never a line a second; a stop meanwhile ends it at
// once with status 0.

#include <gtest/gtest.h>

#include <string>

#include "support/run_program.h"
#include "support/temp_folder.h"

namespace pelm {
namespace {

TEST(NoDisplay, TheBoardSaysSoOnceWaitsAndEndsCleanlyWhenStopped) {
    const char* const environments[] = {
        "",                                                        // no display at all
        "DISPLAY=:9999",                                           // an X server that is not there
        "QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=pelm-test-none",  // nor a compositor
    };
    for (const char* environment : environments) {
        SCOPED_TRACE(environment);
        const testing::TempFolder folder;
        const testing::TempFolder scratch;
        // Three seconds: a board that ended, or logged each of its looks,
        // would show it by then.
        const testing::Outcome run = testing::runProgram(
            std::string("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ") +
                "XDG_RUNTIME_DIR='" + scratch.path().string() + "' " + environment + " '" +
                PELMDP_PATH "' 2>'" + scratch / "errors" + "' & sleep 3; kill -TERM $!; wait $!",
            folder.path());
        EXPECT_EQ(run.status, 0);
        const std::string errors = scratch.read("errors");
        EXPECT_EQ(errors.rfind("<3>no display to show the board on", 0), 0) << errors;
        const std::string last = "<6>asked to end while waiting for a display\n";
        ASSERT_GT(errors.size(), last.size()) << errors;
        EXPECT_EQ(errors.substr(errors.size() - last.size()), last) << errors;
        EXPECT_EQ(errors.find('\n'), errors.size() - last.size() - 1) << errors;
        EXPECT_TRUE(run.output.empty()) << run.output;
    }
}

}  // namespace
}  // namespace pelm
