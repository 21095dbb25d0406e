// The Stack view's list of the 1024 data-memory bytes: a table view over
// MemoryListModel with a column header, grid lines, pointer arrows and red
// changed rows.
//
// The view paints only the rows on screen, and a refresh repaints only the
// visible rows the model announces as changed; Qt's backing store draws
// off-screen and puts the picture on screen in one step, so the frequent
// refreshes after simulator steps do not flicker. Rows cannot be selected,
// there is no current cell, and keys scroll the list.
#pragma once

#include <QTableView>
#include <array>

#include "components/digital/MemoryRows.h"

class CLEDView;
class MemoryListModel;

class MemoryListCtrl : public QTableView, public memrows::Scrollable {
    Q_OBJECT
public:
    explicit MemoryListCtrl(QWidget* parent = nullptr);
    ~MemoryListCtrl() override;

    void setCore(CLEDView* core) { core_ = core; }

    // Adds the nine columns with their starting widths (hidden ones have
    // width 0).
    void insertColumns();
    // Sets a column's width; 0 hides it. Returns false for an unknown column.
    bool resizeColumn(int column, int width);
    bool columnShown(int column) const;
    void setColumnShown(int column, bool shown) { shown_.at(column) = shown; }

    // A strip of 16 x 16 images; white is transparent.
    void setImageList(const QPixmap& strip);

    bool reverse() const;
    void setReverse(bool reverse);

    // Reads the core's memory images and pointers; the rows they changed
    // are repainted.
    void refresh();

    // Scrolling in whole rows.
    int topIndex() const;
    int countPerPage() const;
    memrows::Page page() const override { return {topIndex(), countPerPage()}; }
    void scrollRows(int delta) override;
    // Where a row is drawn, in viewport coordinates.
    QRect rowRect(int row) const;

    // What the list shows for a cell.
    QString cellText(int row, int column) const;
    bool rowChanged(int row) const;

    MemoryListModel* memoryModel() const { return model_; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void fitFont();

    CLEDView* core_ = nullptr;
    MemoryListModel* model_;
    std::array<bool, memrows::kColumnCount> shown_{};
};
