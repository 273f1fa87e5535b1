#pragma once
// A program run as the operator runs it from a shell: its exit status and
// everything it wrote, standard output and standard error together.

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

namespace pelm::testing {

struct Outcome {
    int status;          // the exit status; -1 when ended by a signal
    std::string output;  // stdout and stderr, interleaved as written
};

/// Runs `commandLine` through the shell, in `folder` when one is given. A
/// redirection of standard error inside `commandLine` wins over the joining.
inline Outcome runProgram(const std::string& commandLine,
                          const std::filesystem::path& folder = {}) {
    std::string command = "{ " + commandLine + "; } 2>&1";
    if (!folder.empty()) command = "cd '" + folder.string() + "' && " + command;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return {-1, "cannot start: " + commandLine};
    Outcome outcome{-1, {}};
    std::array<char, 4096> buffer;
    while (size_t got = fread(buffer.data(), 1, buffer.size(), pipe))
        outcome.output.append(buffer.data(), got);
    const int status = pclose(pipe);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

}  // namespace pelm::testing
