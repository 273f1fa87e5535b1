#include "ui/grid_cell_delegate.h"

#include <QAbstractItemView>
#include <QPainter>

#include "ui/fonts.h"
#include "ui/layout.h"

namespace pelm {
namespace {

// A row cut off by the viewport's bottom stays blank, so the strip below
// the last full row is plain background, whatever lies beyond it.
bool isCutOff(const QStyleOptionViewItem& option) {
    const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
    return view && option.rect.bottom() >= view->viewport()->height();
}

}  // namespace

void GridCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    const QRect& area = option.rect;
    const QRect cell = area.adjusted(0, 0, 0, -1);
    painter->save();
    if (isCutOff(option)) {
        painter->fillRect(area, QColor(layout::kBlack));
        painter->restore();
        return;
    }
    painter->fillRect(area.left(), area.bottom(), area.width(), 1, QColor(layout::kSilver));
    const bool current = option.state.testFlag(QStyle::State_HasFocus);
    const QPalette& palette = option.palette;
    painter->fillRect(cell, current ? palette.highlight().color() : QColor(layout::kBlack));
    const QColor text = current ? palette.highlightedText().color() : QColor(layout::kYellow);
    paintText(painter, cell, index, text);
    if (current) paintFocus(painter, cell, text);
    painter->restore();
}

QWidget* GridCellDelegate::createEditor(QWidget*, const QStyleOptionViewItem&,
                                        const QModelIndex&) const {
    return nullptr;
}

void GridCellDelegate::paintText(QPainter* painter, const QRect& cell, const QModelIndex& index,
                                 const QColor& colour) const {
    const auto alignment = Qt::Alignment(index.data(Qt::TextAlignmentRole).toInt());
    // The insets only place the text; what does not fit is cut at the cell.
    const QRect box = cell.adjusted(layout::kTextLeft, layout::kTextTop, -layout::kTextRight, 0);
    painter->setClipRect(cell);
    painter->setFont(boardFont(layout::kCellFont));
    painter->setPen(colour);
    painter->drawText(box, static_cast<int>(alignment | Qt::TextDontClip), index.data().toString());
}

void GridCellDelegate::paintFocus(QPainter* painter, const QRect& cell, const QColor& colour) {
    painter->setPen(QPen(colour, 1, Qt::DotLine));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(cell.adjusted(0, 0, -1, -1));
}

}  // namespace pelm
