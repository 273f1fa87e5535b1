#pragma once
// The venue's list of its boards, expected-boards.txt beside the copies:
// one board per line (UTF-8, "#" starts a comment), its Name or host, and
// after it, when the line ends in a word that names a user of this PC, the
// user the board runs as ("パドック pelm-paddock"): a copy that claims
// that board and belongs to anyone else is no copy of it.
//
// The list is used whole or said to be unusable, never cut: one too long,
// not a regular file, unreadable, no UTF-8 or of an untrusted owner is a
// problem the page and the metrics say.

#include <sys/types.h>

#include <QString>
#include <optional>
#include <vector>

#include "venue/venue_folder.h"

namespace pelm::venue {

/// Boards a list names at most; a longer list is said, and used up to here.
constexpr int kMaxExpectedBoards = 1024;

struct ExpectedBoard {
    QString name;
    std::optional<uid_t> user;  // the user the board runs as, when the line names one
    QString userName;
};

struct ExpectedBoards {
    std::vector<ExpectedBoard> boards;
    QString problem;  // empty when the list is there and used whole, or not there
};

ExpectedBoards expectedBoards(const ExpectedFile& file);

/// The listed board a copy of `status` claims to be, by its name or host;
/// null when none.
const ExpectedBoard* listedBoard(const ExpectedBoards& expected, const BoardStatus& status);

}  // namespace pelm::venue
