#include "venuepc/screen_blanking.h"

#include <algorithm>
#include <regex>
#include <string>

namespace pelm::pc {
namespace {

std::optional<int> number(const std::string& text, const std::regex& pattern) {
    std::smatch match;
    if (!std::regex_search(text, match, pattern)) return std::nullopt;
    return std::stoi(match[1]);
}

// "Standby: 600    Suspend: 600    Off: 600" then "DPMS is Enabled"; a
// server without the extension, or with it disabled, never powers down.
int dpmsSeconds(const std::string& text) {
    if (text.find("DPMS is Enabled") == std::string::npos) return 0;
    int first = 0;
    for (const char* word : {"Standby", "Suspend", "Off"}) {
        const auto seconds = number(text, std::regex(std::string(word) + R"(:\s*(\d+))"));
        if (seconds && *seconds > 0) first = first ? std::min(first, *seconds) : *seconds;
    }
    return first;
}

}  // namespace

std::optional<XBlanking> parseXsetQuery(std::string_view query) {
    const std::string text(query);
    const size_t saver = text.find("Screen Saver:");
    if (saver == std::string::npos) return std::nullopt;
    const auto timeout = number(text.substr(saver), std::regex(R"(timeout:\s*(\d+))"));
    if (!timeout) return std::nullopt;
    return XBlanking{*timeout, dpmsSeconds(text)};
}

int blanksAfter(const XBlanking& blanking) {
    if (!blanking.saverSeconds) return blanking.dpmsSeconds;
    if (!blanking.dpmsSeconds) return blanking.saverSeconds;
    return std::min(blanking.saverSeconds, blanking.dpmsSeconds);
}

}  // namespace pelm::pc
