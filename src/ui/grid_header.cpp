#include "ui/grid_header.h"

#include <QPainter>

#include "ui/fonts.h"
#include "ui/layout.h"
#include "ui/panel.h"

namespace pelm {

GridHeader::GridHeader(Qt::Orientation orientation, int thickness, QWidget* parent)
    : QHeaderView(orientation, parent), thickness_(thickness) {
    paintBackground(*this, layout::kBlack);
    paintBackground(*viewport(), layout::kBlack);
    setMinimumSectionSize(1);
    setHighlightSections(false);
    setSectionsClickable(false);
    setFont(boardFont(layout::kTitleFont));
}

QSize GridHeader::sizeHint() const {
    QSize size = QHeaderView::sizeHint();
    if (orientation() == Qt::Horizontal) {
        size.setHeight(thickness_);
    } else {
        size.setWidth(thickness_);
    }
    return size;
}

void GridHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    painter->fillRect(rect, QColor(layout::kBlack));
    if (orientation() != Qt::Horizontal || !model()) return;
    const QRect box = rect.adjusted(layout::kTextLeft, layout::kTextTop, 0, -1);
    painter->save();
    painter->setClipRect(rect);
    painter->setPen(QColor(layout::kWindowText));
    painter->drawText(box, Qt::AlignLeft | Qt::AlignTop,
                      model()->headerData(logicalIndex, Qt::Horizontal).toString());
    painter->restore();
}

}  // namespace pelm
