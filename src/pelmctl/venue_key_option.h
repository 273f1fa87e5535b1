#pragma once
// --venue-key FILE, as `pelmctl serve` and `pelmctl status --venue` take it.

#include <optional>

#include "engine/venue_key.h"
#include "pelmctl/command.h"

namespace pelmctl {

/// The key the option names into `key` (none without the option, or with an
/// empty FILE); false, said on stderr, when FILE holds no key to use.
bool venueKeyOption(const Arguments& arguments, std::optional<pelm::VenueKey>& key);

}  // namespace pelmctl
