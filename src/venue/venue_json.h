#pragma once
// The venue view as JSON, written once for every reader: `pelmctl status
// --venue --json` prints it and the control room serves it as
// /venue.json. Each board is its status as the board wrote it, with what
// this reader made of it beside.

#include <QByteArray>

#include "venue/venue_view.h"

namespace pelm::venue {

/// `serverTime`: this reader's wall clock, UTC, as the view was made.
QByteArray venueJson(const VenueView& view, const QDateTime& readerTime);

}  // namespace pelm::venue
