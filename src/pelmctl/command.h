#pragma once
// The commands of `pelmctl`: each file pelmctl_<name>.cpp registers one with
// a static CommandRegistration; pelmctl.cpp parses the command line for it
// (QCommandLineParser: --name VALUE, --name=VALUE, --, -h/--help) and calls
// its run function with what it declared.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cp932.h"

namespace pelmctl {

/// Exit statuses shared by every command, so a script can tell a board in
/// trouble from a mistyped command line.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;     // the board would show a problem, or a check found errors
constexpr int kExitUsage = 2;      // wrong arguments or no board folder to work on
constexpr int kExitCannotRun = 3;  // no refresh can run: no engine configuration, no database

/// A command's parsed arguments (UTF-8): positional words, options with a
/// value and flags, each under its declared name ("--data").
struct Arguments {
    std::vector<std::string> positional;
    std::map<std::string, std::string, std::less<>> options;
    std::vector<std::string> flags;

    std::optional<std::string> option(std::string_view name) const;
    bool flag(std::string_view name) const;
};

struct Command {
    std::string_view name;
    std::string_view summary;                    // one line for `pelmctl --help`
    std::string_view help;                       // the whole `pelmctl NAME --help` text
    std::vector<std::string_view> valueOptions;  // such as "--data"
    std::vector<std::string_view> flagOptions;   // such as "--json"
    /// Returns the exit status. A pelm::Error that escapes is reported and
    /// ends the tool with kExitFailed.
    int (*run)(const Arguments&);
};

/// Adds a command to the table; one static instance per command file.
struct CommandRegistration {
    explicit CommandRegistration(Command command);
};

const std::vector<Command>& registeredCommands();

/// Prints "pelmctl: <message>" to stderr and returns kExitUsage.
int usageError(std::string_view message);

/// Text of the CP932 bytes, as UTF-8 for the terminal.
std::string terminalText(const pelm::Cp932& text);

}  // namespace pelmctl
