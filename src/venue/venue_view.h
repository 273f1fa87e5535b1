#pragma once
// The venue as one reader sees it at one moment: every board with its
// verdict, by severity, and what could not be read. Made by VenueWatch,
// serialised once by venue_json.h, shown by `pelmctl status --venue`, the
// control room's page and its metrics.

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "engine/board_status.h"
#include "venue/verdict.h"

namespace pelm::venue {

/// Why a copy that claims a board is not that board's own.
enum class Forgery {
    None,
    Owner,         // written by a user other than the one the venue's list names
    Unsigned,      // not signed with the venue key
    BadSignature,  // signed with another key, or changed since it was signed
    Replayed,      // a signed status older than one seen before, shown again
};

/// "owner", "unsigned", "bad signature", "replayed"; empty for None.
QString forgeryWord(Forgery forgery);

/// Another copy that claims the same board.
struct OtherCopy {
    QString copy;   // its file name
    QString owner;  // who wrote it, as the folder says
    Verdict verdict = Verdict::Checking;
};

struct VenueBoard {
    Verdict verdict = Verdict::Checking;
    /// What the venue calls the screen: its Name, else its host; for a
    /// missing board, its line in the venue's list; for a forgery, the
    /// board it claims to be.
    QString name;
    /// Tells this board's series apart from every other's: a short digest
    /// of its host and folder (of the copy's name for a forgery, of the
    /// listed name for a missing board).
    QString id;
    std::optional<BoardStatus> status;  // the copy as the board wrote it; none: missing, forged
    QString copy;                       // the copy's file name
    QString owner;                      // who wrote the copy, as the folder says
    /// Why the copy is not the board's own; None for the board's own copy.
    Forgery forgery = Forgery::None;
    QString expectedOwner;        // the user the venue's list names, for Forgery::Owner
    QList<OtherCopy> duplicates;  // other copies that claim to be this board
    bool conflict = false;        // copies of two writers claim this board
    std::optional<double> secondsSinceChange;  // by this reader's clock
    std::optional<double> secondsNotRead;      // the last looks could not read the copy: since
    std::optional<double> clockOffsetSeconds;  // the board's clock minus this reader's
    QString picture;                           // served picture's name; empty: none
    QString pictureVersion;                    // changes when the picture does
    std::optional<double> pictureAgeSeconds;   // by this reader's clock
    bool pictureDamaged = false;               // a file there, but no picture a board makes

    /// Whether the board needs somebody: its verdict says so, or copies of
    /// two writers claim it.
    bool trouble() const { return inTrouble(verdict) || conflict; }
};

/// What became of the copies the folder listed.
struct CopyCounts {
    int listed = 0;
    int read = 0;     // read this time
    int unread = 0;   // past the bound on copies read (kMaxCopies) or looked at
    int notRead = 0;  // chosen, but the read failed or did not answer: their boards keep their last
    int damaged = 0;  // no board's status (no strict JSON, past a bound), or no file at all
    int forged = 0;   // not written by the board they claim (see VenueBoard::forgery)
};

struct VenueView {
    QString folder;
    bool answering = false;                  // the last look at the folder got through in time
    QString failure;                         // why the folder cannot be read, when it says
    std::optional<double> secondsSinceRead;  // since a look last got through
    QDateTime notAnsweringSince;             // UTC; invalid while it answers
    std::vector<VenueBoard> boards;          // the worst first, then by name
    CopyCounts copies;
    QStringList unanswered;  // copies whose read failed or did not answer (the first few)
    QStringList damaged;     // copies refused as no status (the first few), with why
    /// What is wrong with the venue's list of its boards, when it is there
    /// but cannot be used whole; empty when all is well.
    QString expectedProblem;
    bool keyed = false;  // copies are checked against the venue key

    int inTroubleCount() const;
};

/// Names of copies a view lists at most, per list; the rest are counted.
constexpr int kMaxNamedCopies = 16;

}  // namespace pelm::venue
