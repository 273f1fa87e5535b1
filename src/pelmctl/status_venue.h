#pragma once
// `pelmctl status --venue FOLDER`: every board of a venue, judged by this
// PC's clock over a short watch of the status folder.

#include <QString>
#include <optional>

#include "engine/venue_key.h"

namespace pelmctl {

/// Prints the venue (text, or JSON with `json`); the exit status: 0 when
/// every board is fine or waiting, 1 otherwise. With `key`, only copies
/// signed with it are believed.
int showVenue(const QString& folder, bool json, const std::optional<pelm::VenueKey>& key);

}  // namespace pelmctl
