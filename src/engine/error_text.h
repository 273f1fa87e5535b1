#pragma once
// The texts of the board's error box: its caption, derived from the
// executable's name, and the message with the board's period rule.

#include <QString>
#include <string>
#include <string_view>

#include "platform/cp932.h"

namespace pelm {

/// The caption of the board's message boxes: the executable's file name
/// without its folder and without everything from its first dot, the first
/// letter as it is and the rest in lower case ("/opt/pelm/PelmDp" gives
/// "Pelmdp").
QString programTitle(const QString& executablePath);

/// The message as the error box shows it: "." appended unless the message
/// is empty or its last byte is "." or below it; a message ending in a
/// double-byte character always gets the period.
Cp932 withPeriod(const Cp932& message);

}  // namespace pelm
