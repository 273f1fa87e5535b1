#include "venue/venue_folder.h"

#include <sys/stat.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "engine/board_status.h"
#include "platform/untrusted_folder.h"
#include "venue/picture_check.h"

namespace pelm::venue {

// Between the caller and the folder's thread, which holds it too: a thread
// left hanging on a frozen share outlives the VenueFolder safely.
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

std::optional<FileStamp> stampOf(const std::string& path) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
    return FileStamp{
        status.st_ino, status.st_size,
        static_cast<long long>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec};
}

std::string pictureOf(const std::string& copy) {
    return copy.substr(0, copy.size() - 5) + ".png";  // "<base>.json" → "<base>.png"
}

// The picture beside one copy, when there is a file there.
std::optional<PictureFile> lookAtPicture(const std::string& folder, const std::string& name,
                                         const KnownPictures& known, PictureBytes bytes) {
    const std::string path = folder + "/" + name;
    const std::optional<FileStamp> stamp = stampOf(path);
    if (!stamp) return std::nullopt;
    PictureFile picture{name, *stamp, false, std::nullopt};
    const auto head = readUntrustedFile(path, kPictureHeadBytes);
    picture.good = head && goodPictureHead(*head) && stamp->size <= kMaxPictureBytes;
    const auto had = known.find(name);
    if (!picture.good || bytes == PictureBytes::None ||
        (had != known.end() && had->second == *stamp))
        return picture;
    const auto whole = readUntrustedFile(path, kMaxPictureBytes + 1);
    picture.good = whole && goodPicture(*whole);
    if (picture.good) picture.bytes = QByteArray::fromStdString(*whole);
    return picture;
}

void list(Shared& shared, const std::string& folder) {
    errno = 0;
    auto names = listFolder(folder, ".json");
    const int error = errno;
    std::lock_guard guard(shared.lock);
    shared.look.listed = names.has_value();
    if (!names) {
        shared.look.failure = QString::fromLocal8Bit(std::strerror(error ? error : EIO));
        return;
    }
    shared.look.tooMany = names->size() > static_cast<std::size_t>(kMaxCopies);
    if (shared.look.tooMany) names->resize(kMaxCopies);
    shared.look.unanswered = std::move(*names);
}

// Reads the copies still unanswered, one by one, each taken off the list
// as it answers.
void readCopies(Shared& shared, const std::string& folder) {
    for (;;) {
        std::string name;
        {
            std::lock_guard guard(shared.lock);
            if (shared.look.unanswered.empty()) return;
            name = shared.look.unanswered.front();
        }
        auto bytes = readUntrustedFile(folder + "/" + name, kMaxStatusBytes + 1);
        const qint64 readAt = QDateTime::currentMSecsSinceEpoch();
        std::lock_guard guard(shared.lock);
        shared.look.unanswered.erase(shared.look.unanswered.begin());
        if (bytes) shared.look.copies.push_back({name, std::move(*bytes), readAt});
    }
}

void readRest(Shared& shared, const std::string& folder, const KnownPictures& known) {
    auto expected = readUntrustedFile(folder + "/" + kExpectedBoardsName, kMaxExpectedBytes);
    std::vector<std::string> copies;
    {
        std::lock_guard guard(shared.lock);
        shared.look.expected = std::move(expected);
        for (const CopyFile& copy : shared.look.copies) copies.push_back(copy.name);
    }
    for (const std::string& copy : copies) {
        auto picture = lookAtPicture(folder, pictureOf(copy), known, shared.pictureBytes);
        std::lock_guard guard(shared.lock);
        if (picture) shared.look.pictures.push_back(std::move(*picture));
    }
}

void lookOnce(Shared& shared, const KnownPictures& known) {
    list(shared, shared.folder);
    bool listed;
    {
        std::lock_guard guard(shared.lock);
        listed = shared.look.listed;
    }
    if (listed) {
        readCopies(shared, shared.folder);
        readRest(shared, shared.folder, known);
    }
    std::lock_guard guard(shared.lock);
    shared.look.complete = true;
    shared.underWay = false;
    shared.ended = true;
    shared.changed.notify_all();
}

void serve(std::shared_ptr<Shared> shared) {
    std::unique_lock guard(shared->lock);
    for (;;) {
        shared->changed.wait(guard, [&] { return shared->closing || shared->request; });
        if (shared->closing) return;
        const KnownPictures known = std::move(*shared->request);
        shared->request.reset();
        guard.unlock();
        lookOnce(*shared, known);
        guard.lock();
    }
}

}  // namespace

VenueFolder::VenueFolder(const QString& folder, PictureBytes pictures)
    : shared_(std::make_shared<Shared>()) {
    shared_->folder = QFile::encodeName(folder).toStdString();
    shared_->pictureBytes = pictures;
    std::thread(serve, shared_).detach();
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
