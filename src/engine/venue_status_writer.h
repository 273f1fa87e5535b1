#pragma once
// Copies the board's status into a venue folder, usually on a network
// share, on a thread of its own: a share that is gone or stalls must never
// hold up a refresh. Only the newest status waits to be written; older ones
// are dropped. Failures are summarised in the journal as warnings. The
// same thread writes the picture of the screen beside the copy, by the
// same rule.
//
// The folder is one other users can write. A link or another user's file at
// the copy's name is replaced, never written through, and said in the
// journal. Where the folder does not let the board replace what stands
// there (another user's file in a sticky folder, a folder at the name), the
// copy and its picture move to a name of the board's own that nobody could
// have taken in advance, "<base>-<random>", for the rest of the board's
// life: the control room still sees the board, and the journal says why.

#include <QByteArray>
#include <QString>
#include <memory>

#include "engine/repeated_errors.h"

namespace pelm {

class VenueStatusWriter {
public:
    /// Writes "<base>.json" and its picture "<base>.png" in `folder` (each
    /// atomically: a temporary file beside it, then a rename). `time` must
    /// outlive the writer.
    VenueStatusWriter(QString folder, QString base, const TimeSource& time);
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

    /// The names the copy and its picture go to now (file names, no folder).
    QString copyName() const;
    QString pictureName() const;
    const QString& folder() const { return folder_; }

    struct Shared;   // between the board's thread and the writing thread
    struct Outcome;  // of one write

private:
    void journalOutcomes();

    QString folder_;
    std::shared_ptr<Shared> shared_;
    RepeatedErrors failures_;
    // Not a failure (the copy was written), and never "cleared": whoever
    // planted it may do so again, and that is summarised, not repeated.
    RepeatedErrors displaced_;
};

}  // namespace pelm
