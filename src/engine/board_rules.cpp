#include "engine/board_rules.h"

#include "platform/paths.h"

namespace pelm {

LogoRequest logoRequest(const Cp932& setting) {
    if (setting == cp932Ascii("on")) return {LogoRequest::BuiltIn, {}};
    if (setting.empty()) return {LogoRequest::Hidden, {}};
    // nativePath already gives UTF-8: decoding it as CP932 again would
    // garble every non-ASCII folder name.
    return {LogoRequest::Picture, QString::fromStdString(nativePath(setting))};
}

std::string rowLabel(std::size_t row) {
    if (row == 0) return std::string(kNowWord) + " " + std::string(kNowArrow);
    return std::string(kLaterRowLabels.at(row - 1));
}

}  // namespace pelm
