#pragma once
// The board's fonts: the Japanese faces its layout names, stood in for by
// the IPA fonts and brought to the measure the layout was drawn with.

#include <QFont>

#include "engine/board_settings.h"
#include "ui/layout.h"

namespace pelm {

/// Maps the faces the board names to the fonts that stand in for them: a
/// narrow Latin face for digits, letters and punctuation, then the IPA face
/// for kanji and kana; fontconfig alone would pick a wide Latin font for
/// all. Call before any widget exists.
void registerFontSubstitutions();

/// A font of the layout, at its pixel height.
QFont boardFont(const layout::FontSpec& design);

/// The clock's face from the settings, at their size in points (the clock
/// shows points as on the 96-dpi design screen).
QFont clockFont(const BoardSettings& settings);

/// Should the stand-in faces write a time wider than the layout did (the
/// narrow Latin faces missing), times would run out of their grid columns,
/// the clock under the small logo and "Now" into "=>". A font of those faces
/// is then narrowed until a time is no wider than the layout wrote it; never
/// widened, and any other face is left as it is.
QFont atDesignMeasure(QFont font);

}  // namespace pelm
