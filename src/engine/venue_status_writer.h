#pragma once
// Copies the board's status into a venue folder, usually on a network
// share, through the folder's worker (share_worker.h): a share that is gone
// or stalls never holds up a refresh, nor the board's end. Only the newest
// status waits to be written; older ones are dropped. Failures are
// summarised in the journal as warnings. The picture of the screen goes
// beside the copy by the same rule, ahead of a copy that names it.
//
// The folder is one other users can write. A link or another user's file at
// the copy's name is replaced, never written through, and said in the
// journal. Where the folder does not let the board replace what stands
// there (another user's file in a sticky folder, a folder at the name), the
// copy and its picture move to a name of the board's own that nobody could
// have taken in advance, "<base>-<random>", for the rest of the board's
// life: the control room still sees the board, and the journal says why.
//
// With a venue key (venue_key.h) every copy is signed with it. A key that
// cannot be read is said in the journal and tried again now and then; the
// copy meanwhile goes unsigned, which a control room with the key shows as
// forged: nothing unsigned passes for the board.

#include <QByteArray>
#include <QString>
#include <optional>
#include <string>

#include "engine/repeated_errors.h"
#include "engine/venue_key.h"

namespace pelm {

class ShareWorker;
struct PostedOutcome;

class VenueStatusWriter {
public:
    /// Writes "<base>.json" and its picture "<base>.png" in `folder` (each
    /// atomically: a temporary file beside it, then a rename), the copy
    /// signed with the key in `keyFile` when one is named. `time` must
    /// outlive the writer.
    VenueStatusWriter(QString folder, QString base, const Clock& time, QString keyFile = {});
    /// Waits up to `kCloseWaitMs` for the writes handed over; none while
    /// the folder stalled.
    ~VenueStatusWriter();
    VenueStatusWriter(const VenueStatusWriter&) = delete;
    VenueStatusWriter& operator=(const VenueStatusWriter&) = delete;

    static constexpr int kCloseWaitMs = 1000;
    /// A key that cannot be read is tried again after this.
    static constexpr qint64 kKeyRetryMs = 10000;

    /// Hands `json` over for writing and journals the outcomes of earlier
    /// writes. Never blocks on the share.
    void submit(QByteArray json);
    /// Signs the copies from the next on with the key in `keyFile` (none:
    /// unsigned).
    void setKeyFile(QString keyFile);
    /// Hands a picture (PNG) of the screen over, likewise; only the newest waits.
    void submitPicture(QByteArray png);
    /// Waits until nothing is left to write, at most `timeoutMs`, and not
    /// at all while the folder is stalled; true when all is written.
    /// Then journals the outcomes.
    bool waitIdle(int timeoutMs);

    /// The name the picture goes to now, beside the copy's (file names, no
    /// folder).
    QString pictureName() const;
    const QString& folder() const { return folder_; }

private:
    std::string path(const char* extension) const;
    std::string copyBytes();
    bool journalOutcomes();
    bool moveAside(const PostedOutcome& refused);
    void journalOutcome(const PostedOutcome& outcome);

    QString folder_;
    std::string nativeFolder_;
    std::string base_;  // native; moves at most once
    bool moved_ = false;
    QByteArray lastCopy_;     // written again when the names move
    QByteArray lastPicture_;  // likewise
    ShareWorker& worker_;
    const Clock& time_;
    QString keyFile_;
    std::optional<VenueKey> key_;
    std::optional<qint64> keyTriedMs_;
    RepeatedErrors keyFailures_;
    RepeatedErrors failures_;
    // Not a failure (the copy was written), and never "cleared": whoever
    // planted it may do so again, and that is summarised, not repeated.
    RepeatedErrors displaced_;
};

}  // namespace pelm
