#pragma once
// `pelmctl doctor`: every check a careful administrator makes on a venue
// PC, each a verdict, a line of detail and, where it is not fine, the
// command that mends it. A check that cannot find out says so; it is never
// shown as fine.

#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "engine/board_settings.h"
#include "venuepc/doctor_sources.h"

namespace pelm::pc {

enum class Verdict { Ok, Fail, Unknown };

struct Check {
    std::string name;  // "clock", "data-folder", …
    Verdict verdict = Verdict::Unknown;
    std::string detail;  // one line
    std::string fix;     // a command, or what to do; empty when ok
    bool fixAsRoot = false;
};

/// How the board is started at login.
enum class StartWay { Nothing, Unit, Autostart, Kiosk, UnitAndAutostart };

/// The board doctor looks at: its folder, its settings as the board would
/// load them, and how it is started.
struct BoardPlace {
    QString folder;            // absolute
    bool hasSettings = false;  // whether the folder holds a PelmDp.ini
    BoardSettings settings;
    StartWay way = StartWay::Nothing;
};

/// The board of `folder`, or where the user's login starts one (the unit's
/// working folder, the autostart entry's), else ~/pelm.
BoardPlace findBoardPlace(DoctorSources& sources, const std::optional<std::string>& folder);

std::vector<Check> runDoctor(DoctorSources& sources, const BoardPlace& place);

/// A folder the settings name (a board path), as the board opens it from
/// its working folder: a relative one lies in that folder.
std::string boardFolderPath(const BoardPlace& place, const Cp932& boardPath);

/// "ok", "fail", "unknown".
const char* verdictWord(Verdict verdict);

}  // namespace pelm::pc
