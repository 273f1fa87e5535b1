#pragma once
// Other programs of the PC asked as an administrator asks them
// (systemctl --user, dpkg-query, xset, gdbus), each with a deadline: a
// program that hangs, such as a service manager that does not answer,
// costs seconds, never the command that asked.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace pelm::pc {

struct ProgramAnswer {
    int status = 0;
    std::string output;  // standard output
    std::string errors;  // standard error
};

constexpr std::chrono::milliseconds kProgramDeadline{5000};

/// Runs `program` (looked up in PATH) with `arguments` and our environment,
/// with nothing on its standard input. Nothing when it cannot be started,
/// is ended by a signal, or outlasts `deadline` (it is then killed).
std::optional<ProgramAnswer> askProgram(const std::string& program,
                                        const std::vector<std::string>& arguments,
                                        std::chrono::milliseconds deadline = kProgramDeadline);

}  // namespace pelm::pc
