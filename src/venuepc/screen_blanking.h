#pragma once
// Whether the screen goes dark with nobody at the PC: an X server blanks
// it after its screen saver's timeout and powers it down by DPMS; a
// desktop (GNOME) blanks it after its own idle delay unless a program,
// such as a full-screen board, inhibits that.

#include <optional>
#include <string_view>

namespace pelm::pc {

struct XBlanking {
    int saverSeconds = 0;  // 0: the screen saver never starts
    int dpmsSeconds = 0;   // the first of DPMS's standby, suspend and off; 0: never
};

/// What `xset q` says; nothing when its text has no screen saver part.
std::optional<XBlanking> parseXsetQuery(std::string_view text);

/// The seconds after which the screen goes dark; 0 for never.
int blanksAfter(const XBlanking& blanking);

}  // namespace pelm::pc
