#include "venue/venue_watch.h"

#include <QCollator>
#include <QCryptographicHash>
#include <QFile>
#include <QLocale>
#include <algorithm>
#include <set>

namespace pelm::venue {
namespace {

// Enough changes to find one read soon after its write: the board's clock
// is at least a sample's worth ahead of ours, and the nearest is the best.
constexpr std::size_t kOffsetSamples = 20;

QString local(const std::string& name) {
    return QFile::decodeName(name.c_str());
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

// A short digest that names a board in every series of it.
QString idOf(const QString& what) {
    return QString::fromLatin1(
        QCryptographicHash::hash(what.toUtf8(), QCryptographicHash::Sha256).toHex().left(12));
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

// Copies that claim one board make one card: the worst of them speaks, and
// the others are named beside it. Never the one that changed last: a copy
// rewritten by somebody else must not cover a board gone quiet.
VenueBoard oneBoard(std::vector<VenueBoard> claims) {
    std::stable_sort(claims.begin(), claims.end(), [](const VenueBoard& a, const VenueBoard& b) {
        return severity(a.verdict) < severity(b.verdict);
    });
    VenueBoard board = std::move(claims.front());
    for (std::size_t i = 1; i < claims.size(); ++i)
        board.duplicates.append({claims[i].copy, claims[i].owner, claims[i].verdict});
    board.conflict = board.conflict || claims.size() > 1;
    return board;
}

// A forged copy's card: what it claims, who wrote it and why it is not the
// board's; nothing of what it says of the board.
VenueBoard forgedBoard(VenueBoard claim) {
    VenueBoard board;
    board.verdict = Verdict::Forged;
    board.name = claim.name;
    board.id = idOf(QStringLiteral("copy\n") + claim.copy);
    board.copy = claim.copy;
    board.owner = claim.owner;
    board.forgery = claim.forgery;
    board.expectedOwner = claim.expectedOwner;
    board.secondsSinceChange = claim.secondsSinceChange;
    return board;
}

}  // namespace

QString forgeryWord(Forgery forgery) {
    switch (forgery) {
        case Forgery::Owner:
            return QStringLiteral("owner");
        case Forgery::Unsigned:
            return QStringLiteral("unsigned");
        case Forgery::BadSignature:
            return QStringLiteral("bad signature");
        case Forgery::Replayed:
            return QStringLiteral("replayed");
        default:
            return {};
    }
}

int VenueView::inTroubleCount() const {
    return static_cast<int>(std::count_if(boards.begin(), boards.end(),
                                          [](const VenueBoard& b) { return b.trouble(); }));
}

VenueWatch::VenueWatch(QString folder, qint64 patienceMs, bool keyed)
    : folder_(std::move(folder)), patienceMs_(patienceMs), keyed_(keyed) {}

void VenueWatch::take(FolderLook look, qint64 monotonicMs, qint64 wallMs) {
    answering_ = look.listed && look.complete;
    failure_ = look.failure;
    if (answering_) {
        readMs_ = monotonicMs;
        notAnsweringSince_ = QDateTime();
    } else if (!notAnsweringSince_.isValid()) {
        notAnsweringSince_ = QDateTime::fromMSecsSinceEpoch(wallMs, Qt::UTC);
    }
    if (!look.listed) return;  // nothing learnt of the copies
    lastListedMs_ = monotonicMs;
    unknownCopies_.clear();
    counts_ = {static_cast<int>(look.names.size()),
               static_cast<int>(look.copies.size()),
               look.unread,
               static_cast<int>(look.failed.size() + look.unanswered.size()),
               static_cast<int>(look.notFiles.size()),
               0};
    for (CopyFile& file : look.copies) takeCopy(std::move(file), monotonicMs);
    forgetGone(look);
    takePictures(look);
    notRead_.clear();
    for (const auto* names : {&look.failed, &look.unanswered}) {
        for (const std::string& name : *names) {
            if (notRead_.size() < kMaxNamedCopies) notRead_.append(local(name));
        }
    }
    notFiles_.clear();
    for (const auto& [name, what] : look.notFiles) {
        if (notFiles_.size() < kMaxNamedCopies) notFiles_.append(local(name + ": " + what));
    }
    if (look.complete) takeExpected(std::move(look.expected));
}

void VenueWatch::lookHangs(qint64 wallMs) {
    answering_ = false;
    if (!notAnsweringSince_.isValid())
        notAnsweringSince_ = QDateTime::fromMSecsSinceEpoch(wallMs, Qt::UTC);
}

void VenueWatch::takeCopy(CopyFile file, qint64 monotonicMs) {
    auto [at, fresh] = copies_.try_emplace(file.name);
    if (file.checked.unchanged && (fresh || at->second.digest != file.checked.digest)) {
        if (fresh) {  // unchanged from a read this watch never had
            copies_.erase(at);
            unknownCopies_.insert(file.name);
        }
        return;
    }
    Copy& copy = at->second;
    copy.readMs = monotonicMs;
    copy.owner = file.owner;
    if (fresh) copy.firstSeenMs = monotonicMs;
    if (!fresh && copy.digest == file.checked.digest) return;
    if (!fresh) copy.changedMs = monotonicMs;
    copy.digest = std::move(file.checked.digest);
    copy.status = std::move(file.checked.status);
    copy.problem = std::move(file.checked.problem);
    copy.signature = file.checked.signature;
    if (!copy.status) return;
    noteSigned(copy);
    if (fresh) return;
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

// A board's process signs every status later than the one before: a
// signed status of the same process no later than one already seen was
// signed once and is shown again, by somebody who kept it.
void VenueWatch::noteSigned(Copy& copy) const {
    if (copy.signature != CopySignature::Good) return;
    const BoardStatus& status = *copy.status;
    copy.replayed = copy.lastSigned && copy.lastSigned->first == status.pid &&
                    status.writtenAt <= copy.lastSigned->second;
    if (!copy.replayed) copy.lastSigned = std::pair{status.pid, status.writtenAt};
}

// A copy no longer listed is gone from the folder; one listed but not read
// keeps what it last said.
void VenueWatch::forgetGone(const FolderLook& look) {
    const std::set<std::string> present(look.names.begin(), look.names.end());
    std::erase_if(copies_, [&](const auto& entry) { return !present.contains(entry.first); });
}

void VenueWatch::takePictures(FolderLook& look) {
    std::map<std::string, Picture> kept;
    for (PictureFile& file : look.pictures) {
        Picture picture{file.stamp, file.good, {}};
        const auto had = pictures_.find(file.name);
        if (file.bytes) {
            picture.bytes = std::move(*file.bytes);
        } else if (had != pictures_.end() && had->second.stamp == file.stamp) {
            picture.bytes = had->second.bytes;
        }
        kept.emplace(file.name, std::move(picture));
    }
    if (!look.complete) kept.merge(pictures_);  // the rest may not have been looked at
    pictures_ = std::move(kept);
}

void VenueWatch::takeExpected(ExpectedFile expected) {
    if (expected.state == expectedFile_.state && expected.bytes == expectedFile_.bytes &&
        expected.facts.kind == expectedFile_.facts.kind)
        return;
    expected_ = expectedBoards(expected);
    expectedFile_ = std::move(expected);
}

LookHints VenueWatch::hints() const {
    LookHints hints;
    hints.unknownCopies = unknownCopies_;
    for (const auto& [name, picture] : pictures_) {
        if (picture.good && !picture.bytes.isEmpty()) hints.pictures.emplace(name, picture.stamp);
    }
    for (const ExpectedBoard& listed : expected_.boards) {
        hints.expectedPrefixes.insert(QFile::encodeName(listed.name + "-").toStdString());
        if (listed.user) hints.goodOwners.insert(*listed.user);
    }
    for (const auto& [name, copy] : copies_) {
        if (!copy.status || forgery(copy) != Forgery::None) continue;
        if (listedBoard(expected_, *copy.status)) hints.expectedCopies.insert(name);
        hints.goodOwners.insert(copy.owner);
    }
    return hints;
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

QString VenueWatch::ownerName(uid_t owner) const {
    auto [at, fresh] = ownerNames_.try_emplace(owner);
    if (fresh) at->second = QString::fromStdString(userName(owner));
    return at->second;
}

// Why a copy is not the board's own; None when nothing says it is not.
Forgery VenueWatch::forgery(const Copy& copy, QString* expectedOwner) const {
    if (keyed_ && copy.signature == CopySignature::Unsigned) return Forgery::Unsigned;
    if (keyed_ && copy.signature == CopySignature::Bad) return Forgery::BadSignature;
    if (keyed_ && copy.replayed) return Forgery::Replayed;
    const ExpectedBoard* listed = listedBoard(expected_, *copy.status);
    if (!listed || !listed->user || *listed->user == copy.owner) return Forgery::None;
    if (expectedOwner) *expectedOwner = listed->userName;
    return Forgery::Owner;
}

VenueView VenueWatch::view(qint64 monotonicMs, qint64 wallMs) const {
    VenueView view;
    view.folder = folder_;
    view.answering = answering_;
    view.failure = failure_;
    if (readMs_) view.secondsSinceRead = (monotonicMs - *readMs_) / 1000.0;
    view.notAnsweringSince = notAnsweringSince_;
    view.keyed = keyed_;
    view.expectedProblem = expected_.problem;
    view.unanswered = notRead_;
    std::map<QString, std::vector<VenueBoard>> claims;  // by the board they claim
    for (const auto& [name, copy] : copies_) {
        if (!copy.status) continue;
        VenueBoard board = boardOf(name, copy, monotonicMs, wallMs);
        if (board.forgery != Forgery::None) {
            view.boards.push_back(forgedBoard(std::move(board)));
        } else {
            claims[identity(*copy.status)].push_back(std::move(board));
        }
    }
    for (auto& [identity, boards] : claims) view.boards.push_back(oneBoard(std::move(boards)));
    addMissing(view);
    countCopies(view);
    std::sort(view.boards.begin(), view.boards.end(), worse);
    return view;
}

// The copies' counts of the last look; the damaged ones are those it read
// damaged, and the names that stand for no file at all.
void VenueWatch::countCopies(VenueView& view) const {
    view.copies = counts_;
    view.damaged = notFiles_;
    for (const auto& [name, copy] : copies_) {
        if (copy.status || copy.readMs != lastListedMs_) continue;
        ++view.copies.damaged;
        if (view.damaged.size() < kMaxNamedCopies)
            view.damaged.append(local(name) + ": " + copy.problem);
    }
    view.copies.forged = static_cast<int>(
        std::count_if(view.boards.begin(), view.boards.end(),
                      [](const VenueBoard& board) { return board.verdict == Verdict::Forged; }));
}

VenueBoard VenueWatch::boardOf(const std::string& name, const Copy& copy, qint64 monotonicMs,
                               qint64 wallMs) const {
    VenueBoard board;
    board.status = copy.status;
    board.name = displayName(*copy.status);
    board.id = idOf(identity(*copy.status));
    board.copy = local(name);
    board.owner = ownerName(copy.owner);
    board.forgery = forgery(copy, &board.expectedOwner);
    board.verdict = judge(copy, *copy.status, monotonicMs);
    if (copy.changedMs) board.secondsSinceChange = (monotonicMs - *copy.changedMs) / 1000.0;
    if (copy.readMs < lastListedMs_) board.secondsNotRead = (monotonicMs - copy.readMs) / 1000.0;
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

// A listed board that no copy of its own speaks for is missing; a forgery
// that claims it does not count.
void VenueWatch::addMissing(VenueView& view) const {
    for (const ExpectedBoard& listed : expected_.boards) {
        const bool present = std::any_of(view.boards.begin(), view.boards.end(), [&](auto& b) {
            return b.status && (b.name == listed.name || b.status->host == listed.name);
        });
        if (present) continue;
        VenueBoard missing;
        missing.verdict = Verdict::Missing;
        missing.name = listed.name;
        missing.id = idOf(QStringLiteral("missing\n") + listed.name);
        view.boards.push_back(std::move(missing));
    }
}

}  // namespace pelm::venue
