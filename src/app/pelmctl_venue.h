#pragma once
// A venue folder's boards as `pelmctl status --venue --json` reports them,
// for the other commands that show the venue (pelmctl serve).

#include <QJsonObject>
#include <QString>

namespace pelmctl {

struct VenueReport {
    bool listed = false;    // the folder answered with a listing in time
    bool complete = false;  // the listing and every copy answered in time
    QJsonObject json;       // {"boards": [...], "unanswered": [...]} as the tool prints it
};

/// Reads every status copy in `folder` within the same bound as
/// `pelmctl status --venue`; damaged or half-written copies are left out.
VenueReport venueReport(const QString& folder);

}  // namespace pelmctl
