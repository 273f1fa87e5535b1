// pelmctl: the board's companion tool for operators: prepares data folders,
// checks schedules, and shows what the board would show.

#include <algorithm>
#include <iostream>

#include "app/pelmctl_command.h"
#include "platform/codepage.h"

namespace pelmctl {
namespace {

std::vector<Command>& commandTable() {
    static std::vector<Command> table;
    return table;
}

void printOverview() {
    // The "or:" lines and the Options block follow the GNU layout, which
    // help2man turns into the man page's synopsis and options.
    std::cout << "Usage: pelmctl COMMAND [OPTIONS]\n"
                 "  or:  pelmctl COMMAND --help\n"
                 "  or:  pelmctl --help | --version\n\n"
                 "The race-day display board's companion tool.\n\nCommands:\n";
    for (const Command& command : registeredCommands()) {
        std::cout << "  " << command.name << std::string(10 - std::min<size_t>(9, command.name.size()), ' ')
                  << command.summary << "\n";
    }
    std::cout << "\nOptions:\n"
                 "  -h, --help  this overview; after a command, that command's options\n"
                 "  --version   the version of pelmctl\n"
                 "\nExamples:\n"
                 "  pelmctl init /srv/pelm/data\n";
}

bool isHelp(std::string_view word) { return word == "--help" || word == "-h"; }

// Parses the words after the command name; nullopt after a usage error.
std::optional<Arguments> parse(const Command& command, const std::vector<std::string>& words) {
    Arguments arguments;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        auto is = [&](std::string_view name) { return name == word; };
        if (std::any_of(command.valueOptions.begin(), command.valueOptions.end(), is)) {
            if (i + 1 == words.size()) {
                usageError(word + " needs a value");
                return std::nullopt;
            }
            arguments.options[word] = words[++i];
        } else if (std::any_of(command.flagOptions.begin(), command.flagOptions.end(), is)) {
            arguments.flags.push_back(word);
        } else if (word.size() > 1 && word[0] == '-') {
            usageError("unknown option " + word + " (see pelmctl " + std::string(command.name) +
                       " --help)");
            return std::nullopt;
        } else {
            arguments.positional.push_back(word);
        }
    }
    return arguments;
}

}  // namespace

std::optional<std::string> Arguments::option(std::string_view name) const {
    auto found = options.find(name);
    if (found == options.end()) return std::nullopt;
    return found->second;
}

bool Arguments::flag(std::string_view name) const {
    return std::find(flags.begin(), flags.end(), name) != flags.end();
}

CommandRegistration::CommandRegistration(Command command) {
    auto& table = commandTable();
    table.push_back(std::move(command));
    std::sort(table.begin(), table.end(),
              [](const Command& a, const Command& b) { return a.name < b.name; });
}

const std::vector<Command>& registeredCommands() { return commandTable(); }

int usageError(std::string_view message) {
    std::cerr << "pelmctl: " << message << "\n";
    return kExitUsage;
}

std::string terminalText(std::string_view cp932) { return pelm::cp932ToUtf8(cp932); }

}  // namespace pelmctl

int main(int argc, char** argv) {
    using namespace pelmctl;
    std::vector<std::string> words(argv + 1, argv + argc);
    if (words.empty() || isHelp(words[0])) {
        printOverview();
        return words.empty() ? kExitUsage : kExitOk;
    }
    if (words[0] == "--version") {
        std::cout << "pelmctl " << PELM_VERSION << "\n";
        return kExitOk;
    }
    const auto& commands = registeredCommands();
    auto command = std::find_if(commands.begin(), commands.end(),
                                [&](const Command& c) { return c.name == words[0]; });
    if (command == commands.end()) return usageError("unknown command " + words[0] + " (see pelmctl --help)");
    words.erase(words.begin());
    if (std::any_of(words.begin(), words.end(), isHelp)) {
        std::cout << command->help;
        return kExitOk;
    }
    auto arguments = parse(*command, words);
    if (!arguments) return kExitUsage;
    try {
        return command->run(*arguments);
    } catch (const std::exception& error) {
        std::cerr << "pelmctl: " << terminalText(error.what()) << "\n";
        return kExitUsage;
    }
}
