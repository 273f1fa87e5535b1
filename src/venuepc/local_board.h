#pragma once
// The boards of this user on this PC, from the status files they keep in
// the user's private status folder, judged as `pelmctl status` judges
// them; `setup` and `doctor` look at them the same way.

#include <QString>
#include <optional>
#include <vector>

#include "engine/board_status.h"
#include "venue/verdict.h"

namespace pelm::pc {

struct LocalBoard {
    BoardStatus status;
    std::optional<qint64> ageMs;  // since the last refresh
    venue::Verdict verdict;
};

/// A board on this PC shares the reader's clock, so its last refresh
/// tells how long ago it refreshed: more than 2 s is not answering.
venue::Verdict judgeLocal(const BoardStatus& status, std::optional<qint64> ageMs, bool alive);

/// Fine or waiting: the board does its job.
bool doesItsJob(venue::Verdict verdict);

/// The status with its age and verdict, its process looked up.
LocalBoard localBoard(BoardStatus status);

/// A status file of this user's own (a regular file, no link); nothing for
/// anything else or a file that is no status.
std::optional<BoardStatus> readLocalStatus(const QString& path);

/// Every board's status in a status folder.
std::vector<BoardStatus> localStatuses(const QString& statusFolder);

/// The board of the working folder `boardFolder` (canonical), when its
/// status file is in `statusFolder`.
std::optional<LocalBoard> boardOfFolder(const QString& statusFolder, const QString& boardFolder);

}  // namespace pelm::pc
