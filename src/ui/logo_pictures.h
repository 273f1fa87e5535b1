#pragma once
// The board's two built-in logo pictures, drawn here rather than loaded, at
// the sizes their places were made for.

#include <QPixmap>

namespace pelm {

QPixmap largeLogo();  // Image2, 220 × 106
QPixmap smallLogo();  // Image1, 118 × 24

}  // namespace pelm
