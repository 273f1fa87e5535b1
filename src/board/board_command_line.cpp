#include "board/board_command_line.h"

#include <QCommandLineParser>
#include <cstdio>

namespace pelm {
namespace {

constexpr int kBadCommandLine = 2;
const QString kProgram = QStringLiteral("PelmDp");

const QCommandLineOption kFullScreen("fullscreen",
                                     "Cover the whole screen, the board scaled to fit on black.");
const QCommandLineOption kWindowed(
    "windowed", "Show the designed 1013 x 710 window, whatever PelmDp.ini says.");
const QCommandLineOption kScreen("screen", "Cover monitor <N> (0 is the first) in full screen.",
                                 "N");

const char kDescription[] =
    "The race-day display board: a wall clock, the race now running, the races that\n"
    "follow and a notice, read from the data folder named in PelmDp.ini in the\n"
    "current directory. [Env] FullScreen=1 there starts it in full screen.\n"
    "The clock follows LC_TIME (or LANG): ja_JP.UTF-8 shows 9:05:07.";

void describe(QCommandLineParser& parser) {
    parser.setApplicationDescription(kDescription);
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(kFullScreen);
    parser.addOption(kWindowed);
    parser.addOption(kScreen);
}

BoardCommandLine refuse(const QString& message) {
    BoardCommandLine result;
    result.run = false;
    result.exitStatus = kBadCommandLine;
    result.errors = QStringLiteral("PelmDp: %1\nTry 'PelmDp --help'.\n").arg(message);
    return result;
}

BoardCommandLine answer(const QString& text) {
    BoardCommandLine result;
    result.run = false;
    result.output = text;
    return result;
}

std::optional<int> screenNumber(const QString& text) {
    bool ok = false;
    const int number = text.toInt(&ok);
    if (!ok || number < 0) return std::nullopt;
    return number;
}

}  // namespace

BoardCommandLine readBoardCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    describe(parser);
    if (!parser.parse(arguments)) return refuse(parser.errorText());
    if (!parser.positionalArguments().isEmpty()) {
        return refuse(
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    }
    // Read before the application exists, the parser cannot name the program.
    if (parser.isSet("help") || parser.isSet("help-all")) {
        return answer(parser.helpText().replace("<executable_name>", kProgram));
    }
    if (parser.isSet("version"))
        return answer(QStringLiteral("%1 %2\n").arg(kProgram, PELM_VERSION));
    if (parser.isSet(kFullScreen) && parser.isSet(kWindowed)) {
        return refuse(QStringLiteral("--fullscreen and --windowed exclude each other"));
    }
    BoardCommandLine result;
    if (parser.isSet(kFullScreen)) result.options.fullScreen = true;
    if (parser.isSet(kWindowed)) result.options.fullScreen = false;
    if (parser.isSet(kScreen)) {
        result.options.screen = screenNumber(parser.value(kScreen));
        if (!result.options.screen) {
            return refuse(QStringLiteral("--screen wants a monitor number (0, 1, ...), not '%1'")
                              .arg(parser.value(kScreen)));
        }
    }
    return result;
}

BoardCommandLine readBoardCommandLine(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));
    return readBoardCommandLine(arguments);
}

int answerCommandLine(const BoardCommandLine& command) {
    std::fputs(command.output.toLocal8Bit().constData(), stdout);
    std::fputs(command.errors.toLocal8Bit().constData(), stderr);
    return command.exitStatus;
}

}  // namespace pelm
