#include "engine/venue_status_writer.h"

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
    std::optional<QByteArray> pending;
    std::optional<QByteArray> pendingPicture;
    bool busy = false;
    bool closing = false;
    std::vector<Outcome> outcomes;
};

namespace {

// `what` names the file in the journal: "status copy", "screen picture".
VenueStatusWriter::Outcome writeOnce(const std::string& path, const QByteArray& content,
                                     const QString& what) {
    errno = 0;
    const std::string_view bytes(content.constData(), content.size());
    std::string displaced;
    if (replaceFileAtomically(path, bytes, Durability::Visible, &displaced)) {
        if (displaced.empty()) return {};
        return {{},
                QStringLiteral("%1 %2 was %3; replaced by the board's own file, "
                               "nothing written through it")
                    .arg(what, QString::fromStdString(path), QString::fromStdString(displaced))};
    }
    const int error = errno;
    return {
        QStringLiteral("%1 %2 cannot be written: %3")
            .arg(what, QString::fromStdString(path),
                 error ? QString::fromLocal8Bit(std::strerror(error)) : QStringLiteral("refused")),
        {}};
}

void writeLoop(std::shared_ptr<VenueStatusWriter::Shared> shared, std::string path,
               std::string picturePath) {
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
        std::vector<VenueStatusWriter::Outcome> outcomes;
        // The picture first: a copy that names it is then never ahead of it.
        if (picture && !picturePath.empty())
            outcomes.push_back(writeOnce(picturePath, *picture, QStringLiteral("screen picture")));
        if (json) outcomes.push_back(writeOnce(path, *json, QStringLiteral("status copy")));
        guard.lock();
        shared->busy = false;
        for (auto& outcome : outcomes) shared->outcomes.push_back(std::move(outcome));
        shared->changed.notify_all();
    }
}

}  // namespace

VenueStatusWriter::VenueStatusWriter(QString filePath, const TimeSource& time, QString picturePath)
    : path_(std::move(filePath)),
      picturePath_(std::move(picturePath)),
      shared_(std::make_shared<Shared>()),
      failures_(time, QtWarningMsg),
      displaced_(time, QtWarningMsg) {
    std::thread(writeLoop, shared_, QFile::encodeName(path_).toStdString(),
                QFile::encodeName(picturePath_).toStdString())
        .detach();
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
