#include "pelmctl/venue_key_option.h"

#include <iostream>

namespace pelmctl {

bool venueKeyOption(const Arguments& arguments, std::optional<pelm::VenueKey>& key) {
    const std::string file = arguments.option("--venue-key").value_or("");
    if (file.empty()) return true;
    QString problem;
    key = pelm::readVenueKey(QString::fromStdString(file), &problem);
    if (!key)
        std::cerr << "pelmctl: venue key " << file << " cannot be used: " << problem.toStdString()
                  << "\n";
    return key.has_value();
}

}  // namespace pelmctl
