#include "ui/fonts.h"

#include <QFontMetricsF>
#include <QHash>
#include <algorithm>

#include "platform/codepage.h"

namespace pelm {
namespace {

const layout::DesignMeasure* designMeasure(const QString& family) {
    for (const layout::DesignMeasure& measure : layout::kDesignMeasures) {
        if (family == QString::fromUtf8(measure.family)) return &measure;
    }
    return nullptr;
}

// The stretch that brings the measure text down to the design's width,
// measured once per face. It only ever narrows: a stretch applies to every
// face of the font, kanji and kana included, so with the narrow Latin faces
// in place it stays at 100 and the Japanese keeps its design width; only
// where those faces are missing does the whole font narrow, so that times
// still fit their columns.
int designStretch(const layout::DesignMeasure& measure) {
    static QHash<const layout::DesignMeasure*, int> measured;
    if (auto found = measured.constFind(&measure); found != measured.constEnd()) return *found;
    QFont probe(QString::fromUtf8(measure.family));
    probe.setPixelSize(measure.pixels);
    const qreal width = QFontMetricsF(probe).horizontalAdvance(layout::kMeasureText);
    const int stretch = width > 0 ? qRound(100 * measure.width / width) : 100;
    return measured[&measure] = std::clamp(stretch, 50, 100);
}

}  // namespace

// Each named face resolves to a narrow Latin face first, which draws the
// digits, Latin letters and punctuation at the design's measure, and to the
// IPA face for every character the Latin face lacks: kanji and kana keep
// their full width.
void registerFontSubstitutions() {
    QFont::insertSubstitutions(layout::kGothic, {"Liberation Sans Narrow", "IPAPGothic"});
    QFont::insertSubstitutions(layout::kMincho, {"Liberation Serif", "IPAPMincho"});
}

QFont atDesignMeasure(QFont font) {
    if (const layout::DesignMeasure* measure = designMeasure(font.family())) {
        // Not "100" when no narrowing is needed: Qt would widen a face whose
        // own width is condensed (the narrow Latin face) up to normal width.
        const int stretch = designStretch(*measure);
        font.setStretch(stretch < 100 ? stretch : int(QFont::AnyStretch));
    }
    return font;
}

QFont boardFont(const layout::FontSpec& design) {
    QFont font(QString::fromUtf8(design.family));
    font.setPixelSize(design.pixels);
    return atDesignMeasure(font);
}

QFont clockFont(const BoardSettings& settings) {
    QFont font(fromCp932(settings.font));
    font.setPointSize(clockPointsInRange(settings.size));
    return atDesignMeasure(font);
}

}  // namespace pelm
