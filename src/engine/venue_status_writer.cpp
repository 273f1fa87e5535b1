#include "engine/venue_status_writer.h"

#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/untrusted_folder.h"

namespace pelm {

struct VenueStatusWriter::Outcome {
    QString failure;    // empty: written
    QString displaced;  // what stood at the name instead of the board's copy
};

// What the board's thread and the writing thread share. The writing thread
// holds it too, so a thread left stuck on a dead share outlives the writer
// safely.
struct VenueStatusWriter::Shared {
    std::mutex lock;
    std::condition_variable changed;
    std::string folder;  // native
    std::string base;    // native; the writing thread moves it at most once
    std::optional<QByteArray> pending;
    std::optional<QByteArray> pendingPicture;
    bool busy = false;
    bool closing = false;
    bool moved = false;
    QByteArray lastPicture;  // the writing thread's: written again when the names move
    std::vector<Outcome> outcomes;

    std::string path(const char* extension) {
        std::lock_guard guard(lock);
        return folder + "/" + base + extension;
    }
};

namespace {

using Shared = VenueStatusWriter::Shared;
using Outcome = VenueStatusWriter::Outcome;

QString local(const std::string& text) {
    return QFile::decodeName(text.c_str());
}

// `what` names the file in the journal: "status copy", "screen picture".
Outcome writeAt(const std::string& path, const QByteArray& content, const QString& what) {
    errno = 0;
    const std::string_view bytes(content.constData(), content.size());
    std::string displaced;
    if (replaceFileAtomically(path, bytes, Durability::Visible, &displaced)) {
        if (displaced.empty()) return {};
        return {{},
                QStringLiteral("%1 %2 was %3; replaced by the board's own file, "
                               "nothing written through it")
                    .arg(what, local(path), local(displaced))};
    }
    const int error = errno;
    return {
        QStringLiteral("%1 %2 cannot be written: %3")
            .arg(what, local(path),
                 error ? QString::fromLocal8Bit(std::strerror(error)) : QStringLiteral("refused")),
        {}};
}

// A name the folder will not let the board take over: something that is
// not the board's own stands there and the write failed.
bool takenByAnother(const std::string& path) {
    return !describeForeign(path, getuid()).empty();
}

// Moves the copy and its picture to a name of the board's own; says so.
Outcome moveAside(Shared& shared, const std::string& refused) {
    const std::string what = describeForeign(refused, getuid());
    {
        std::lock_guard guard(shared.lock);
        shared.base += "-" + unguessableText();
        shared.moved = true;
    }
    return {{},
            QStringLiteral("status copy %1 is %2, which this folder does not let the board "
                           "replace: the copy and its picture go to %3 instead")
                .arg(local(refused), local(what), local(shared.path(".json")))};
}

// One file, moved to the board's own name when the usual one is refused.
void writeOne(Shared& shared, const char* extension, const QByteArray& content, const QString& what,
              std::vector<Outcome>& outcomes) {
    const std::string path = shared.path(extension);
    Outcome outcome = writeAt(path, content, what);
    if (!outcome.failure.isEmpty() && !shared.moved && takenByAnother(path)) {
        outcomes.push_back(moveAside(shared, path));
        outcome = writeAt(shared.path(extension), content, what);
        // A copy at the new name names the picture there: it goes along.
        if (extension == std::string_view(".json") && !shared.lastPicture.isEmpty())
            outcomes.push_back(
                writeAt(shared.path(".png"), shared.lastPicture, QStringLiteral("screen picture")));
    }
    if (extension == std::string_view(".png")) shared.lastPicture = content;
    outcomes.push_back(std::move(outcome));
}

void writeLoop(std::shared_ptr<Shared> shared) {
    std::unique_lock guard(shared->lock);
    for (;;) {
        shared->changed.wait(
            guard, [&] { return shared->closing || shared->pending || shared->pendingPicture; });
        if (!shared->pending && !shared->pendingPicture) return;
        std::optional<QByteArray> json = std::move(shared->pending);
        std::optional<QByteArray> picture = std::move(shared->pendingPicture);
        shared->pending.reset();
        shared->pendingPicture.reset();
        shared->busy = true;
        guard.unlock();
        std::vector<Outcome> outcomes;
        // The picture first: a copy that names it is then never ahead of it.
        if (picture)
            writeOne(*shared, ".png", *picture, QStringLiteral("screen picture"), outcomes);
        if (json) writeOne(*shared, ".json", *json, QStringLiteral("status copy"), outcomes);
        guard.lock();
        shared->busy = false;
        for (auto& outcome : outcomes) shared->outcomes.push_back(std::move(outcome));
        shared->changed.notify_all();
    }
}

}  // namespace

VenueStatusWriter::VenueStatusWriter(QString folder, QString base, const TimeSource& time)
    : folder_(std::move(folder)),
      shared_(std::make_shared<Shared>()),
      failures_(time, QtWarningMsg),
      displaced_(time, QtWarningMsg) {
    shared_->folder = QFile::encodeName(folder_).toStdString();
    shared_->base = QFile::encodeName(base).toStdString();
    std::thread(writeLoop, shared_).detach();
}

VenueStatusWriter::~VenueStatusWriter() {
    waitIdle(kCloseWaitMs);
    std::lock_guard guard(shared_->lock);
    shared_->closing = true;
    shared_->pending.reset();
    shared_->pendingPicture.reset();
    shared_->changed.notify_all();
}

void VenueStatusWriter::submit(QByteArray json) {
    {
        std::lock_guard guard(shared_->lock);
        shared_->pending = std::move(json);
        shared_->changed.notify_all();
    }
    journalOutcomes();
}

void VenueStatusWriter::submitPicture(QByteArray png) {
    {
        std::lock_guard guard(shared_->lock);
        shared_->pendingPicture = std::move(png);
        shared_->changed.notify_all();
    }
    journalOutcomes();
}

bool VenueStatusWriter::waitIdle(int timeoutMs) {
    bool idle;
    {
        std::unique_lock guard(shared_->lock);
        idle = shared_->changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] {
            return !shared_->pending && !shared_->pendingPicture && !shared_->busy;
        });
    }
    journalOutcomes();
    return idle;
}

QString VenueStatusWriter::copyName() const {
    std::lock_guard guard(shared_->lock);
    return local(shared_->base + ".json");
}

QString VenueStatusWriter::pictureName() const {
    std::lock_guard guard(shared_->lock);
    return local(shared_->base + ".png");
}

void VenueStatusWriter::journalOutcomes() {
    std::vector<Outcome> outcomes;
    {
        std::lock_guard guard(shared_->lock);
        outcomes.swap(shared_->outcomes);
    }
    for (const Outcome& outcome : outcomes) {
        if (!outcome.displaced.isEmpty()) displaced_.occurred(outcome.displaced);
        if (outcome.failure.isEmpty()) {
            failures_.cleared();
        } else {
            failures_.occurred(outcome.failure);
        }
    }
}

}  // namespace pelm
