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
// a stalled share included, stays within the 3 s a monitoring script waits.
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
pelm::venue::VenueView watchVenue(const QString& folder, const std::optional<pelm::VenueKey>& key) {
    pelm::venue::VenueFolder reader(folder, pelm::venue::PictureBytes::None, key);
    pelm::venue::VenueWatch watch(folder, kWatch.count(), key.has_value());
    QElapsedTimer clock;
    clock.start();
    std::optional<qint64> watchEndMs;  // the first look's copies watched for kWatch
    for (;;) {
        reader.start(watch.hints());
        const auto left = std::max(kDeadline - std::chrono::milliseconds(clock.elapsed()), 0ms);
        pelm::venue::FolderLook look = reader.waitFor(left);
        const bool complete = look.complete;
        watch.take(std::move(look), clock.elapsed(), wallMs());
        if (!watchEndMs) watchEndMs = clock.elapsed() + kWatch.count();
        const qint64 untilEnd = std::min(*watchEndMs, qint64(kDeadline.count())) - clock.elapsed();
        if (!complete || untilEnd <= 0 || watch.allKnown()) break;
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

std::string ownedBy(const QString& owner) {
    return owner.isEmpty() ? std::string() : " (by " + text(owner) + ")";
}

void printCopies(const pelm::venue::VenueBoard& board) {
    if (board.secondsNotRead)
        std::cout << "  not read for " << text(seconds(*board.secondsNotRead))
                  << ": shown as last read\n";
    for (const pelm::venue::OtherCopy& other : board.duplicates)
        std::cout << "  also claimed by " << text(other.copy) << ownedBy(other.owner) << ", "
                  << text(verdictWord(other.verdict)) << "\n";
    if (board.conflict && board.duplicates.isEmpty())
        std::cout << "  two boards write this copy (same host and folder)\n";
}

std::string forgeryText(const pelm::venue::VenueBoard& board) {
    using pelm::venue::Forgery;
    switch (board.forgery) {
        case Forgery::Owner:
            return "written by " + text(board.owner) + ", where " +
                   pelm::venue::kExpectedBoardsName + " names " + text(board.expectedOwner);
        case Forgery::Unsigned:
            return "not signed with the venue key";
        case Forgery::BadSignature:
            return "signed with another key, or changed since it was signed";
        case Forgery::Replayed:
            return "a signed status older than one seen before, shown again";
        default:
            return {};
    }
}

void printBoard(const pelm::venue::VenueBoard& board) {
    if (board.verdict == Verdict::Forged) {
        std::cout << text(board.name) << ": forged, " << text(board.copy) << ownedBy(board.owner)
                  << " claims this board but is " << forgeryText(board) << "\n";
        return;
    }
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
              << ", now " << text(nowText(s)) << ", copy " << text(board.copy)
              << ownedBy(board.owner) << "\n";
    if (s.error) std::cout << "  error: " << text(*s.error) << " (" << s.errorCount << " times)\n";
    if (const QString clock = clockLine(board); !clock.isEmpty())
        std::cout << "  clock: " << text(clock) << "\n";
    printCopies(board);
}

void printCounts(const pelm::venue::VenueView& view) {
    for (const QString& name : view.unanswered)
        std::cout << text(name) << ": not read (the read failed or did not answer)\n";
    for (const QString& entry : view.damaged) {  // "<name>: <why>"
        const qsizetype colon = entry.indexOf(QLatin1String(": "));
        std::cout << text(entry.left(colon)) << ": damaged, " << text(entry.mid(colon + 2)) << "\n";
    }
    const pelm::venue::CopyCounts& copies = view.copies;
    if (copies.unread)
        std::cout << copies.unread << " of " << copies.listed << " copies unread: more than "
                  << pelm::venue::kMaxCopies << "\n";
    if (copies.damaged > view.damaged.size())
        std::cout << copies.damaged << " copies damaged in all\n";
    if (!view.expectedProblem.isEmpty()) std::cout << text(view.expectedProblem) << "\n";
}

void printText(const pelm::venue::VenueView& view) {
    if (!view.answering)
        std::cout << "The folder " << text(view.folder)
                  << (view.failure.isEmpty() ? " stalled: it does not answer"
                                             : " cannot be read: " + text(view.failure))
                  << "\n";
    printCounts(view);
    if (view.answering && view.boards.empty())
        std::cout << "No board status in " << text(view.folder) << "\n";
    for (const pelm::venue::VenueBoard& board : view.boards) printBoard(board);
}

bool allFine(const pelm::venue::VenueView& view) {
    const pelm::venue::CopyCounts& copies = view.copies;
    if (!view.answering || view.boards.empty() || copies.damaged || copies.unread ||
        copies.notRead || !view.expectedProblem.isEmpty())
        return false;
    return std::all_of(view.boards.begin(), view.boards.end(), [](const auto& board) {
        return !board.trouble() &&
               (board.verdict == Verdict::Fine || board.verdict == Verdict::Waiting);
    });
}

}  // namespace

int showVenue(const QString& folder, bool json, const std::optional<pelm::VenueKey>& key) {
    const pelm::venue::VenueView view = watchVenue(folder, key);
    if (json)
        std::cout << pelm::venue::venueJson(view, QDateTime::currentDateTimeUtc()).toStdString();
    else
        printText(view);
    std::cout.flush();
    return allFine(view) ? kExitOk : kExitFailed;
}

}  // namespace pelmctl
