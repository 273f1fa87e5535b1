#pragma once
// The running board without its window: the settings, the runner and its
// refresh beat, the board's health and the venue's status copy, the clock
// watch and the service manager's report. main() builds it and the window
// shows it; the window draws, boxes what the runner reports, and lends its
// picture.

#include <QByteArray>
#include <memory>
#include <string>

#include "engine/board.h"
#include "engine/board_health.h"
#include "engine/board_runner.h"
#include "engine/clock.h"
#include "engine/clock_sync_watch.h"
#include "engine/health_events.h"
#include "engine/reporting_board.h"
#include "engine/service_report.h"
#include "engine/settings_keeper.h"
#include "engine/settings_watch.h"
#include "ui/screen_picture.h"

namespace pelm {

/// What the board shows, for the venue's picture of it.
class ScreenSource {
public:
    virtual ~ScreenSource() = default;
    /// All that is on screen but the running clock: a change here is a new
    /// picture.
    virtual QByteArray screenSignature() const = 0;
    /// The screen as drawn, as ScreenPicture::take makes it.
    virtual QByteArray takePicture() = 0;
};

class BoardLife {
public:
    /// The board on `clock`, which must outlive it.
    explicit BoardLife(const Clock& clock = systemClock());
    ~BoardLife();
    BoardLife(const BoardLife&) = delete;
    BoardLife& operator=(const BoardLife&) = delete;

    static const Clock& systemClock();
    const Clock& clock() const { return clock_; }

    BoardSettings& settings() { return settingsKeeper_.settings(); }
    /// Loads PelmDp.ini from the current folder; its warnings go to the
    /// journal.
    void loadSettings();
    /// A key the operator changed through the window's menus.
    void settingChanged(SettingKey key) { settingsKeeper_.touch(key); }
    /// Saves the settings; throws as SettingsKeeper::save.
    void saveSettings() { settingsKeeper_.save(); }

    /// Starts the board on `board`, reporting to `events`: false when the
    /// runner's first start failed (it is tried again at each beat).
    bool start(Board& board, RunnerEvents& events, ScreenSource& screen, int rowsInSight);
    bool started() const { return runner_ != nullptr; }
    /// One refresh beat, and what rides on it: the clock check, the venue
    /// settings, the watchdog's ping and the picture.
    void beat();
    /// Milliseconds from now to the next beat, on the wall clock's quarter
    /// seconds.
    int msUntilBeat() const;
    void setRowsInSight(int rows);
    /// The board has closed: the venue and the service manager are told.
    void stopped();

private:
    void checkClock();
    void followVenueSettings();
    void publishPicture();

    const Clock& clock_;
    SettingsKeeper settingsKeeper_;
    SystemClock wallTime_;
    KernelClockSync clockSource_;
    ClockSyncWatch clockWatch_{clockSource_, wallTime_};
    ServiceReport service_{ServiceNotify::fromEnvironment()};
    std::unique_ptr<BoardHealth> health_;
    std::unique_ptr<HealthEvents> events_;
    std::unique_ptr<ReportingBoard> reported_;  // the runner writes through it
    std::unique_ptr<SettingsWatch> settingsWatch_;
    std::unique_ptr<BoardRunner> runner_;
    ScreenSource* screen_ = nullptr;
    ScreenPicture picture_;
};

}  // namespace pelm
