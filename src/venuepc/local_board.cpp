#include "venuepc/local_board.h"

#include <unistd.h>

#include <QDateTime>
#include <QFile>

#include "platform/local_status_folder.h"
#include "platform/process_alive.h"
#include "platform/untrusted_folder.h"

namespace pelm::pc {
namespace {

constexpr qint64 kFreshLocalMs = 2000;

std::optional<qint64> ageOf(const BoardStatus& status) {
    if (!status.lastRefreshAt.isValid()) return std::nullopt;
    return status.lastRefreshAt.msecsTo(QDateTime::currentDateTimeUtc());
}

}  // namespace

venue::Verdict judgeLocal(const BoardStatus& status, std::optional<qint64> ageMs, bool alive) {
    using venue::Verdict;
    if (status.state == BoardState::Stopped || !alive) return Verdict::Stopped;
    if (!ageMs || *ageMs > kFreshLocalMs || *ageMs < -kFreshLocalMs) return Verdict::NotAnswering;
    if (status.error) return Verdict::Error;
    switch (status.state) {
        case BoardState::Running:
            return Verdict::Fine;
        case BoardState::Waiting:
            return Verdict::Waiting;
        case BoardState::Starting:
            return Verdict::Starting;
        default:
            return Verdict::NotConnected;
    }
}

bool doesItsJob(venue::Verdict verdict) {
    return verdict == venue::Verdict::Fine || verdict == venue::Verdict::Waiting;
}

LocalBoard localBoard(BoardStatus status) {
    const auto age = ageOf(status);
    const bool alive = processRuns(static_cast<pid_t>(status.pid), status.pidStartTicks);
    const venue::Verdict verdict = judgeLocal(status, age, alive);
    return {std::move(status), age, verdict};
}

// The folder is private, but a link or a file somebody else slipped in is
// not a board of ours.
std::optional<BoardStatus> readLocalStatus(const QString& path) {
    const auto bytes =
        readUntrustedFile(QFile::encodeName(path).toStdString(), kMaxStatusBytes + 1, getuid());
    if (!bytes) return std::nullopt;
    return parseStatus(QByteArray::fromStdString(*bytes));
}

std::vector<BoardStatus> localStatuses(const QString& statusFolder) {
    std::vector<BoardStatus> statuses;
    const auto names = listFolder(QFile::encodeName(statusFolder).toStdString(), ".json");
    for (const std::string& name : names.value_or(std::vector<std::string>{})) {
        if (name.rfind("board-", 0) != 0) continue;
        if (auto status = readLocalStatus(statusFolder + "/" + QFile::decodeName(name.c_str())))
            statuses.push_back(std::move(*status));
    }
    return statuses;
}

std::optional<LocalBoard> boardOfFolder(const QString& statusFolder, const QString& boardFolder) {
    auto status = readLocalStatus(statusFolder + "/" + localStatusName(boardKey(boardFolder)));
    if (!status) return std::nullopt;
    return localBoard(std::move(*status));
}

}  // namespace pelm::pc
