// The Stack view's rows as an item model: a row per byte of the part's
// SRAM (1024 rows by default) in nine columns, the
// pointer arrows as decorations and changed bytes in red as the foreground.
//
// The model shows its own copy of the memory images and pointers, taken at
// each refresh. A refresh announces only the rows whose text, colour or
// arrow changed, in runs of neighbouring rows, so a step that changed one
// byte repaints one row and a step that changed nothing repaints nothing.
#pragma once

#include <QAbstractTableModel>
#include <QBrush>
#include <QIcon>
#include <array>

#include "components/digital/MemoryRows.h"

class MemoryListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit MemoryListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Takes the next images and pointers and announces the rows they change.
    void refresh(const memrows::Snapshot& next);

    bool reverse() const { return reverse_; }
    // Turns the row order round; every row shows another byte afterwards.
    void setReverse(bool reverse);

    // The arrows of the image strip, by memrows::Image.
    void setImages(const std::array<QIcon, 5>& images) { images_ = images; }

    memrows::Snapshot shown() const { return shown_.snapshot(); }
    const memrows::Window& window() const { return shown_.window; }

private:
    void announce(int first, int last);

    memrows::ShownMemory shown_;
    memrows::RowSet dirty_;
    bool reverse_ = true;
    std::array<QIcon, 5> images_;
    QBrush changedColour_{QColor(255, 0, 0)};
};
