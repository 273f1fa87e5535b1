#pragma once
// The venue view in the Prometheus text format, for a monitoring system
// that watches many venues (/metrics of the control room): per board its
// verdict, whether it is in trouble, how long since this server saw its
// status change, its clock; and whether the status folder answers.

#include <QByteArray>

#include "venue/venue_view.h"

namespace pelm::venue {

QByteArray venueMetrics(const VenueView& view);

}  // namespace pelm::venue
