#include "engine/board_health.h"

#include <unistd.h>

#include <QFile>
#include <QSysInfo>

#include "platform/atomic_file.h"
#include "platform/codepage.h"
#include "platform/journal.h"
#include "platform/local_status_folder.h"
#include "platform/process_alive.h"

namespace pelm {
namespace {

constexpr qint64 kMinuteMs = 60 * 1000;

QString localStatusPath(const BoardHealthConfig& config, const QString& key) {
    QString folder = config.localStatusFolder;
    if (folder.isEmpty()) {
        QString problem;
        const auto prepared = prepareLocalStatusFolder(&problem);
        if (!prepared) {
            qCWarning(lcBoard).noquote() << "no status file: " + problem;
            return {};
        }
        folder = *prepared;
    }
    return folder + QLatin1Char('/') + localStatusName(key);
}

QDateTime utcOf(qint64 ms) {
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

}  // namespace

BoardHealth::BoardHealth(const Clock& time, BoardHealthConfig config)
    : time_(time),
      config_(std::move(config)),
      key_(boardKey(config_.workingFolder)),
      host_(QSysInfo::machineHostName()),
      errors_(time, QtCriticalMsg),
      localFailures_(time, QtWarningMsg) {
    config_.workingFolder = canonicalFolder(config_.workingFolder);
    localPath_ = localStatusPath(config_, key_);
    venue_ = venueWriter();
}

std::unique_ptr<VenueStatusWriter> BoardHealth::venueWriter() const {
    if (config_.venueFolder.isEmpty()) return nullptr;
    return std::make_unique<VenueStatusWriter>(config_.venueFolder, venueBaseName(host_, key_),
                                               time_, config_.venueKey);
}

BoardHealth::~BoardHealth() {
    if (started_ && state_ != BoardState::Stopped) stopped();
}

void BoardHealth::started() {
    started_ = true;
    startedMs_ = time_.nowMs();
    qCInfo(lcBoard).noquote() << QStringLiteral("board %1 in %2, pid %3, status file %4")
                                     .arg(config_.version, config_.workingFolder)
                                     .arg(getpid())
                                     .arg(localPath_.isEmpty() ? QStringLiteral("none")
                                                               : localPath_);
    enter(BoardState::Starting);
}

void BoardHealth::showingUpcoming(std::shared_ptr<const ResultSet> upcoming) {
    upcoming_ = std::move(upcoming);
}

void BoardHealth::showingPreviousRace(const Cp932& title) {
    previousRace_ = title;
}

void BoardHealth::refreshed(BoardState state, const std::optional<Cp932>& leftOut) {
    markActivity(time_.nowMs());
    const std::optional<QString> before =
        errors_.active() ? std::optional(errors_.current()) : std::nullopt;
    if (leftOut) {
        errors_.occurredCp932(*leftOut);
    } else {
        errors_.cleared();
    }
    if (state != state_) return enter(state);
    const std::optional<QString> after =
        errors_.active() ? std::optional(errors_.current()) : std::nullopt;
    writeIfDue(before != after);
}

void BoardHealth::failed(const Cp932& message) {
    markActivity(time_.nowMs());
    const bool wasActive = errors_.active();
    errors_.occurredCp932(message);
    writeIfDue(!wasActive);
}

void BoardHealth::cleared() {
    const bool hadError = errors_.active();
    errors_.cleared();
    writeIfDue(hadError);
}

void BoardHealth::stopped() {
    errors_.cleared();
    enter(BoardState::Stopped);
    waitForVenueCopy(VenueStatusWriter::kCloseWaitMs);
}

void BoardHealth::clockChecked(const std::optional<ClockSync>& sync) {
    const auto synchronised = [](const std::optional<ClockSync>& s) {
        return s ? std::optional(s->synchronised) : std::nullopt;
    };
    const bool changed = synchronised(clock_) != synchronised(sync);
    clock_ = sync;
    writeIfDue(changed);
}

void BoardHealth::markActivity(qint64 now) {
    lastActivityMs_ = now;
    recentMs_.push_back(now);
    while (!recentMs_.empty() && (now - recentMs_.front() >= kMinuteMs || recentMs_.front() > now))
        recentMs_.pop_front();
}

void BoardHealth::followVenue(const QString& venueFolder, const QString& name,
                              const QString& venueKey) {
    const bool moved = venueFolder != config_.venueFolder;
    const bool rekeyed = venueKey != config_.venueKey;
    if (!moved && !rekeyed && name == config_.name) return;
    if (moved && venue_) {
        qCInfo(lcBoard).noquote() << QStringLiteral("status copy moves from %1 to %2")
                                         .arg(config_.venueFolder, venueFolder.isEmpty()
                                                                       ? QStringLiteral("nowhere")
                                                                       : venueFolder);
        BoardStatus left = snapshot();
        left.state = BoardState::Stopped;
        venue_->submit(statusJson(left));
    }
    config_.venueFolder = venueFolder;
    config_.name = name;
    config_.venueKey = venueKey;
    if (moved) {
        venue_ = venueWriter();
        pictureTakenMs_.reset();
    } else if (rekeyed && venue_) {
        venue_->setKeyFile(venueKey);
    }
    if (started_) writeIfDue(true);
}

void BoardHealth::publishPicture(QByteArray png) {
    if (!venue_) return;
    pictureTakenMs_ = time_.nowMs();
    venue_->submitPicture(std::move(png));
}

void BoardHealth::setFolders(const QList<FolderUse>& folders) {
    if (folders == folders_) return;
    folders_ = folders;
    if (started_) writeIfDue(true);
}

void BoardHealth::setRowsInSight(int rows) {
    if (rows == rowsInSight_) return;
    rowsInSight_ = rows;
    if (started_) writeIfDue(true);
}

void BoardHealth::enter(BoardState state) {
    state_ = state;
    states_.enter(state);
    writeIfDue(true);
}

void BoardHealth::writeIfDue(bool urgent) {
    const qint64 now = time_.nowMs();
    // A clock set back counts as due, or the file would stand still until
    // the clock caught up.
    if (!urgent && lastWriteMs_ && now >= *lastWriteMs_ && now - *lastWriteMs_ < kWriteIntervalMs)
        return;
    lastWriteMs_ = now;
    const QByteArray json = statusJson(snapshot());
    if (!localPath_.isEmpty()) {
        if (replaceFileAtomically(QFile::encodeName(localPath_).toStdString(),
                                  std::string_view(json.constData(), json.size()),
                                  Durability::Visible)) {
            localFailures_.cleared();
        } else {
            localFailures_.occurred(
                QStringLiteral("status file %1 cannot be written").arg(localPath_));
        }
    }
    if (venue_) venue_->submit(json);
}

BoardStatus BoardHealth::snapshot() const {
    BoardStatus status;
    status.pid = getpid();
    static const std::optional<std::uint64_t> startTicks = processStartTicks(getpid());
    status.pidStartTicks = startTicks;
    status.startedAt = utcOf(startedMs_ ? startedMs_ : time_.nowMs());
    if (lastActivityMs_) status.lastRefreshAt = utcOf(*lastActivityMs_);
    status.refreshesLastMinute = static_cast<int>(recentMs_.size());
    status.state = state_;
    if (upcoming_ && state_ == BoardState::Running)
        status.rows = shownRaces(*upcoming_, rowsInSight_);
    if (state_ == BoardState::Running) status.previousRace = fromCp932(previousRace_);
    if (errors_.active()) {
        status.error = cutToFit(errors_.current(), kMaxErrorChars);
        status.errorCount = errors_.count();
    }
    status.host = host_;
    status.workingFolder = config_.workingFolder;
    status.version = config_.version;
    status.name = cutToFit(config_.name, kMaxNameChars);
    status.writtenAt = utcOf(time_.nowMs());
    if (venue_) status.picture = venue_->pictureName();
    if (venue_ && pictureTakenMs_) status.pictureTakenAt = utcOf(*pictureTakenMs_);
    status.dataReadMs = readTimes_.latestMs;
    status.dataReadSlowestMs = readTimes_.slowestMs;
    status.folders = folders_;
    if (clock_) {
        status.clockSynchronised = clock_->synchronised;
        status.clockMaxErrorMs = clock_->maxErrorMs;
    }
    return status;
}

}  // namespace pelm
