#include "ui/row_labels.h"

#include "ui/fonts.h"
#include "ui/panel.h"

namespace pelm {

QLabel* makeRowLabel(QWidget* panel, const layout::RowLabel& row) {
    auto* label = new QLabel(
        QString::fromUtf8(row.text.data(), static_cast<qsizetype>(row.text.size())), panel);
    label->setObjectName(row.name);
    label->setFont(boardFont(layout::kRowLabelFont));
    paintBackground(*label, layout::kBlack);
    QPalette colours = label->palette();
    colours.setColor(QPalette::WindowText, QColor(row.colour));
    label->setPalette(colours);
    label->move(row.at);
    label->adjustSize();
    return label;
}

}  // namespace pelm
