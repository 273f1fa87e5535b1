#pragma once
// The settings file keeps colours as 0x00BBGGRR integers, red in the low
// byte; widgets want QColor. Convert only where the two meet.

#include <QColor>

#include "engine/board_rules.h"

namespace pelm {

/// The colour of a 0x00BBGGRR value; the high byte carries nothing here.
inline QColor colorFromRef(int ref) {
    const Rgb rgb = rgbOf(ref);
    return QColor(rgb.red, rgb.green, rgb.blue);
}

/// The 0x00BBGGRR value of a colour; transparency is dropped.
inline int colorRef(const QColor& color) {
    return colorValueOf({color.red(), color.green(), color.blue()});
}

}  // namespace pelm
