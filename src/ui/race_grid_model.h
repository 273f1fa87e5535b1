#pragma once
// DSmenu: the open upcoming-races result set as the grid's model. The
// columns are the grid's own (start, "-", end, a spacer, title), looked up
// in the result by field name; the board never edits them.

#include <QAbstractTableModel>
#include <memory>
#include <vector>

#include "sqlengine/result_set.h"

namespace pelm {

class RaceGridModel : public QAbstractTableModel {
    Q_OBJECT

public:
    using QAbstractTableModel::QAbstractTableModel;

    /// Shows a freshly opened result set, from its first row.
    void setResultSet(std::shared_ptr<const ResultSet> rows);
    /// True once a result set has been given.
    bool isOpen() const { return rows_ != nullptr; }

    /// At least one row: the grid shows a blank one while there is nothing.
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    /// A result set was given: the grid goes back to its first row.
    void reopened();

private:
    /// Tells the views which cells differ from `before`'s.
    void announceChangedCells(const ResultSet& before);

    std::shared_ptr<const ResultSet> rows_;
    std::vector<int> fieldColumns_;  // per grid column: the result's column, or -1
};

}  // namespace pelm
