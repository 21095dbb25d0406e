#include "host/debugger/ui/WatchModel.h"

#include <QBrush>
#include <QColor>
#include <QFontDatabase>

#include "host/session/Debugger.h"

using quill::debugger::WatchFormat;

bool WatchModel::add(const QString& name, QString* error) {
    std::string why;
    const std::optional<quill::debugger::WatchEntry> entry = list_.resolve(name.toStdString(), &why);
    if (!entry) {
        *error = QString::fromStdString(why);
        return false;
    }
    const int row = rowCount();
    beginInsertRows({}, row, row);
    list_.append(*entry);
    list_.update(debugger_.debugging() ? debugger_.machine() : nullptr);
    endInsertRows();
    return true;
}

void WatchModel::rebind(std::function<int(const std::string&)> ioIndex,
                        const quill::debugger::ProgramInfo* program) {
    beginResetModel();
    list_.rebind(std::move(ioIndex), program);
    endResetModel();
}

void WatchModel::remove(int row) {
    if (row < 0 || row >= rowCount()) return;
    beginRemoveRows({}, row, row);
    list_.remove(size_t(row));
    endRemoveRows();
}

void WatchModel::setFormat(int row, WatchFormat format) {
    list_.setFormat(size_t(row), format);
    rowsChanged(row, row);
}

void WatchModel::rowsChanged(int first, int last) {
    if (first <= last && last < rowCount()) emit dataChanged(index(first, 0), index(last, kColumns - 1));
}

void WatchModel::update() {
    for (size_t row : list_.update(debugger_.debugging() ? debugger_.machine() : nullptr))
        rowsChanged(int(row), int(row));
}

void WatchModel::halted() {
    update();
    list_.halted();
    rowsChanged(0, rowCount() - 1);
}

void WatchModel::resumed() {
    list_.resumed();
    rowsChanged(0, rowCount() - 1);
}

int WatchModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(list_.entries().size());
}

int WatchModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QVariant WatchModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const auto& e = list_.entries()[size_t(index.row())];
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        switch (index.column()) {
            case kName:
                return QString::fromStdString(e.name);
            case kValue:
                return QString::fromStdString(list_.text(size_t(index.row())));
            case kSize:
                return int(e.size);
        }
    }
    if (role == Qt::ForegroundRole && index.column() == kValue && e.changed())
        return QBrush(QColor(200, 0, 0));
    if (role == Qt::FontRole && index.column() == kValue)
        return QFontDatabase::systemFont(QFontDatabase::FixedFont);
    return {};
}

QVariant WatchModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
        case kName:
            return QString("Name");
        case kValue:
            return QString("Value");
        case kSize:
            return QString("Bytes");
    }
    return {};
}

bool WatchModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || index.column() != kValue ||
        debugger_.state() != Debugger::State::Halted)
        return false;
    std::string why;
    if (!list_.write(debugger_.machine(), size_t(index.row()), value.toString().toStdString(),
                     &why)) {
        lastError_ = QString::fromStdString(why);
        return false;
    }
    lastError_.clear();
    debugger_.memoryChanged();  // the components see the new value
    update();
    return true;
}

Qt::ItemFlags WatchModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == kValue && debugger_.state() == Debugger::State::Halted)
        f |= Qt::ItemIsEditable;
    return f;
}
