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
    bool busy = false;
    bool closing = false;
    std::vector<Outcome> outcomes;
};

namespace {

VenueStatusWriter::Outcome writeOnce(const std::string& path, const QByteArray& json) {
    errno = 0;
    const std::string_view bytes(json.constData(), json.size());
    std::string displaced;
    if (replaceFileAtomically(path, bytes, Durability::Visible, &displaced)) {
        if (displaced.empty()) return {};
        return {{},
                QStringLiteral("status copy %1 was %2; replaced by the board's own file, "
                               "nothing written through it")
                    .arg(QString::fromStdString(path), QString::fromStdString(displaced))};
    }
    const int error = errno;
    return {
        QStringLiteral("status copy %1 cannot be written: %2")
            .arg(QString::fromStdString(path),
                 error ? QString::fromLocal8Bit(std::strerror(error)) : QStringLiteral("refused")),
        {}};
}

void writeLoop(std::shared_ptr<VenueStatusWriter::Shared> shared, std::string path) {
    std::unique_lock guard(shared->lock);
    for (;;) {
        shared->changed.wait(guard, [&] { return shared->closing || shared->pending; });
        if (!shared->pending) return;
        QByteArray json = std::move(*shared->pending);
        shared->pending.reset();
        shared->busy = true;
        guard.unlock();
        VenueStatusWriter::Outcome outcome = writeOnce(path, json);
        guard.lock();
        shared->busy = false;
        shared->outcomes.push_back(std::move(outcome));
        shared->changed.notify_all();
    }
}

}  // namespace

VenueStatusWriter::VenueStatusWriter(QString filePath, const TimeSource& time)
    : path_(std::move(filePath)),
      shared_(std::make_shared<Shared>()),
      failures_(time, QtWarningMsg),
      displaced_(time, QtWarningMsg) {
    std::thread(writeLoop, shared_, QFile::encodeName(path_).toStdString()).detach();
}

VenueStatusWriter::~VenueStatusWriter() {
    waitIdle(kCloseWaitMs);
    std::lock_guard guard(shared_->lock);
    shared_->closing = true;
    shared_->pending.reset();
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

bool VenueStatusWriter::waitIdle(int timeoutMs) {
    bool idle;
    {
        std::unique_lock guard(shared_->lock);
        idle = shared_->changed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                         [&] { return !shared_->pending && !shared_->busy; });
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
