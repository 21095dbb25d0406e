// The watch dock's table: a row per watched item (name, value, size),
// values changed since the last halt in red, the value editable while the
// program is halted (the target is written and the components refreshed).
#pragma once

#include <QAbstractTableModel>

#include "host/debugger/WatchList.h"

class Debugger;

class WatchModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kName, kValue, kSize, kColumns };
    WatchModel(quill::debugger::WatchList& list, Debugger& debugger, QObject* parent = nullptr)
        : QAbstractTableModel(parent), list_(list), debugger_(debugger) {}

    // Adds a watch; false with *error for an unknown name.
    bool add(const QString& name, QString* error);
    void remove(int row);
    // A new session's part and program (see WatchList::rebind).
    void rebind(std::function<int(const std::string&)> ioIndex,
                const quill::debugger::ProgramInfo* program);
    void setFormat(int row, quill::debugger::WatchFormat format);
    // Reads the values (at the display rate while running, and at a halt).
    void update();
    void halted();
    void resumed();
    const quill::debugger::WatchList& list() const { return list_; }
    // The last refusal of an edit, for the dock's status line.
    const QString& lastError() const { return lastError_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void rowsChanged(int first, int last);

    quill::debugger::WatchList& list_;
    Debugger& debugger_;
    QString lastError_;
};
