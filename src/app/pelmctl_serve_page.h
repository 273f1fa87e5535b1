#pragma once
// The control room's page, its script and its style: three separate
// answers, so the page's policy can forbid inline script and style.

#include <string_view>

namespace pelmctl {

extern const std::string_view kVenuePage;    // text/html
extern const std::string_view kVenueScript;  // text/javascript
extern const std::string_view kVenueStyle;   // text/css

}  // namespace pelmctl
