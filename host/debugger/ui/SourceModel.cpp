#include "host/debugger/ui/SourceModel.h"

#include <QBrush>
#include <QColor>
#include <QFontDatabase>

void SourceModel::showSource(const std::string& tableName, std::vector<std::string> lines) {
    beginResetModel();
    file_ = tableName;
    disassembly_ = false;
    lines_ = std::move(lines);
    code_.clear();
    current_ = -1;
    endResetModel();
}

void SourceModel::showDisassembly(std::vector<quill::debugger::DisassemblyLine> lines) {
    beginResetModel();
    file_.clear();
    disassembly_ = true;
    code_ = std::move(lines);
    lines_.clear();
    current_ = -1;
    endResetModel();
}

uint32_t SourceModel::addressOf(int row) const {
    return disassembly_ && row >= 0 && row < int(code_.size()) ? code_[size_t(row)].address
                                                               : 0xFFFFFFFF;
}

void SourceModel::setCurrent(int row) {
    if (row == current_) return;
    const int old = current_;
    current_ = row;
    if (old >= 0) emit dataChanged(index(old), index(old), {Qt::BackgroundRole});
    if (row >= 0) emit dataChanged(index(row), index(row), {Qt::BackgroundRole});
}

int SourceModel::highlightLine(const std::string& file, int line) {
    setCurrent(!disassembly_ && file == file_ && line >= 1 && line <= int(lines_.size()) ? line - 1
                                                                                       : -1);
    return current_;
}

int SourceModel::highlightAddress(uint32_t pc) {
    int row = -1;
    for (size_t i = 0; i < code_.size(); ++i)
        if (code_[i].address == pc) row = int(i);
    setCurrent(disassembly_ ? row : -1);
    return current_;
}

bool SourceModel::hasBreakpoint(int row) const {
    if (disassembly_) return session_.breakpoints().addresses().contains(addressOf(row));
    return session_.breakpoints().hasLine(file_, lineOf(row));
}

bool SourceModel::toggleBreakpoint(int row, std::string* error) {
    if (row < 0 || row >= rowCount()) return false;
    quill::debugger::Breakpoints& breakpoints = session_.breakpoints();
    if (disassembly_) {
        const uint32_t pc = addressOf(row);
        if (pc == 0xFFFFFFFF) {
            *error = "no instruction on this line";
            return false;
        }
        auto& set = breakpoints.addresses();
        if (set.contains(pc)) {
            set.remove(pc);
        } else {
            set.add(pc);
        }
    } else if (!breakpoints.toggleLine(file_, lineOf(row), error)) {
        return false;
    }
    breakpointsChanged();
    return true;
}

void SourceModel::breakpointsChanged() {
    if (rowCount() > 0) emit dataChanged(index(0), index(rowCount() - 1), {Qt::CheckStateRole});
}

int SourceModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return disassembly_ ? int(code_.size()) : int(lines_.size());
}

QVariant SourceModel::data(const QModelIndex& index, int role) const {
    const int row = index.row();
    if (!index.isValid() || row >= rowCount()) return {};
    switch (role) {
        case Qt::DisplayRole:
            if (disassembly_) return QString::fromStdString(code_[size_t(row)].text);
            return QString("%1  %2").arg(row + 1, 4).arg(QString::fromStdString(lines_[size_t(row)]));
        case Qt::CheckStateRole:
            return hasBreakpoint(row) ? Qt::Checked : Qt::Unchecked;
        case Qt::BackgroundRole:
            if (row == current_) return QBrush(QColor(255, 236, 120));
            return {};
        case Qt::FontRole:
            return QFontDatabase::systemFont(QFontDatabase::FixedFont);
        default:
            return {};
    }
}

bool SourceModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !index.isValid()) return false;
    if ((value.toInt() == Qt::Checked) == hasBreakpoint(index.row())) return false;
    std::string error;
    return toggleBreakpoint(index.row(), &error);
}

Qt::ItemFlags SourceModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
}
