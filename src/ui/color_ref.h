#pragma once
// The settings file keeps colours as 0x00BBGGRR integers, red in the low
// byte; widgets want QColor. Convert only where the two meet.

#include <QColor>

namespace pelm {

/// The colour of a 0x00BBGGRR value; the high byte carries nothing here.
inline QColor colorFromRef(int ref) {
    return QColor(ref & 0xFF, (ref >> 8) & 0xFF, (ref >> 16) & 0xFF);
}

/// The 0x00BBGGRR value of a colour; transparency is dropped.
inline int colorRef(const QColor& color) {
    return color.red() | (color.green() << 8) | (color.blue() << 16);
}

}  // namespace pelm
