#include "venuepc/login_way.h"

namespace pelm::pc {

std::variant<LoginWay, std::string> chooseLoginWay(const SessionFacts& facts) {
    if (!facts.display)
        return std::string(
            "no display session: run pelmctl setup as the board's user in a "
            "terminal of its desktop (DISPLAY or WAYLAND_DISPLAY is not set)");
    if (facts.managerAnswers && facts.targetReached && facts.unitInstalled)
        return facts.managerHasDisplay ? LoginWay::Unit : LoginWay::UnitWithDisplay;
    if (facts.autostartInstalled) return LoginWay::Autostart;
    if (facts.unitInstalled)
        return std::string(
            "this session never reaches graphical-session.target, so "
            "pelmdp.service would never start, and the package's autostart "
            "entry is missing: install the pelm package again");
    return std::string(
        "neither pelmdp.service nor the autostart entry is installed: install "
        "the pelm package first (apt install ./pelm_*.deb, as root)");
}

}  // namespace pelm::pc
