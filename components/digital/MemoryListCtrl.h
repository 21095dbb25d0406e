// The Stack view's list of the 1024 data-memory bytes: a report-style list
// with a column header, grid lines, pointer arrows and red changed rows.
//
// The list holds no rows: it paints only the rows on screen and asks the
// row model (MemoryRows.h) for each visible cell from the core's memory
// images. Painting goes through an off-screen surface copied to the screen
// in one step, without erasing the background first, so the frequent
// redraws after every simulator step do not flicker. Rows cannot be
// selected.
#pragma once

#include <QAbstractScrollArea>
#include <QPixmap>
#include <array>

#include "components/digital/MemoryRows.h"

class CLEDView;
class QHeaderView;
class QStandardItemModel;

class MemoryListCtrl : public QAbstractScrollArea, public memrows::Scrollable {
    Q_OBJECT
public:
    explicit MemoryListCtrl(QWidget* parent = nullptr);
    ~MemoryListCtrl() override;

    void setCore(CLEDView* core) { core_ = core; }

    // Adds the nine columns with their headings, alignments and starting
    // widths (hidden ones have width 0).
    void insertColumns();
    // Sets a column's width; 0 hides it. Returns false for an unknown column.
    bool setColumnWidth(int column, int width);
    int columnWidth(int column) const;
    bool columnShown(int column) const;
    void setColumnShown(int column, bool shown) { shown_.at(column) = shown; }

    // A strip of 16 x 16 images; white is transparent.
    void setImageList(const QPixmap& strip);
    void setGridLines(bool on);

    bool reverse() const { return reverse_; }
    void setReverse(bool reverse) { reverse_ = reverse; }

    // Asks for rows first..last to be painted again.
    void redrawItems(int first, int last);

    // Scrolling in whole rows.
    int topIndex() const;
    int countPerPage() const;
    memrows::Page page() const override { return {topIndex(), countPerPage()}; }
    void scrollRows(int delta) override;
    int rowHeight() const { return rowHeight_; }
    // The row at a point of the viewport, or -1.
    int rowAt(const QPoint& viewportPoint) const;
    // Where a row is drawn, in viewport coordinates.
    QRect rowRect(int row) const;

    // What the list shows for a cell, as painted.
    QString cellText(int row, int column) const;
    int cellImage(int row, int column) const;
    bool rowChanged(int row) const;

    QHeaderView* header() const { return header_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    memrows::Snapshot snapshot() const;
    void updateGeometries();
    void fitFont();
    QPixmap image(int index) const;

    CLEDView* core_ = nullptr;
    bool reverse_ = true;
    std::array<bool, memrows::kColumnCount> shown_{};
    QHeaderView* header_;
    QStandardItemModel* headerModel_;
    QPixmap images_;
    bool gridLines_ = false;
    int rowHeight_ = 17;
};
