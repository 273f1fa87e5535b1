#pragma once
// Judges a venue's boards by this reader's own clock. Every look at the
// folder is compared with the last: a copy whose bytes changed comes from a
// board that is alive, whatever its own clock says, and one that has not
// changed for longer than the patience is not answering. The board's clock
// is told apart from ours by the time it wrote into a copy against the time
// we read it; it is shown, never used to judge.

#include <QByteArray>
#include <deque>
#include <map>
#include <optional>
#include <string>

#include "venue/venue_folder.h"
#include "venue/venue_view.h"

namespace pelm::venue {

class VenueWatch {
public:
    /// `patienceMs`: how long a copy may stay unchanged before its board is
    /// not answering. The control room waits 10 s; a one-off look, as long
    /// as it watched.
    VenueWatch(QString folder, qint64 patienceMs);

    static constexpr qint64 kControlRoomPatienceMs = 10000;

    /// Takes a look at the folder, ended (or given up on) at `monotonicMs`
    /// by this reader's monotonic clock and `wallMs` by its wall clock.
    void take(const FolderLook& look, qint64 monotonicMs, qint64 wallMs);
    /// A look under way has not answered in time; `wallMs` now.
    void lookHangs(qint64 wallMs);

    VenueView view(qint64 monotonicMs, qint64 wallMs) const;

    /// The pictures held, for the next look to read only the changed ones.
    KnownPictures knownPictures() const;
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
        std::string bytes;
        std::optional<BoardStatus> status;  // none: damaged
        qint64 firstSeenMs = 0;
        std::optional<qint64> changedMs;  // none: not seen to change
        std::deque<qint64> offsetSamplesMs;
        std::map<qint64, Writer> writers;  // by pid, for copies two boards write
        qint64 lastPid = 0;
        std::optional<qint64> alternatedMs;  // a writer came back after another wrote
    };
    struct Picture {
        FileStamp stamp;
        bool good = false;
        QByteArray bytes;
    };

    void takeCopy(const CopyFile& file, qint64 monotonicMs);
    void noteWriter(Copy& copy, qint64 monotonicMs) const;
    void takePictures(const FolderLook& look);
    void forgetGone(const FolderLook& look);
    VenueBoard boardOf(const std::string& name, const Copy& copy, qint64 monotonicMs,
                       qint64 wallMs) const;
    Verdict judge(const Copy& copy, const BoardStatus& status, qint64 monotonicMs) const;
    void judgeWriters(const Copy& copy, qint64 monotonicMs, VenueBoard& board) const;
    void placePicture(const std::string& name, const Copy& copy, qint64 wallMs,
                      VenueBoard& board) const;
    void addMissing(VenueView& view) const;

    QString folder_;
    qint64 patienceMs_;
    std::map<std::string, Copy> copies_;
    std::map<std::string, Picture> pictures_;
    QStringList expected_;
    QStringList unanswered_;
    bool tooMany_ = false;
    bool answering_ = false;
    QString failure_;
    std::optional<qint64> readMs_;  // monotonic, when a look last got through
    QDateTime notAnsweringSince_;
};

}  // namespace pelm::venue
