#pragma once
// The venue view as JSON, written once for every reader: `pelmctl status
// --venue --json` prints it and the control room serves it as
// /venue.json. Each board is its status as the board wrote it, with what
// this reader made of it beside.
//
// Every page that is open fetches it every 2 seconds, so it has a bound of
// its own, whatever the copies hold: past it, each board's texts are cut
// (and the board marked "trimmed"), then the boards last in order (the
// best) are left out and counted ("leftOut").

#include <QByteArray>
#include <QDateTime>

#include "venue/venue_view.h"

namespace pelm::venue {

constexpr int kMaxVenueJsonBytes = 1024 * 1024;
/// A text of a trimmed board, at most, in characters.
constexpr int kTrimmedTextChars = 64;

/// `readerTime`: this reader's wall clock, UTC, as the view was made.
QByteArray venueJson(const VenueView& view, const QDateTime& readerTime);

}  // namespace pelm::venue
