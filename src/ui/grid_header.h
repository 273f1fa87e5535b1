#pragma once
// The grid's fixed cells: the title row along the top and the indicator
// column down the left, black, with the titles in the window's text colour.
// They keep the thickness the layout gives them, whatever the font.

#include <QHeaderView>

namespace pelm {

class GridHeader : public QHeaderView {
    Q_OBJECT

public:
    GridHeader(Qt::Orientation orientation, int thickness, QWidget* parent);

    QSize sizeHint() const override;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

private:
    int thickness_;
};

}  // namespace pelm
