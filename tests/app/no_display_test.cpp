// The board started where there is nothing to show it on (a service
// started outside the desktop's session, a display that has gone): one
// error line and exit status 1, never Qt's abort and its core dump.

#include <gtest/gtest.h>

#include <string>

#include "support/run_program.h"
#include "support/temp_folder.h"

namespace pelm {
namespace {

TEST(NoDisplay, TheBoardSaysSoInOneErrorLineAndEndsWithStatusOne) {
    const char* const environments[] = {
        "",                                                        // no display at all
        "DISPLAY=:9999",                                           // an X server that is not there
        "QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=pelm-test-none",  // nor a compositor
    };
    for (const char* environment : environments) {
        SCOPED_TRACE(environment);
        const testing::TempFolder folder;
        const testing::TempFolder scratch;
        const testing::Outcome run = testing::runProgram(
            std::string("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ") +
                "XDG_RUNTIME_DIR='" + scratch.path().string() + "' " + environment + " '" +
                PELMDP_PATH "' 2>'" + scratch / "errors" + "'",
            folder.path());
        EXPECT_EQ(run.status, 1);  // a signal (the abort) would be -1
        const std::string errors = scratch.read("errors");
        EXPECT_EQ(errors.rfind("<3>no display to show the board on", 0), 0) << errors;
        EXPECT_EQ(errors.find('\n'), errors.size() - 1) << errors;
        EXPECT_TRUE(run.output.empty()) << run.output;
    }
}

}  // namespace
}  // namespace pelm
