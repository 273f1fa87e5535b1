// pelmctl: the board's companion tool for operators: prepares data folders,
// checks schedules, and shows what the board would show.

#include <QCommandLineParser>
#include <QStringList>
#include <algorithm>
#include <iostream>

#include "pelmctl/command.h"
#include "platform/codepage.h"
#include "platform/error.h"

namespace pelmctl {
namespace {

std::vector<Command>& commandTable() {
    static std::vector<Command> table;
    return table;
}

void printOverview() {
    // The "or:" lines and the Options block follow the GNU layout, which
    // help2man turns into the man page's synopsis and options.
    std::cout << "Usage: pelmctl COMMAND [OPTIONS] [--] [ARGUMENTS]\n"
                 "  or:  pelmctl help COMMAND\n"
                 "  or:  pelmctl --help | --version\n\n"
                 "The race-day display board's companion tool.\n\nCommands:\n";
    for (const Command& command : registeredCommands()) {
        std::cout << "  " << command.name
                  << std::string(10 - std::min<size_t>(9, command.name.size()), ' ')
                  << command.summary << "\n";
    }
    std::cout << "\nOptions:\n"
                 "  -h, --help  this overview; after a command, that command's options\n"
                 "  --version   the version of pelmctl\n\n"
                 "An option takes its value as --name VALUE or --name=VALUE; after -- every\n"
                 "word is an argument, even one that starts with a dash.\n"
                 "\nExamples:\n"
                 "  pelmctl init /srv/pelm/data\n"
                 "  pelmctl help check\n";
}

QString bare(std::string_view option) {
    while (!option.empty() && option.front() == '-') option.remove_prefix(1);
    return QString::fromUtf8(option.data(), option.size());
}

std::string local(const QString& word) {
    return word.toLocal8Bit().toStdString();
}

const Command* findCommand(const QString& name) {
    const auto& commands = registeredCommands();
    auto found = std::find_if(commands.begin(), commands.end(),
                              [&](const Command& c) { return bare(c.name) == name; });
    return found == commands.end() ? nullptr : &*found;
}

int unknownCommand(const QString& name) {
    return usageError("unknown command " + local(name) + " (see pelmctl --help)");
}

// QCommandLineParser words its errors as sentences ("Unknown option 'x'.");
// here they continue with where to look.
int parseError(const QCommandLineParser& parser, std::string_view seeAlso) {
    QString text = parser.errorText();
    if (text.endsWith('.')) text.chop(1);
    if (!text.isEmpty()) text[0] = text[0].toLower();
    return usageError(local(text) + " (see " + std::string(seeAlso) + ")");
}

Arguments argumentsOf(const Command& command, const QCommandLineParser& parser) {
    Arguments arguments;
    for (const QString& word : parser.positionalArguments())
        arguments.positional.push_back(local(word));
    for (std::string_view name : command.valueOptions) {
        if (parser.isSet(bare(name)))
            arguments.options[std::string(name)] = local(parser.value(bare(name)));
    }
    for (std::string_view name : command.flagOptions) {
        if (parser.isSet(bare(name))) arguments.flags.emplace_back(name);
    }
    return arguments;
}

int runCommand(const Command& command, const QStringList& words) {
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{"h", "help"});
    parser.addOption(help);
    for (std::string_view name : command.valueOptions)
        parser.addOption(QCommandLineOption(bare(name), QString(), "value"));
    for (std::string_view name : command.flagOptions)
        parser.addOption(QCommandLineOption(bare(name)));
    const std::string seeAlso = "pelmctl " + std::string(command.name) + " --help";
    if (!parser.parse(QStringList{"pelmctl"} + words)) return parseError(parser, seeAlso);
    if (parser.isSet(help)) {
        std::cout << command.help;
        return kExitOk;
    }
    try {
        return command.run(argumentsOf(command, parser));
    } catch (const pelm::Error& error) {
        std::cerr << "pelmctl: " << terminalText(error.message()) << "\n";
        return kExitFailed;
    }
}

// `pelmctl help [COMMAND]`: the overview, or that command's help.
int help(const QStringList& words) {
    if (words.isEmpty()) {
        printOverview();
        return kExitOk;
    }
    if (words.size() > 1) return usageError("help takes one command: pelmctl help COMMAND");
    const Command* command = findCommand(words[0]);
    if (!command) return unknownCommand(words[0]);
    std::cout << command->help;
    return kExitOk;
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

const std::vector<Command>& registeredCommands() {
    return commandTable();
}

int usageError(std::string_view message) {
    std::cerr << "pelmctl: " << message << "\n";
    return kExitUsage;
}

std::string terminalText(const pelm::Cp932& text) {
    return pelm::cp932ToUtf8(text);
}

namespace {

// The tool's own options come before the command word; everything from the
// command word on belongs to the command.
int dispatch(const QStringList& words) {
    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption helpOption(QStringList{"h", "help"});
    const QCommandLineOption versionOption("version");
    parser.addOptions({helpOption, versionOption});
    if (!parser.parse(words)) return parseError(parser, "pelmctl --help");
    if (parser.isSet(versionOption)) {
        std::cout << "pelmctl " << PELM_VERSION << "\n";
        return kExitOk;
    }
    const QStringList rest = parser.positionalArguments();
    if (parser.isSet(helpOption)) return help(rest);
    if (rest.isEmpty() || rest[0] == "help") return help(rest.mid(1));
    const Command* command = findCommand(rest[0]);
    if (!command) return unknownCommand(rest[0]);
    return runCommand(*command, rest.mid(1));
}

}  // namespace
}  // namespace pelmctl

int main(int argc, char** argv) {
    QStringList words;
    for (int i = 0; i < argc; ++i) words.append(QString::fromLocal8Bit(argv[i]));
    return pelmctl::dispatch(words);
}
