#include "venue/venue_folder.h"

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
    std::optional<KnownPictures> request;  // a look asked for, not yet begun
    bool underWay = false;
    bool ended = false;  // the look under way ended and was not taken
    bool closing = false;
    QElapsedTimer since;  // of the look under way
    FolderLook look;
};

namespace {

using Shared = VenueFolder::Shared;

// A step on the folder that has not answered by then ends the look: the
// bound the venue's readers give a whole look.
constexpr std::chrono::milliseconds kStepWait{2500};

// One step on the folder, its calls in one exchange; nothing when it did
// not answer in time. A call that failed on its own answers for itself:
// each is taken with get_if, and one of another kind counts as not read.
std::optional<std::vector<ShareAnswer>> step(ShareWorker& worker, std::vector<ShareCall> calls) {
    if (calls.empty()) return std::vector<ShareAnswer>();
    std::vector<ShareAnswer> answers = worker.call(std::move(calls), kStepWait);
    if (std::holds_alternative<NoAnswer>(answers.front())) return std::nullopt;
    return answers;
}

FileBytes fileOf(ShareAnswer& answer) {
    return fileBytesOf(std::move(answer));
}

FileRequest untrusted(const std::string& path, std::size_t limit) {
    return {path, limit, Links::NotFollowed};
}

std::string pictureOf(const std::string& copy) {
    return copy.substr(0, copy.size() - 5) + ".png";  // "<base>.json" → "<base>.png"
}

// A file at the picture name beside a copy that was read.
struct PictureName {
    std::string name;
    PathFacts facts;
};

// False when the folder did not answer; a listing that failed answered.
bool list(Shared& shared, ShareWorker& worker) {
    auto answers = step(worker, {ListRequest{shared.folder, ".json"}});
    if (!answers) return false;
    Listing* listing = std::get_if<Listing>(&answers->front());
    std::lock_guard guard(shared.lock);
    shared.look.listed = listing && listing->names.has_value();
    if (!shared.look.listed) {
        const auto* failed = std::get_if<CallFailed>(&answers->front());
        shared.look.failure = listing  ? QString::fromLocal8Bit(std::strerror(listing->error))
                              : failed ? QString::fromStdString(failed->reason)
                                       : QStringLiteral("no answer");
        return true;
    }
    std::vector<std::string>& names = *listing->names;
    shared.look.tooMany = names.size() > static_cast<std::size_t>(kMaxCopies);
    if (shared.look.tooMany) names.resize(kMaxCopies);
    shared.look.unanswered = std::move(names);
    return true;
}

// Reads the listed copies, the list of the venue's boards, and what stands
// at each copy's picture name, in one step; false when it did not answer.
bool readCopies(Shared& shared, ShareWorker& worker, std::vector<PictureName>& pictures) {
    std::vector<std::string> names;
    {
        std::lock_guard guard(shared.lock);
        names = shared.look.unanswered;
    }
    std::vector<ShareCall> calls;
    for (const std::string& name : names)
        calls.push_back(untrusted(shared.folder + "/" + name, kMaxStatusBytes + 1));
    calls.push_back(untrusted(shared.folder + "/" + kExpectedBoardsName, kMaxExpectedBytes));
    for (const std::string& name : names)
        calls.push_back(LookRequest{shared.folder + "/" + pictureOf(name)});
    auto answers = step(worker, std::move(calls));
    if (!answers) return false;
    const qint64 readAt = QDateTime::currentMSecsSinceEpoch();
    std::lock_guard guard(shared.lock);
    shared.look.unanswered.clear();
    for (std::size_t i = 0; i < names.size(); ++i) {
        FileBytes copy = fileOf((*answers)[i]);
        if (!copy.read()) continue;
        shared.look.copies.push_back({names[i], std::move(copy.bytes), readAt});
        const PathFacts* picture = std::get_if<PathFacts>(&(*answers)[names.size() + 1 + i]);
        if (picture && picture->kind == PathFacts::Kind::RegularFile)
            pictures.push_back({pictureOf(names[i]), *picture});
    }
    FileBytes expected = fileOf((*answers)[names.size()]);
    if (expected.read()) shared.look.expected = std::move(expected.bytes);
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
        const FileBytes head = fileOf((*headAnswers)[i]);
        pictures.push_back({names[i].name, names[i].facts.stamp, false, std::nullopt});
        pictures.back().good = head.read() && goodPictureHead(head.bytes) &&
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
        const FileBytes whole = fileOf((*wholeAnswers)[i]);
        readWhole[i]->good = whole.read() && goodPicture(whole.bytes);
        if (readWhole[i]->good) readWhole[i]->bytes = QByteArray::fromStdString(whole.bytes);
    }
    std::lock_guard guard(shared.lock);
    shared.look.pictures = std::move(pictures);
    return true;
}

bool listed(Shared& shared) {
    std::lock_guard guard(shared.lock);
    return shared.look.listed;
}

void lookOnce(Shared& shared, ShareWorker& worker, const KnownPictures& known) {
    bool complete = list(shared, worker);
    std::vector<PictureName> pictures;
    if (complete && listed(shared))
        complete =
            readCopies(shared, worker, pictures) && readPictures(shared, worker, pictures, known);
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
        const KnownPictures known = std::move(*shared->request);
        shared->request.reset();
        guard.unlock();
        lookOnce(*shared, worker, known);
        guard.lock();
    }
}

}  // namespace

VenueFolder::VenueFolder(const QString& folder, PictureBytes pictures)
    : shared_(std::make_shared<Shared>()) {
    shared_->folder = QFile::encodeName(folder).toStdString();
    shared_->pictureBytes = pictures;
    // The first look starts at once, its helper made here, so it is ready
    // as soon as it can be.
    shared_->request = KnownPictures{};
    shared_->underWay = true;
    shared_->since.start();
    std::thread(serve, shared_, std::ref(ShareWorker::forFolder(shared_->folder))).detach();
}

VenueFolder::~VenueFolder() {
    std::lock_guard guard(shared_->lock);
    shared_->closing = true;
    shared_->changed.notify_all();
}

bool VenueFolder::start(KnownPictures known) {
    std::lock_guard guard(shared_->lock);
    if (shared_->underWay) return false;
    shared_->look = FolderLook{};
    shared_->request = std::move(known);
    shared_->underWay = true;
    shared_->ended = false;
    shared_->since.start();
    shared_->changed.notify_all();
    return true;
}

FolderLook VenueFolder::waitFor(std::chrono::milliseconds wait) {
    std::unique_lock guard(shared_->lock);
    shared_->changed.wait_for(guard, wait, [&] { return !shared_->underWay; });
    shared_->ended = false;
    return shared_->look;
}

std::optional<FolderLook> VenueFolder::ended() {
    std::lock_guard guard(shared_->lock);
    if (!shared_->ended) return std::nullopt;
    shared_->ended = false;
    return shared_->look;
}

std::optional<qint64> VenueFolder::underWayMs() const {
    std::lock_guard guard(shared_->lock);
    if (!shared_->underWay) return std::nullopt;
    return shared_->since.elapsed();
}

}  // namespace pelm::venue
