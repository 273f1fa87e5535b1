#pragma once
// Paints the grid's data cells as the board shows them: yellow text on
// black with its insets, clipped to the cell, a silver line under each row,
// and only full rows. The current cell is highlighted while the grid has
// the focus; nothing is ever edited in place.

#include <QStyledItemDelegate>

namespace pelm {

class GridCellDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;

private:
    void paintText(QPainter* painter, const QRect& cell, const QModelIndex& index,
                   const QColor& colour) const;
    static void paintFocus(QPainter* painter, const QRect& cell, const QColor& colour);
};

}  // namespace pelm
