#include "components/digital/MemoryListModel.h"

using namespace memrows;

namespace {
Qt::Alignment ColumnAlignment(int column) {
    return (kColumns[column].align == Align::Left ? Qt::AlignLeft : Qt::AlignHCenter) |
           Qt::AlignVCenter;
}
}  // namespace

MemoryListModel::MemoryListModel(QObject* parent) : QAbstractTableModel(parent) {}

int MemoryListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shown_.window.count;
}

int MemoryListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant MemoryListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const int row = index.row();
    const int column = index.column();
    switch (role) {
        case Qt::DisplayRole:
            if (column <= kColZ) return {};
            return QString::fromStdString(CellText(shown_.snapshot(), row, column, reverse_));
        case Qt::DecorationRole: {
            if (column > kColZ) return {};
            const int image = CellImage(shown_.snapshot(), row, column, reverse_);
            return image == kImageBlank ? QVariant() : QVariant(images_[image]);
        }
        case Qt::ForegroundRole:
            return RowChanged(shown_.snapshot(), row, reverse_) ? QVariant(changedColour_)
                                                                : QVariant();
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(ColumnAlignment(column));
        default:
            return {};
    }
}

QVariant MemoryListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
    if (role == Qt::DisplayRole) return QString::fromUtf8(kColumns[section].heading);
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(ColumnAlignment(section));
    return {};
}

void MemoryListModel::refresh(const Snapshot& next) {
    if (!(next.window == shown_.window)) {
        // Another part's memory: other rows altogether.
        beginResetModel();
        RowsToRepaint(shown_, next, reverse_, dirty_);
        endResetModel();
        return;
    }
    RowsToRepaint(shown_, next, reverse_, dirty_);
    if (dirty_.none()) return;
    // One announcement per run of neighbouring changed rows.
    const int rows = shown_.window.count;
    int first = -1;
    for (int row = 0; row <= rows; ++row) {
        const bool changed = row < rows && dirty_.test(row);
        if (changed && first < 0) first = row;
        if (!changed && first >= 0) {
            announce(first, row - 1);
            first = -1;
        }
    }
}

void MemoryListModel::setReverse(bool reverse) {
    if (reverse == reverse_) return;
    reverse_ = reverse;
    announce(0, shown_.window.count - 1);
}

void MemoryListModel::announce(int first, int last) {
    emit dataChanged(index(first, 0), index(last, kColumnCount - 1));
}
