#pragma once
// The folders a board works on, as its status tells them: where each lies,
// and whether that file system may stall, so an operator sees which of
// them a share can hold up (and that the board reads those off its
// window's thread).

#include <QList>

#include "engine/board_settings.h"
#include "engine/board_status.h"
#include "engine/race_table_place.h"

namespace pelm {

/// The data folder, the race table's (where the board keeps it) and the
/// venue's folder of status copies when the settings name one.
QList<FolderUse> boardFolders(const BoardSettings& settings, const RaceTablePlace& table);

}  // namespace pelm
