#pragma once
// The checks of `pelmctl doctor`, one function each, all reading one
// survey of the PC taken before them.

#include <optional>
#include <string>

#include "venuepc/doctor.h"

namespace pelm::pc {

/// What every check may look at.
struct Survey {
    DoctorSources& sources;
    const BoardPlace& place;
    std::optional<LocalBoard> board;     // the folder's board, when it left a status
    std::optional<Environment> manager;  // the user manager's environment
    std::optional<std::string> x11;      // the desktop's X display
    std::optional<std::string> wayland;  // the desktop's Wayland display
    bool desktopSession() const { return x11 || wayland; }
    /// The board's process when it runs.
    std::optional<qint64> runningPid() const;
};

Check ok(std::string name, std::string detail);
Check fail(std::string name, std::string detail, std::string fix, bool asRoot = false);
Check unknown(std::string name, std::string detail, std::string fix, bool asRoot = false);

/// A shell word for a path or text (single quotes where needed).
std::string quoted(const std::string& word);

/// The command that starts the board now, or again, the way it is started.
std::string startCommand(const Survey& survey);
std::string restartCommand(const Survey& survey);

// Checks of the board and its start (doctor_board_checks.cpp).
Check checkVersion(Survey& survey);
Check checkStartAtLogin(Survey& survey);
Check checkAutoLogin(Survey& survey);
Check checkBoardRuns(Survey& survey);

// Checks of the folders the board uses (doctor_folder_checks.cpp).
Check checkDataFolder(Survey& survey);
Check checkShareMount(Survey& survey);
Check checkStatusFolder(Survey& survey);
Check checkFreeSpace(Survey& survey);

// Checks of the PC's clock and screen (doctor_pc_checks.cpp).
Check checkClock(Survey& survey);
Check checkTimeServer(Survey& survey);
Check checkBlanking(Survey& survey);
Check checkTimeFormat(Survey& survey);

}  // namespace pelm::pc
