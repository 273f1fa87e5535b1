#pragma once
// A board without a window over a prepared working folder: settings pointing
// at its data folder, the connection, a fixed clock, a recording board and
// the refresh cycle between them; the Japanese time format, as at a venue.

#include <gtest/gtest.h>

#include <memory>

#include "engine/refresh_cycle.h"
#include "support/board_folder.h"
#include "support/data_files.h"
#include "support/time_of_day.h"

namespace pelm::testing {

/// The pieces of one board without a window, wired together.
struct HeadlessParts {
    HeadlessParts() {
        setCurrentLocaleTime(LocaleTime::fromLocale(QLocale("ja_JP")));
        settings.dataDir = Cp932(folder.dataDir());
        database = folder.connect();
        cycle = std::make_unique<RefreshCycle>(*database, settings, clock, board);
    }

    /// One refresh with the data files as they are now.
    RefreshOutcome refresh() { return cycle->refresh(readDataFiles(settings.dataDir)); }

    BoardFolder folder;
    BoardSettings settings = BoardSettings::defaults();
    FixedClock clock{at(10, 40)};
    RecordingBoard board;
    std::unique_ptr<Database> database;
    std::unique_ptr<RefreshCycle> cycle;
};

class HeadlessBoard : public ::testing::Test, protected HeadlessParts {};

}  // namespace pelm::testing
