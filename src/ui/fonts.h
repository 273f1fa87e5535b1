#pragma once
// The board's fonts: the Japanese faces its layout names, stood in for by
// the IPA fonts and brought to the measure the layout was drawn with.

#include <QFont>

#include "engine/board_settings.h"
#include "ui/layout.h"

namespace pelm {

/// Maps the faces the board names to the IPA fonts that stand in for them;
/// fontconfig alone would pick a Latin font. Call before any widget exists.
void registerFontSubstitutions();

/// A font of the layout, at its pixel height.
QFont boardFont(const layout::FontSpec& design);

/// The clock's face from the settings, at their size in points (the clock
/// shows points as on the 96-dpi design screen).
QFont clockFont(const BoardSettings& settings);

/// The IPA fonts are wider than the faces the layout was drawn with, so
/// times would run out of their grid columns, the clock under the small
/// logo and "Now" into "=>". A font of those faces is narrowed until a time
/// is no wider than the layout wrote it; any other face is left as it is.
QFont atDesignMeasure(QFont font);

}  // namespace pelm
