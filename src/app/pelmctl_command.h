#pragma once
// The commands of `pelmctl`: each file pelmctl_<name>.cpp registers one.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmctl {

/// Exit statuses shared by every command.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // the command ran and found a fault
constexpr int kExitUsage = 2;   // wrong arguments or nothing to work on

/// A command's parsed arguments: positional words, "--name value" options
/// and "--name" flags, as the command declared them.
struct Arguments {
    std::vector<std::string> positional;
    std::map<std::string, std::string, std::less<>> options;
    std::vector<std::string> flags;

    std::optional<std::string> option(std::string_view name) const;
    bool flag(std::string_view name) const;
};

struct Command {
    std::string_view name;
    std::string_view summary;             // one line for `pelmctl --help`
    std::string_view help;                // the whole `pelmctl NAME --help` text
    std::vector<std::string_view> valueOptions;  // such as "--data"
    std::vector<std::string_view> flagOptions;   // such as "--json"
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
std::string terminalText(std::string_view cp932);

}  // namespace pelmctl
