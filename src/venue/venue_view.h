#pragma once
// The venue as one reader sees it at one moment: every board with its
// verdict, by severity, and what could not be read. Made by VenueWatch,
// serialised once by venue_json.h, shown by `pelmctl status --venue`, the
// control room's page and its metrics.

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "engine/board_status.h"
#include "venue/verdict.h"

namespace pelm::venue {

struct VenueBoard {
    Verdict verdict = Verdict::Checking;
    /// What the venue calls the screen: its Name, else its host; for a
    /// missing board, its line in the venue's list.
    QString name;
    std::optional<BoardStatus> status;         // the copy as the board wrote it; none: missing
    QString copy;                              // the copy's file name
    QStringList duplicates;                    // other copies that claim to be this board
    bool conflict = false;                     // more than one running board writes this copy
    std::optional<double> secondsSinceChange;  // by this reader's clock
    std::optional<double> clockOffsetSeconds;  // the board's clock minus this reader's
    QString picture;                           // served picture's name; empty: none
    QString pictureVersion;                    // changes when the picture does
    std::optional<double> pictureAgeSeconds;   // by this reader's clock
    bool pictureDamaged = false;               // a file there, but no picture a board makes
};

struct VenueView {
    QString folder;
    bool answering = false;                  // the last look at the folder got through in time
    QString failure;                         // why the folder cannot be read, when it says
    std::optional<double> secondsSinceRead;  // since a look last got through
    QDateTime notAnsweringSince;             // UTC; invalid while it answers
    std::vector<VenueBoard> boards;          // the worst first, then by name
    QStringList unanswered;                  // copies whose read did not answer
    QStringList damaged;                     // copies refused as no status
    bool tooMany = false;                    // copies past the bound were not read

    int inTroubleCount() const;
};

}  // namespace pelm::venue
