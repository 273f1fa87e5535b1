#include "venue/venue_folder.h"

#include <unistd.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "engine/board_status.h"
#include "platform/share_worker.h"
#include "venue/picture_check.h"

namespace pelm::venue {

// Between the caller and the look's thread, which holds it too: a look
// under way outlives the VenueFolder safely.
struct VenueFolder::Shared {
    std::mutex lock;
    std::condition_variable changed;
    std::string folder;
    PictureBytes pictureBytes = PictureBytes::Changed;
    std::optional<VenueKey> key;
    std::optional<LookHints> request;  // a look asked for, not yet begun
    bool underWay = false;
    bool ended = false;  // the look under way ended and was not taken
    bool closing = false;
    QElapsedTimer since;  // of the look under way
    FolderLook look;
    // The look's thread's own: where the part of a long listing looked at
    // begins, and the digest of each listed copy as last read, so a copy
    // that did not change is not parsed again. Every look is taken by the
    // caller's watch, so what it last had of a copy is what was read here.
    std::size_t rotation = 0;
    std::map<std::string, QByteArray> digests;
};

namespace {

using Shared = VenueFolder::Shared;
using Kind = PathFacts::Kind;

// A step on the folder that has not answered by then ends the look: the
// bound the venue's readers give a whole look.
constexpr std::chrono::milliseconds kStepWait{2500};

// The one place that talks to the folder's worker: one step, its calls in
// one exchange; nothing when the folder did not answer in time. Each answer
// is then taken by answerOf, and any but the one asked for is "not read".
std::optional<std::vector<ShareAnswer>> step(ShareWorker& worker, std::vector<ShareCall> calls) {
    if (calls.empty()) return std::vector<ShareAnswer>();
    std::vector<ShareAnswer> answers = worker.call(std::move(calls), kStepWait);
    const bool none = std::all_of(answers.begin(), answers.end(), [](const ShareAnswer& answer) {
        return std::holds_alternative<NoAnswer>(answer);
    });
    if (none) return std::nullopt;
    return answers;
}

template <class Answer>
Answer* answerOf(std::vector<ShareAnswer>& answers, std::size_t at) {
    return at < answers.size() ? std::get_if<Answer>(&answers[at]) : nullptr;
}

FileRequest untrusted(const std::string& path, std::size_t limit) {
    return {path, limit, Links::NotFollowed};
}

std::string pictureOf(const std::string& copy) {
    return copy.substr(0, copy.size() - 5) + ".png";  // "<base>.json" → "<base>.png"
}

// Whether what stood at a name before and after a read was one regular
// file: the bytes read are then that file's, and so is its owner.
bool oneFile(const PathFacts* before, const FileBytes* bytes, const PathFacts* after) {
    return before && bytes && after && bytes->read() && before->kind == Kind::RegularFile &&
           after->kind == Kind::RegularFile && before->owner == after->owner &&
           before->stamp == after->stamp;
}

// A name that stands for a copy of one of the venue's listed boards: one
// known to be, or one that begins "<listed name>-", as a board's own does.
bool expectedName(const std::string& name, const LookHints& hints) {
    if (hints.expectedCopies.contains(name)) return true;
    for (std::size_t dash = name.find('-'); dash != std::string::npos;
         dash = name.find('-', dash + 1)) {
        if (hints.expectedPrefixes.contains(name.substr(0, dash + 1))) return true;
    }
    return false;
}

// The names to look at this time: all when they fit, else the listed
// boards' and a part of the rest that moves on with every look, so no
// name waits for ever behind the ones before it.
std::vector<std::string> namesToLookAt(const std::vector<std::string>& names,
                                       const LookHints& hints, std::size_t& rotation) {
    if (names.size() <= static_cast<std::size_t>(kMaxLookedAt)) return names;
    std::vector<std::string> chosen, rest;
    for (const std::string& name : names)
        (expectedName(name, hints) ? chosen : rest).push_back(name);
    chosen.resize(std::min<std::size_t>(chosen.size(), kMaxLookedAt));
    const std::size_t room = std::min(kMaxLookedAt - chosen.size(), rest.size());
    for (std::size_t i = 0; i < room; ++i) chosen.push_back(rest[(rotation + i) % rest.size()]);
    rotation += room;
    return chosen;
}

struct Candidate {
    std::string name;
    PathFacts facts;
    int rank = 0;  // 0 first
};

// The copies to read, real boards first: the listed boards', then those of
// owners with a good copy before, then the newest.
void rank(std::vector<Candidate>& candidates, const LookHints& hints) {
    for (Candidate& c : candidates)
        c.rank = expectedName(c.name, hints) ? 0 : hints.goodOwners.contains(c.facts.owner) ? 1 : 2;
    std::stable_sort(candidates.begin(), candidates.end(), [](const auto& a, const auto& b) {
        if (a.rank != b.rank) return a.rank < b.rank;
        return a.facts.stamp.modifiedNs > b.facts.stamp.modifiedNs;
    });
    if (candidates.size() > static_cast<std::size_t>(kMaxCopies)) candidates.resize(kMaxCopies);
}

// False when the folder did not answer; a listing that failed answered.
bool list(Shared& shared, ShareWorker& worker) {
    auto answers = step(worker, {ListRequest{shared.folder, ".json"}});
    if (!answers) return false;
    Listing* listing = answerOf<Listing>(*answers, 0);
    std::lock_guard guard(shared.lock);
    shared.look.listed = listing && listing->names;
    if (!shared.look.listed) {
        shared.look.failure = QString::fromLocal8Bit(std::strerror(listing ? listing->error : EIO));
        return true;
    }
    std::vector<std::string>& names = shared.look.names = std::move(*listing->names);
    std::sort(names.begin(), names.end());
    std::erase_if(shared.digests, [&](const auto& entry) {
        return !std::binary_search(names.begin(), names.end(), entry.first);
    });
    shared.look.unanswered = names;  // until read
    return true;
}

// Looks at the names and chooses the copies to read; says what stands at
// the names that are no file. False when the folder did not answer.
bool choose(Shared& shared, ShareWorker& worker, const LookHints& hints,
            std::vector<Candidate>& chosen) {
    std::vector<std::string> names;
    {
        std::lock_guard guard(shared.lock);
        names = namesToLookAt(shared.look.names, hints, shared.rotation);
    }
    std::vector<ShareCall> calls;
    for (const std::string& name : names) calls.push_back(LookRequest{shared.folder + "/" + name});
    auto answers = step(worker, std::move(calls));
    if (!answers) return false;
    std::vector<std::pair<std::string, std::string>> notFiles;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const PathFacts* facts = answerOf<PathFacts>(*answers, i);
        if (facts && facts->kind == Kind::RegularFile) {
            chosen.push_back({names[i], *facts, 0});
        } else if (facts && facts->kind != Kind::Nothing) {
            notFiles.emplace_back(names[i], describeForeign(*facts, getuid()));
        }
    }
    rank(chosen, hints);
    std::lock_guard guard(shared.lock);
    shared.look.notFiles = std::move(notFiles);
    shared.look.unread =
        static_cast<int>(shared.look.names.size() - chosen.size() - shared.look.notFiles.size());
    shared.look.unanswered.clear();
    for (const Candidate& candidate : chosen) shared.look.unanswered.push_back(candidate.name);
    return true;
}

// The list of the venue's boards from its read; believed only from the
// folder's owner, this reader's user or root: anyone else could list
// boards, or their users, that the venue never named.
ExpectedFile expectedOf(const PathFacts* before, FileBytes* bytes, const PathFacts* after,
                        uid_t folderOwner) {
    ExpectedFile expected;
    expected.facts = after ? *after : PathFacts{};
    using State = ExpectedFile::State;
    const Kind kind = expected.facts.kind;
    const uid_t owner = expected.facts.owner;
    if (kind == Kind::Nothing && bytes && bytes->status == FileBytes::Status::Missing)
        return expected;
    expected.state = kind != Kind::RegularFile && kind != Kind::Nothing        ? State::NotAFile
                     : owner != 0 && owner != getuid() && owner != folderOwner ? State::Untrusted
                     : !oneFile(before, bytes, after)                          ? State::Unreadable
                     : bytes->bytes.size() > static_cast<std::size_t>(kMaxExpectedBytes)
                         ? State::TooLong
                         : State::Read;
    if (expected.state == State::Read) expected.bytes = std::move(bytes->bytes);
    return expected;
}

// A file at the picture name beside a copy that was read.
struct PictureName {
    std::string name;
    PathFacts facts;
};

// Calls per copy read: what stands at its name, its bytes, what stands
// there after, and what stands at its picture's name.
constexpr std::size_t kCallsPerCopy = 4;

// Reads the chosen copies, each between two looks at its name, the list of
// the venue's boards likewise, and what stands at each copy's picture name,
// in one step; false when it did not answer.
bool readCopies(Shared& shared, ShareWorker& worker, const std::vector<Candidate>& chosen,
                std::vector<PictureName>& pictures) {
    const std::string expectedPath = shared.folder + "/" + kExpectedBoardsName;
    std::vector<ShareCall> calls;
    for (const Candidate& copy : chosen) {
        const std::string path = shared.folder + "/" + copy.name;
        calls.insert(calls.end(), {LookRequest{path}, untrusted(path, kMaxStatusBytes + 1),
                                   LookRequest{path}, LookRequest{pictureOf(path)}});
    }
    calls.insert(calls.end(),
                 {LookRequest{expectedPath}, untrusted(expectedPath, kMaxExpectedBytes + 1),
                  LookRequest{expectedPath}, LookRequest{shared.folder + "/."}});
    auto answers = step(worker, std::move(calls));
    if (!answers) return false;
    const qint64 readAt = QDateTime::currentMSecsSinceEpoch();
    std::vector<CopyFile> copies;
    std::vector<std::string> failed;
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        const std::size_t at = i * kCallsPerCopy;
        const PathFacts* after = answerOf<PathFacts>(*answers, at + 2);
        FileBytes* bytes = answerOf<FileBytes>(*answers, at + 1);
        if (!oneFile(answerOf<PathFacts>(*answers, at), bytes, after)) {
            failed.push_back(chosen[i].name);
            continue;
        }
        QByteArray& digest = shared.digests[chosen[i].name];
        copies.push_back(
            {chosen[i].name, checkCopy(bytes->bytes, shared.key, digest), after->owner, readAt});
        digest = copies.back().checked.digest;
        const PathFacts* picture = answerOf<PathFacts>(*answers, at + 3);
        if (picture && picture->kind == Kind::RegularFile)
            pictures.push_back({pictureOf(chosen[i].name), *picture});
    }
    const std::size_t at = chosen.size() * kCallsPerCopy;
    const PathFacts* folder = answerOf<PathFacts>(*answers, at + 3);
    ExpectedFile expected =
        expectedOf(answerOf<PathFacts>(*answers, at), answerOf<FileBytes>(*answers, at + 1),
                   answerOf<PathFacts>(*answers, at + 2), folder ? folder->owner : 0);
    std::lock_guard guard(shared.lock);
    shared.look.unanswered.clear();
    shared.look.copies = std::move(copies);
    shared.look.failed = std::move(failed);
    shared.look.expected = std::move(expected);
    return true;
}

// Whether each picture is one a board could have made, from its head; the
// whole of those new to the caller. False when the folder did not answer.
bool readPictures(Shared& shared, ShareWorker& worker, const std::vector<PictureName>& names,
                  const KnownPictures& known) {
    std::vector<ShareCall> heads;
    for (const PictureName& name : names)
        heads.push_back(untrusted(shared.folder + "/" + name.name, kPictureHeadBytes));
    auto headAnswers = step(worker, std::move(heads));
    if (!headAnswers) return false;
    std::vector<PictureFile> pictures;
    std::vector<ShareCall> wholes;
    std::vector<PictureFile*> readWhole;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const FileBytes* head = answerOf<FileBytes>(*headAnswers, i);
        pictures.push_back({names[i].name, names[i].facts.stamp, false, std::nullopt});
        pictures.back().good = head && head->read() && goodPictureHead(head->bytes) &&
                               names[i].facts.stamp.size <= kMaxPictureBytes;
    }
    for (PictureFile& picture : pictures) {
        const auto had = known.find(picture.name);
        if (!picture.good || shared.pictureBytes == PictureBytes::None ||
            (had != known.end() && had->second == picture.stamp))
            continue;
        wholes.push_back(untrusted(shared.folder + "/" + picture.name, kMaxPictureBytes + 1));
        readWhole.push_back(&picture);
    }
    auto wholeAnswers = step(worker, std::move(wholes));
    if (!wholeAnswers) return false;
    for (std::size_t i = 0; i < readWhole.size(); ++i) {
        const FileBytes* whole = answerOf<FileBytes>(*wholeAnswers, i);
        readWhole[i]->good = whole && whole->read() && goodPicture(whole->bytes);
        if (readWhole[i]->good) readWhole[i]->bytes = QByteArray::fromStdString(whole->bytes);
    }
    std::lock_guard guard(shared.lock);
    shared.look.pictures = std::move(pictures);
    return true;
}

bool listed(Shared& shared) {
    std::lock_guard guard(shared.lock);
    return shared.look.listed;
}

void lookOnce(Shared& shared, ShareWorker& worker, const LookHints& hints) {
    for (const std::string& name : hints.unknownCopies) shared.digests.erase(name);
    bool complete = list(shared, worker);
    if (complete && listed(shared)) {
        std::vector<Candidate> chosen;
        std::vector<PictureName> pictures;
        complete = choose(shared, worker, hints, chosen) &&
                   readCopies(shared, worker, chosen, pictures) &&
                   readPictures(shared, worker, pictures, hints.pictures);
    }
    std::lock_guard guard(shared.lock);
    shared.look.complete = complete;
    shared.underWay = false;
    shared.ended = true;
    shared.changed.notify_all();
}

void serve(std::shared_ptr<Shared> shared, ShareWorker& worker) {
    std::unique_lock guard(shared->lock);
    for (;;) {
        shared->changed.wait(guard, [&] { return shared->closing || shared->request; });
        if (shared->closing) return;
        const LookHints hints = std::move(*shared->request);
        shared->request.reset();
        guard.unlock();
        lookOnce(*shared, worker, hints);
        guard.lock();
    }
}

// The look as far as it got: moved out when it ended, copied while its
// thread may still add to it.
FolderLook take(Shared& shared) {
    shared.ended = false;
    if (shared.underWay) return shared.look;
    return std::move(shared.look);
}

}  // namespace

VenueFolder::VenueFolder(const QString& folder, PictureBytes pictures, std::optional<VenueKey> key)
    : shared_(std::make_shared<Shared>()) {
    shared_->folder = QFile::encodeName(folder).toStdString();
    shared_->pictureBytes = pictures;
    shared_->key = std::move(key);
    // The first look starts at once, its helper made here, so it is ready
    // as soon as it can be.
    shared_->request = LookHints{};
    shared_->underWay = true;
    shared_->since.start();
    std::thread(serve, shared_, std::ref(ShareWorker::forFolder(shared_->folder))).detach();
}

VenueFolder::~VenueFolder() {
    std::lock_guard guard(shared_->lock);
    shared_->closing = true;
    shared_->changed.notify_all();
}

bool VenueFolder::start(LookHints hints) {
    std::lock_guard guard(shared_->lock);
    if (shared_->underWay || shared_->ended) return false;
    shared_->look = FolderLook{};
    shared_->request = std::move(hints);
    shared_->underWay = true;
    shared_->ended = false;
    shared_->since.start();
    shared_->changed.notify_all();
    return true;
}

FolderLook VenueFolder::waitFor(std::chrono::milliseconds wait) {
    std::unique_lock guard(shared_->lock);
    shared_->changed.wait_for(guard, wait, [&] { return !shared_->underWay; });
    return take(*shared_);
}

std::optional<FolderLook> VenueFolder::ended() {
    std::lock_guard guard(shared_->lock);
    if (!shared_->ended) return std::nullopt;
    return take(*shared_);
}

std::optional<qint64> VenueFolder::underWayMs() const {
    std::lock_guard guard(shared_->lock);
    if (!shared_->underWay) return std::nullopt;
    return shared_->since.elapsed();
}

}  // namespace pelm::venue
