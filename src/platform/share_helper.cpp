#include "platform/share_helper.h"

#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "platform/share_wire.h"

namespace pelm {
namespace {

constexpr int kChannel = 3;

ShareAnswer performCaught(const PerformCall& perform, const ShareCall& call) {
    try {
        return perform(call);
    } catch (const std::exception& error) {
        return CallFailed{error.what()};
    }
}

}  // namespace

int runShareHelper(int argc, char** argv, const PerformCall& perform) {
    if (argc != 2) {
        std::fputs("pelm-share: the board's helper for a folder on a share; the board starts it\n",
                   stderr);
        return 2;
    }
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The thread that started it may have ended before the line above.
    if (getppid() != static_cast<pid_t>(std::atol(argv[1]))) return 0;
    for (int stop : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) std::signal(stop, SIG_IGN);
    if (write(kChannel, &kShareWireVersion, sizeof kShareWireVersion) !=
        static_cast<ssize_t>(sizeof kShareWireVersion))
        return 0;
    for (;;) {
        const std::optional<std::vector<ShareCall>> calls = receiveCalls(kChannel);
        if (!calls) return 0;
        std::vector<ShareAnswer> answers;
        answers.reserve(calls->size());
        for (const ShareCall& call : *calls) answers.push_back(performCaught(perform, call));
        if (!sendAnswers(kChannel, answers)) return 0;
    }
}

}  // namespace pelm
