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

// The stretch that writes the measure text as wide as the design did,
// measured once per face.
int designStretch(const layout::DesignMeasure& measure) {
    static QHash<const layout::DesignMeasure*, int> measured;
    if (auto found = measured.constFind(&measure); found != measured.constEnd()) return *found;
    QFont probe(QString::fromUtf8(measure.family));
    probe.setPixelSize(measure.pixels);
    const qreal width = QFontMetricsF(probe).horizontalAdvance(layout::kMeasureText);
    const int stretch = width > 0 ? qRound(100 * measure.width / width) : 100;
    return measured[&measure] = std::clamp(stretch, 50, 150);
}

}  // namespace

void registerFontSubstitutions() {
    QFont::insertSubstitution(layout::kGothic, "IPAPGothic");
    QFont::insertSubstitution(layout::kMincho, "IPAPMincho");
}

QFont atDesignMeasure(QFont font) {
    if (const layout::DesignMeasure* measure = designMeasure(font.family())) {
        font.setStretch(designStretch(*measure));
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
