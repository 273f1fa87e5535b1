#include "ui/board_life.h"

#include <QCoreApplication>
#include <QDir>

#include "engine/beat_schedule.h"
#include "engine/board_connection.h"
#include "engine/board_folders.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "ui/layout.h"

namespace pelm {
namespace {

// Refresh beats on the wall clock's quarter seconds, 3 ms after each.
constexpr BeatSchedule kBeats{layout::kTimerIntervalMs, 3};

// [Env] StatusDir as the folder of the status copy; empty: no copy.
QString venueFolder(const BoardSettings& settings) {
    if (settings.statusDir.empty()) return {};
    return QString::fromStdString(nativePath(settings.statusDir));
}

// [Env] VenueKey as the key's file; empty: the copy goes unsigned.
QString venueKeyFile(const BoardSettings& settings) {
    if (settings.venueKey.empty()) return {};
    return QString::fromStdString(nativePath(settings.venueKey));
}

}  // namespace

BoardLife::BoardLife(const Clock& clock) : clock_(clock) {}

BoardLife::~BoardLife() = default;

const Clock& BoardLife::systemClock() {
    static const SystemClock clock;
    return clock;
}

void BoardLife::loadSettings() {
    const LoadedSettings& loaded = settingsKeeper_.load(settingsPath(currentDirectory()));
    for (const std::string& warning : loaded.warnings) qWarning("%s", warning.c_str());
}

bool BoardLife::start(Board& board, RunnerEvents& events, ScreenSource& screen, int rowsInSight) {
    // A second window on the same life lets the first one's runner, and so
    // its lock, go before taking them again.
    runner_.reset();
    screen_ = &screen;
    health_ = std::make_unique<BoardHealth>(
        wallTime_, BoardHealthConfig{QDir::currentPath(),
                                     QCoreApplication::applicationVersion(),
                                     venueFolder(settings()),
                                     {},
                                     fromCp932(settings().name),
                                     venueKeyFile(settings())});
    settingsWatch_ =
        std::make_unique<SettingsWatch>(nativePath(settingsPath(currentDirectory())), wallTime_);
    health_->setRowsInSight(rowsInSight);
    health_->started();
    checkClock();
    events_ = std::make_unique<HealthEvents>(*health_, events);
    reported_ = std::make_unique<ReportingBoard>(board, *health_);
    runner_ = std::make_unique<BoardRunner>(settings(), clock_, *reported_, *events_,
                                            connectBoardDatabase);
    const bool running = runner_->start();
    health_->setFolders(boardFolders(settings(), runner_->tablePlace()));
    service_.ready(serviceStatus(health_->state(), clockWatch_.current()));
    return running;
}

void BoardLife::beat() {
    if (!started()) return;
    runner_->tick();
    health_->dataRead(runner_->readTimes());
    checkClock();
    followVenueSettings();
    if (service_.active()) service_.beat(serviceStatus(health_->state(), clockWatch_.current()));
    publishPicture();
}

int BoardLife::msUntilBeat() const {
    return static_cast<int>(kBeats.delayMs(wallTime_.nowMs()));
}

void BoardLife::setRowsInSight(int rows) {
    if (health_) health_->setRowsInSight(rows);
}

void BoardLife::stopped() {
    if (health_) health_->stopped();
    service_.stopping();
}

void BoardLife::checkClock() {
    if (clockWatch_.check()) health_->clockChecked(clockWatch_.current());
}

// StatusDir, Name and VenueKey as the settings file has them now; the other keys
// are the window's and take effect at its next start, as ever.
void BoardLife::followVenueSettings() {
    if (!settingsWatch_->changed()) return;
    const BoardSettings now = loadBoardSettings(settingsPath(currentDirectory())).settings;
    health_->followVenue(venueFolder(now), fromCp932(now.name), venueKeyFile(now));
    BoardSettings followed = settings();
    followed.statusDir = now.statusDir;
    health_->setFolders(boardFolders(followed, runner_->tablePlace()));
}

// The venue's control room sees this screen through a small picture, taken
// on the window's thread (widgets draw there only) when what is shown
// changed, and written beside the status copy through the folder's worker.
void BoardLife::publishPicture() {
    const qint64 now = wallTime_.nowMs();
    if (!health_->publishesPicture() || !picture_.lookNow(now)) return;
    const QByteArray screen = screen_->screenSignature();
    if (!picture_.due(screen, now)) return;
    picture_.taken(screen, now);
    health_->publishPicture(screen_->takePicture());
}

}  // namespace pelm
