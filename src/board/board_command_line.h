#pragma once
// PelmDp's command line. Read before the application object exists, so that
// --help, --version and a mistyped option answer without a display and
// without touching any file.

#include <QString>
#include <QStringList>
#include <optional>

namespace pelm {

/// What the operator asked for on the command line.
struct BoardOptions {
    /// Set by --fullscreen (true) or --windowed (false); unset leaves the
    /// choice to PelmDp.ini.
    std::optional<bool> fullScreen;
    /// --screen N: the monitor to cover, counted from 0; unset is the
    /// primary screen.
    std::optional<int> screen;
};

/// The outcome of reading the command line: either run the board with
/// `options`, or print `output` (stdout) and `errors` (stderr) and end with
/// `exitStatus` (0 for --help and --version, 2 for a bad command line).
struct BoardCommandLine {
    bool run = true;
    int exitStatus = 0;
    QString output;
    QString errors;
    BoardOptions options;
};

/// Reads `arguments` (the program's name first, as in argv). Never exits and
/// never prints: the caller does both with what it returns.
BoardCommandLine readBoardCommandLine(const QStringList& arguments);

/// The same from main's arguments, decoded as the system's locale says.
BoardCommandLine readBoardCommandLine(int argc, char** argv);

/// Prints what `command` holds for the terminal; returns its exit status.
int answerCommandLine(const BoardCommandLine& command);

}  // namespace pelm
