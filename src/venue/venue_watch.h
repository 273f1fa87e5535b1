#pragma once
// Judges a venue's boards by this reader's own clock. Every look at the
// folder is compared with the last: a copy whose bytes changed comes from a
// board that is alive, whatever its own clock says, and one that has not
// changed for longer than the patience is not answering. The board's clock
// is told apart from ours by the time it wrote into a copy against the time
// we read it; it is shown, never used to judge.
//
// A copy speaks only for the board that wrote it. One that belongs to a
// user other than the one the venue's list names for its board, or (with
// the venue key) is not signed with the key, is a forgery, shown as such
// and never as the board. Two copies that claim one board are a conflict,
// shown as trouble at the worse of their verdicts, never settled by which
// changed last. A copy listed but not read keeps its board's last state,
// until the patience runs out as for a copy that stopped changing.

#include <sys/types.h>

#include <QByteArray>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "venue/expected_boards.h"
#include "venue/venue_folder.h"
#include "venue/venue_view.h"

namespace pelm::venue {

class VenueWatch {
public:
    /// `patienceMs`: how long a copy may stay unchanged before its board is
    /// not answering. The control room waits 10 s; a one-off look, as long
    /// as it watched. `keyed`: the looks check copies against the venue key,
    /// and an unsigned copy is a forgery.
    VenueWatch(QString folder, qint64 patienceMs, bool keyed = false);

    static constexpr qint64 kControlRoomPatienceMs = 10000;

    /// Takes a look at the folder, ended (or given up on) at `monotonicMs`
    /// by this reader's monotonic clock and `wallMs` by its wall clock.
    void take(FolderLook look, qint64 monotonicMs, qint64 wallMs);
    /// A look under way has not answered in time; `wallMs` now.
    void lookHangs(qint64 wallMs);

    VenueView view(qint64 monotonicMs, qint64 wallMs) const;

    /// What the next look should know: the pictures held, to read only the
    /// changed ones, and what tells the real boards' copies from junk.
    LookHints hints() const;
    /// A picture's bytes, as good as the last look found them; null when
    /// there is none by that name.
    const QByteArray* picture(const QString& name) const;

    /// Whether every copy seen has been seen to change, or needs not to be
    /// (a stopped board, a damaged copy): a one-off look can end.
    bool allKnown() const;

private:
    struct Writer {
        BoardStatus status;
        qint64 seenMs;
    };
    struct Copy {
        QByteArray digest;
        std::optional<BoardStatus> status;  // none: damaged
        QString problem;                    // why damaged
        CopySignature signature = CopySignature::NotChecked;
        uid_t owner = 0;
        qint64 firstSeenMs = 0;
        qint64 readMs = 0;                // when last read
        std::optional<qint64> changedMs;  // none: not seen to change
        std::deque<qint64> offsetSamplesMs;
        std::map<qint64, Writer> writers;  // by pid, for copies two boards write
        qint64 lastPid = 0;
        std::optional<qint64> alternatedMs;  // a writer came back after another wrote
        std::optional<std::pair<qint64, QDateTime>> lastSigned;  // pid and time of the newest
        bool replayed = false;  // an older signed status of the same process came again
    };
    struct Picture {
        FileStamp stamp;
        bool good = false;
        QByteArray bytes;
    };

    void takeCopy(CopyFile file, qint64 monotonicMs);
    void noteWriter(Copy& copy, qint64 monotonicMs) const;
    void noteSigned(Copy& copy) const;
    void takePictures(FolderLook& look);
    void takeExpected(ExpectedFile expected);
    void forgetGone(const FolderLook& look);
    Forgery forgery(const Copy& copy, QString* expectedOwner = nullptr) const;
    QString ownerName(uid_t owner) const;
    VenueBoard boardOf(const std::string& name, const Copy& copy, qint64 monotonicMs,
                       qint64 wallMs) const;
    Verdict judge(const Copy& copy, const BoardStatus& status, qint64 monotonicMs) const;
    void judgeWriters(const Copy& copy, qint64 monotonicMs, VenueBoard& board) const;
    void placePicture(const std::string& name, const Copy& copy, qint64 wallMs,
                      VenueBoard& board) const;
    void addMissing(VenueView& view) const;
    void countCopies(VenueView& view) const;

    QString folder_;
    qint64 patienceMs_;
    bool keyed_;
    std::map<std::string, Copy> copies_;
    std::set<std::string> unknownCopies_;  // read unchanged, never had: to read again
    std::map<std::string, Picture> pictures_;
    ExpectedFile expectedFile_;  // as last read, to parse it again only when it changed
    ExpectedBoards expected_;
    CopyCounts counts_;  // of the last look that listed the folder
    QStringList notRead_;
    QStringList notFiles_;  // names with what stands there
    qint64 lastListedMs_ = 0;
    bool answering_ = false;
    QString failure_;
    std::optional<qint64> readMs_;  // monotonic, when a look last got through
    QDateTime notAnsweringSince_;
    mutable std::map<uid_t, QString> ownerNames_;
};

}  // namespace pelm::venue
