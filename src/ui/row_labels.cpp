#include "ui/row_labels.h"

#include "ui/fonts.h"
#include "ui/panel.h"

namespace pelm {

QLabel* makeRowLabel(QWidget* panel, const layout::RowLabel& spec) {
    auto* label = new QLabel(QString::fromUtf8(spec.text), panel);
    label->setObjectName(spec.name);
    label->setFont(boardFont(layout::kRowLabelFont));
    paintBackground(*label, layout::kBlack);
    QPalette colours = label->palette();
    colours.setColor(QPalette::WindowText, QColor(spec.colour));
    label->setPalette(colours);
    label->move(spec.at);
    label->adjustSize();
    return label;
}

}  // namespace pelm
