#include "venue/venue_watch.h"

#include <QCollator>
#include <QFile>
#include <QLocale>
#include <algorithm>
#include <set>

namespace pelm::venue {
namespace {

// Enough changes to find one read soon after its write: the board's clock
// is at least a sample's worth ahead of ours, and the nearest is the best.
constexpr std::size_t kOffsetSamples = 20;
constexpr int kMaxExpectedBoards = 256;

QString local(const std::string& name) {
    return QFile::decodeName(name.c_str());
}

std::optional<BoardStatus> parsedCopy(const std::string& bytes) {
    return parseStatus(QByteArray::fromStdString(bytes));
}

// When the board formed the status, by its own clock.
std::optional<qint64> writtenAtMs(const BoardStatus& status) {
    if (status.writtenAt.isValid()) return status.writtenAt.toMSecsSinceEpoch();
    if (status.lastRefreshAt.isValid()) return status.lastRefreshAt.toMSecsSinceEpoch();
    return std::nullopt;
}

QString identity(const BoardStatus& status) {
    return status.host + QLatin1Char('\n') + status.workingFolder;
}

QString displayName(const BoardStatus& status) {
    return status.name.isEmpty() ? status.host : status.name;
}

QStringList expectedNames(const std::string& text) {
    QStringList names;
    for (const QString& line : QString::fromUtf8(text).split(QLatin1Char('\n'))) {
        const QString name = line.trimmed();
        if (name.isEmpty() || name.startsWith(QLatin1Char('#')) || name.size() > kMaxNameChars)
            continue;
        if (!names.contains(name) && names.size() < kMaxExpectedBoards) names.append(name);
    }
    return names;
}

QString versionOf(const FileStamp& stamp) {
    return QStringLiteral("%1-%2-%3").arg(stamp.inode).arg(stamp.size).arg(stamp.modifiedNs);
}

// The worst first; then by name as people read it ("表示板 2" before
// "表示板 10").
bool worse(const VenueBoard& a, const VenueBoard& b) {
    if (a.verdict != b.verdict) return severity(a.verdict) < severity(b.verdict);
    static const QCollator byName = [] {
        QCollator collator(QLocale(QLocale::Japanese, QLocale::Japan));
        collator.setNumericMode(true);
        return collator;
    }();
    if (const int order = byName.compare(a.name, b.name)) return order < 0;
    return a.copy < b.copy;
}

}  // namespace

int VenueView::inTroubleCount() const {
    return static_cast<int>(std::count_if(
        boards.begin(), boards.end(), [](const VenueBoard& b) { return inTrouble(b.verdict); }));
}

VenueWatch::VenueWatch(QString folder, qint64 patienceMs)
    : folder_(std::move(folder)), patienceMs_(patienceMs) {}

void VenueWatch::take(const FolderLook& look, qint64 monotonicMs, qint64 wallMs) {
    answering_ = look.listed && look.complete;
    failure_ = look.failure;
    if (answering_) {
        readMs_ = monotonicMs;
        notAnsweringSince_ = QDateTime();
    } else if (!notAnsweringSince_.isValid()) {
        notAnsweringSince_ = QDateTime::fromMSecsSinceEpoch(wallMs, Qt::UTC);
    }
    if (!look.listed) return;  // nothing learnt of the copies
    for (const CopyFile& file : look.copies) takeCopy(file, monotonicMs);
    forgetGone(look);
    takePictures(look);
    unanswered_.clear();
    for (const std::string& name : look.unanswered) unanswered_.append(local(name));
    tooMany_ = look.tooMany;
    if (look.complete) expected_ = look.expected ? expectedNames(*look.expected) : QStringList();
}

void VenueWatch::lookHangs(qint64 wallMs) {
    answering_ = false;
    if (!notAnsweringSince_.isValid())
        notAnsweringSince_ = QDateTime::fromMSecsSinceEpoch(wallMs, Qt::UTC);
}

void VenueWatch::takeCopy(const CopyFile& file, qint64 monotonicMs) {
    auto [at, fresh] = copies_.try_emplace(file.name);
    Copy& copy = at->second;
    if (fresh) copy.firstSeenMs = monotonicMs;
    if (!fresh && copy.bytes == file.bytes) return;
    if (!fresh) copy.changedMs = monotonicMs;
    copy.bytes = file.bytes;
    copy.status = parsedCopy(file.bytes);
    if (!copy.status || fresh) return;
    noteWriter(copy, monotonicMs);
    if (const auto written = writtenAtMs(*copy.status)) {
        copy.offsetSamplesMs.push_back(*written - file.readAtMs);
        if (copy.offsetSamplesMs.size() > kOffsetSamples) copy.offsetSamplesMs.pop_front();
    }
}

// A board restarted writes under a new pid and never again under the old
// one; two boards writing one copy take turns, and the one that wrote
// before writes again.
void VenueWatch::noteWriter(Copy& copy, qint64 monotonicMs) const {
    const qint64 pid = copy.status->pid;
    const auto before = copy.writers.find(pid);
    if (pid != copy.lastPid && before != copy.writers.end() &&
        monotonicMs - before->second.seenMs <= patienceMs_)
        copy.alternatedMs = monotonicMs;
    copy.writers[pid] = {*copy.status, monotonicMs};
    copy.lastPid = pid;
    std::erase_if(copy.writers, [&](const auto& entry) {
        return monotonicMs - entry.second.seenMs > patienceMs_;
    });
}

// A copy neither read nor waited for is gone from the folder.
void VenueWatch::forgetGone(const FolderLook& look) {
    std::set<std::string> present(look.unanswered.begin(), look.unanswered.end());
    for (const CopyFile& file : look.copies) present.insert(file.name);
    std::erase_if(copies_, [&](const auto& entry) { return !present.contains(entry.first); });
}

void VenueWatch::takePictures(const FolderLook& look) {
    std::map<std::string, Picture> kept;
    for (const PictureFile& file : look.pictures) {
        Picture picture{file.stamp, file.good, {}};
        const auto had = pictures_.find(file.name);
        if (file.bytes) {
            picture.bytes = *file.bytes;
        } else if (had != pictures_.end() && had->second.stamp == file.stamp) {
            picture.bytes = had->second.bytes;
        }
        kept.emplace(file.name, std::move(picture));
    }
    if (!look.complete) kept.merge(pictures_);  // the rest may not have been looked at
    pictures_ = std::move(kept);
}

KnownPictures VenueWatch::knownPictures() const {
    KnownPictures known;
    for (const auto& [name, picture] : pictures_) {
        if (picture.good && !picture.bytes.isEmpty()) known.emplace(name, picture.stamp);
    }
    return known;
}

const QByteArray* VenueWatch::picture(const QString& name) const {
    const auto found = pictures_.find(QFile::encodeName(name).toStdString());
    if (found == pictures_.end() || !found->second.good || found->second.bytes.isEmpty())
        return nullptr;
    return &found->second.bytes;
}

bool VenueWatch::allKnown() const {
    return std::all_of(copies_.begin(), copies_.end(), [](const auto& entry) {
        const Copy& copy = entry.second;
        return copy.changedMs || !copy.status || copy.status->state == BoardState::Stopped;
    });
}

VenueView VenueWatch::view(qint64 monotonicMs, qint64 wallMs) const {
    VenueView view;
    view.folder = folder_;
    view.answering = answering_;
    view.failure = failure_;
    if (readMs_) view.secondsSinceRead = (monotonicMs - *readMs_) / 1000.0;
    view.notAnsweringSince = notAnsweringSince_;
    view.unanswered = unanswered_;
    view.tooMany = tooMany_;
    std::map<QString, VenueBoard> byIdentity;
    for (const auto& [name, copy] : copies_) {
        if (!copy.status) {
            view.damaged.append(local(name));
            continue;
        }
        VenueBoard board = boardOf(name, copy, monotonicMs, wallMs);
        auto [at, fresh] = byIdentity.try_emplace(identity(*copy.status), board);
        if (fresh) continue;
        // The copy seen to change last speaks for the board; the others are
        // a file manager's copy, a sync tool's conflict, a folder moved.
        const bool newer = board.secondsSinceChange &&
                           (!at->second.secondsSinceChange ||
                            *board.secondsSinceChange < *at->second.secondsSinceChange);
        VenueBoard& kept = at->second;
        const QString other = newer ? kept.copy : board.copy;
        if (newer) kept = std::move(board);
        kept.duplicates.append(other);
    }
    for (auto& [identity, board] : byIdentity) view.boards.push_back(std::move(board));
    addMissing(view);
    std::sort(view.boards.begin(), view.boards.end(), worse);
    return view;
}

VenueBoard VenueWatch::boardOf(const std::string& name, const Copy& copy, qint64 monotonicMs,
                               qint64 wallMs) const {
    VenueBoard board;
    board.status = copy.status;
    board.name = displayName(*copy.status);
    board.copy = local(name);
    board.verdict = judge(copy, *copy.status, monotonicMs);
    if (copy.changedMs) board.secondsSinceChange = (monotonicMs - *copy.changedMs) / 1000.0;
    if (!copy.offsetSamplesMs.empty()) {
        const qint64 offset =
            *std::max_element(copy.offsetSamplesMs.begin(), copy.offsetSamplesMs.end());
        board.clockOffsetSeconds = offset / 1000.0;
    }
    judgeWriters(copy, monotonicMs, board);
    placePicture(name, copy, wallMs, board);
    return board;
}

Verdict VenueWatch::judge(const Copy& copy, const BoardStatus& status, qint64 monotonicMs) const {
    if (status.state == BoardState::Stopped) return Verdict::Stopped;
    const qint64 quiet = monotonicMs - copy.changedMs.value_or(copy.firstSeenMs);
    if (quiet >= patienceMs_) return Verdict::NotAnswering;
    if (status.error) return Verdict::Error;
    if (status.state == BoardState::NotConnected) return Verdict::NotConnected;
    if (status.state == BoardState::Starting) return Verdict::Starting;
    if (!copy.changedMs) return Verdict::Checking;
    return status.state == BoardState::Waiting ? Verdict::Waiting : Verdict::Fine;
}

// Two boards that write one copy (PCs cloned from one image keep one host
// name and folder) show as one, flagged, at the worse of their verdicts.
void VenueWatch::judgeWriters(const Copy& copy, qint64 monotonicMs, VenueBoard& board) const {
    board.conflict = copy.alternatedMs && monotonicMs - *copy.alternatedMs <= patienceMs_;
    if (!board.conflict) return;
    for (const auto& [pid, writer] : copy.writers) {
        const Verdict verdict = judge(copy, writer.status, monotonicMs);
        if (severity(verdict) < severity(board.verdict)) board.verdict = verdict;
    }
}

// Only the picture beside the board's own copy, by the copy's own name:
// no copy can make another board's picture, or any other file, its own.
void VenueWatch::placePicture(const std::string& name, const Copy& copy, qint64 wallMs,
                              VenueBoard& board) const {
    const std::string own = name.substr(0, name.size() - 5) + ".png";
    if (copy.status->picture != local(own)) return;
    const auto found = pictures_.find(own);
    if (found == pictures_.end()) return;
    board.pictureDamaged = !found->second.good;
    if (!found->second.good) return;
    board.picture = local(own);
    board.pictureVersion = versionOf(found->second.stamp);
    if (board.clockOffsetSeconds && copy.status->pictureTakenAt.isValid()) {
        const double taken =
            copy.status->pictureTakenAt.toMSecsSinceEpoch() - *board.clockOffsetSeconds * 1000.0;
        board.pictureAgeSeconds = std::max(0.0, (wallMs - taken) / 1000.0);
    }
}

void VenueWatch::addMissing(VenueView& view) const {
    for (const QString& name : expected_) {
        const bool present = std::any_of(view.boards.begin(), view.boards.end(), [&](auto& b) {
            return b.name == name || (b.status && b.status->host == name);
        });
        if (present) continue;
        VenueBoard missing;
        missing.verdict = Verdict::Missing;
        missing.name = name;
        view.boards.push_back(std::move(missing));
    }
}

}  // namespace pelm::venue
