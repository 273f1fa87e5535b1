#include "ui/race_grid_model.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "platform/codepage.h"
#include "ui/layout.h"

namespace pelm {

void RaceGridModel::setResultSet(std::shared_ptr<const ResultSet> rows) {
    // Most refreshes select the very rows shown already, and most others
    // change a row or two: resetting the model for them would repaint the
    // whole grid, on a 4K screen a good part of it, for nothing.
    if (rows_ && rows && rows_->columns == rows->columns &&
        rows_->rows.size() == rows->rows.size()) {
        const std::shared_ptr<const ResultSet> before = std::exchange(rows_, std::move(rows));
        announceChangedCells(*before);
        emit reopened();
        return;
    }
    beginResetModel();
    rows_ = std::move(rows);
    fieldColumns_.clear();
    for (const layout::GridColumn& column : layout::kGridColumns) {
        const bool named = *column.field != '\0';
        fieldColumns_.push_back(rows_ && named ? rows_->columnIndex(column.field) : -1);
    }
    endResetModel();
    emit reopened();
}

// Cell by cell: a view repaints one changed cell alone, but the whole of
// itself for a changed range of several.
void RaceGridModel::announceChangedCells(const ResultSet& before) {
    for (std::size_t row = 0; row < rows_->rows.size(); ++row) {
        if (rows_->rows[row] == before.rows[row]) continue;
        for (int column = 0; column < columnCount(); ++column) {
            const int field = fieldColumns_[column];
            if (field < 0 || rows_->rows[row][field] == before.rows[row][field]) continue;
            const QModelIndex cell = index(static_cast<int>(row), column);
            emit dataChanged(cell, cell, {Qt::DisplayRole});
        }
    }
}

int RaceGridModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return std::max<int>(1, rows_ ? static_cast<int>(rows_->rows.size()) : 0);
}

int RaceGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(std::size(layout::kGridColumns));
}

QVariant RaceGridModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return {};
    if (role == Qt::TextAlignmentRole) {
        const bool right = layout::kGridColumns[index.column()].rightAligned;
        return static_cast<int>(Qt::AlignTop | (right ? Qt::AlignRight : Qt::AlignLeft));
    }
    if (role != Qt::DisplayRole) return {};
    const int field = fieldColumns_.empty() ? -1 : fieldColumns_[index.column()];
    const auto row = static_cast<std::size_t>(index.row());
    if (field < 0 || row >= rows_->rows.size()) return QString();
    return fromCp932(rows_->text(row, static_cast<std::size_t>(field)));
}

QVariant RaceGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    if (section < 0 || section >= columnCount()) return {};
    return QString::fromLatin1(layout::kGridColumns[section].field);
}

Qt::ItemFlags RaceGridModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

}  // namespace pelm
