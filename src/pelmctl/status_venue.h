#pragma once
// `pelmctl status --venue FOLDER`: every board of a venue, judged by this
// PC's clock over a short watch of the status folder.

#include <QString>

namespace pelmctl {

/// Prints the venue (text, or JSON with `json`); the exit status: 0 when
/// every board is fine or waiting, 1 otherwise.
int showVenue(const QString& folder, bool json);

}  // namespace pelmctl
