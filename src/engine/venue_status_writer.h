#pragma once
// Copies the board's status into a venue folder, usually on a network
// share, on a thread of its own: a share that is gone or stalls must never
// hold up a refresh. Only the newest status waits to be written; older ones
// are dropped. Failures are summarised in the journal as warnings. The
// folder is one other users can write: a link or another user's file at the
// copy's name is replaced, never written through, and said in the journal.
// The same thread writes the picture of the screen beside the copy, by the
// same rule.

#include <QByteArray>
#include <QString>
#include <memory>

#include "engine/repeated_errors.h"

namespace pelm {

class VenueStatusWriter {
public:
    /// Writes to `filePath` (atomically: temporary file beside it, then a
    /// rename), and pictures to `picturePath` when given. `time` must
    /// outlive the writer.
    VenueStatusWriter(QString filePath, const TimeSource& time, QString picturePath = {});
    /// Waits up to `kCloseWaitMs` for a write in progress; a write stuck on
    /// a dead share is left to finish (or not) on its own.
    ~VenueStatusWriter();
    VenueStatusWriter(const VenueStatusWriter&) = delete;
    VenueStatusWriter& operator=(const VenueStatusWriter&) = delete;

    static constexpr int kCloseWaitMs = 1000;

    /// Queues `json` for writing and journals the outcomes of earlier
    /// writes. Never blocks on the share.
    void submit(QByteArray json);
    /// Queues a picture (PNG) of the screen, likewise; only the newest waits.
    void submitPicture(QByteArray png);
    /// Waits until nothing is queued or being written, at most `timeoutMs`;
    /// true when idle. Then journals the outcomes.
    bool waitIdle(int timeoutMs);

    const QString& filePath() const { return path_; }
    const QString& picturePath() const { return picturePath_; }

    struct Shared;   // between the board's thread and the writing thread
    struct Outcome;  // of one write

private:
    void journalOutcomes();

    QString path_;
    QString picturePath_;
    std::shared_ptr<Shared> shared_;
    RepeatedErrors failures_;
    // Not a failure (the copy was written), and never "cleared": whoever
    // planted it may do so again, and that is summarised, not repeated.
    RepeatedErrors displaced_;
};

}  // namespace pelm
