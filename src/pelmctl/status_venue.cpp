#include "pelmctl/status_venue.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <chrono>
#include <iostream>
#include <thread>

#include "pelmctl/command.h"
#include "venue/venue_folder.h"
#include "venue/venue_json.h"
#include "venue/venue_watch.h"

namespace pelmctl {
namespace {

using namespace std::chrono_literals;
using pelm::venue::Verdict;

// A running board rewrites its copy every second, so a copy that does not
// change while pelmctl watches this long belongs to a board not answering.
// The watch ends sooner once every copy has changed; the whole of it, a
// frozen share included, stays within the 3 s a monitoring script waits.
constexpr std::chrono::milliseconds kWatch{1500};
constexpr std::chrono::milliseconds kLookInterval{250};
constexpr std::chrono::milliseconds kDeadline{2500};

std::string text(const QString& utf16) {
    return utf16.toStdString();
}

qint64 wallMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

// Looks at the folder until every copy was seen to change or the watch is
// over; a look that hangs ends it at the deadline.
pelm::venue::VenueView watchVenue(const QString& folder) {
    pelm::venue::VenueFolder reader(folder, pelm::venue::PictureBytes::None);
    pelm::venue::VenueWatch watch(folder, kWatch.count());
    QElapsedTimer clock;
    clock.start();
    std::optional<qint64> watchEndMs;  // the first look's copies watched for kWatch
    for (;;) {
        reader.start();
        const auto left = std::max(kDeadline - std::chrono::milliseconds(clock.elapsed()), 0ms);
        const pelm::venue::FolderLook look = reader.waitFor(left);
        watch.take(look, clock.elapsed(), wallMs());
        if (!watchEndMs) watchEndMs = clock.elapsed() + kWatch.count();
        const qint64 untilEnd = std::min(*watchEndMs, qint64(kDeadline.count())) - clock.elapsed();
        if (!look.complete || untilEnd <= 0 || watch.allKnown()) break;
        std::this_thread::sleep_for(std::min(kLookInterval, std::chrono::milliseconds(untilEnd)));
    }
    return watch.view(clock.elapsed(), wallMs());
}

QString seconds(double value) {
    return QString::number(value, 'f', value < 10 ? 1 : 0) + " s";
}

QString nowText(const pelm::BoardStatus& status) {
    if (status.rows.isEmpty()) return QStringLiteral("-");
    const pelm::ShownRace& race = status.rows.first();
    return (race.start + "-" + race.end + " " + race.title).trimmed();
}

QString clockLine(const pelm::venue::VenueBoard& board) {
    QStringList parts;
    if (board.status->clockSynchronised == false) parts << QStringLiteral("not synchronised");
    if (board.clockOffsetSeconds && std::abs(*board.clockOffsetSeconds) > 2) {
        parts << QStringLiteral("%1 %2 this PC's")
                     .arg(seconds(std::abs(*board.clockOffsetSeconds)),
                          *board.clockOffsetSeconds > 0 ? "ahead of" : "behind");
    }
    return parts.join(QStringLiteral("; "));
}

void printBoard(const pelm::venue::VenueBoard& board) {
    if (!board.status) {
        std::cout << text(board.name) << ": missing, listed in " << pelm::venue::kExpectedBoardsName
                  << " but no status copy\n";
        return;
    }
    const pelm::BoardStatus& s = *board.status;
    std::cout << text(board.name) << " (" << text(s.host) << ", " << text(s.workingFolder)
              << "): " << text(verdictWord(board.verdict)) << ", " << text(stateName(s.state))
              << ", changed "
              << (board.secondsSinceChange ? text(seconds(*board.secondsSinceChange)) + " ago"
                                           : std::string("not while watched"))
              << ", now " << text(nowText(s)) << "\n";
    if (s.error) std::cout << "  error: " << text(*s.error) << " (" << s.errorCount << " times)\n";
    if (const QString clock = clockLine(board); !clock.isEmpty())
        std::cout << "  clock: " << text(clock) << "\n";
    if (!board.duplicates.isEmpty())
        std::cout << "  also copied as: " << text(board.duplicates.join(", ")) << "\n";
    if (board.conflict) std::cout << "  two boards write this copy (same host and folder)\n";
}

void printText(const pelm::venue::VenueView& view) {
    if (!view.answering)
        std::cout << "The folder " << text(view.folder)
                  << (view.failure.isEmpty() ? " stalled: it does not answer"
                                             : " cannot be read: " + text(view.failure))
                  << "\n";
    for (const QString& name : view.unanswered)
        std::cout << text(name) << ": not read, the folder stalled\n";
    for (const QString& name : view.damaged)
        std::cout << text(name) << ": damaged, no board's status\n";
    if (view.tooMany)
        std::cout << "More than " << pelm::venue::kMaxCopies << " copies: the rest unread\n";
    if (view.answering && view.boards.empty())
        std::cout << "No board status in " << text(view.folder) << "\n";
    for (const pelm::venue::VenueBoard& board : view.boards) printBoard(board);
}

bool allFine(const pelm::venue::VenueView& view) {
    if (!view.answering || view.boards.empty() || !view.damaged.isEmpty() || view.tooMany)
        return false;
    return std::all_of(view.boards.begin(), view.boards.end(), [](const auto& board) {
        return board.verdict == Verdict::Fine || board.verdict == Verdict::Waiting;
    });
}

}  // namespace

int showVenue(const QString& folder, bool json) {
    const pelm::venue::VenueView view = watchVenue(folder);
    if (json)
        std::cout << pelm::venue::venueJson(view, QDateTime::currentDateTimeUtc()).toStdString();
    else
        printText(view);
    std::cout.flush();
    return allFine(view) ? kExitOk : kExitFailed;
}

}  // namespace pelmctl
