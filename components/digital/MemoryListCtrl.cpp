#include "components/digital/MemoryListCtrl.h"

#include <QBitmap>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <algorithm>

#include "components/digital/MemoryListModel.h"
#include "core/CLEDView.h"

using namespace memrows;

namespace {
constexpr int kImageSize = 16;
}  // namespace

MemoryListCtrl::MemoryListCtrl(QWidget* parent)
    : QTableView(parent), model_(new MemoryListModel(this)) {
    setModel(model_);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    setIconSize(QSize(kImageSize, kImageSize));
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalHeader()->hide();

    // The header only lays out the columns: no sorting, no moving, and its
    // sections do not stretch to fill the list. Widths change only through
    // the View menu, so its marks stay true.
    QHeaderView* header = horizontalHeader();
    header->setSectionsClickable(false);
    header->setSectionsMovable(false);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(0);
    header->setSectionResizeMode(QHeaderView::Fixed);
    fitFont();
}

MemoryListCtrl::~MemoryListCtrl() = default;

void MemoryListCtrl::fitFont() {
    // The column widths are fixed in pixels; the list picks the largest
    // font size at which a full address and a full binary value fit their
    // columns with the cell margins, so no cell text is ever cut off.
    const int margins = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1);
    QFont f = font();
    for (int px = 12; px >= 7; --px) {
        f.setPixelSize(px);
        const QFontMetrics m(f);
        if (m.horizontalAdvance(QStringLiteral("00045F")) + margins <=
                kColumns[kColAddress].width &&
            m.horizontalAdvance(QStringLiteral("00000000")) + margins <=
                kColumns[kColBinary].width) {
            break;
        }
    }
    setFont(f);
    horizontalHeader()->setFont(f);
    QHeaderView* rows = verticalHeader();
    rows->setMinimumSectionSize(0);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(std::max(kImageSize + 1, QFontMetrics(f).height() + 3));
}

void MemoryListCtrl::insertColumns() {
    for (int c = 0; c < kColumnCount; ++c) {
        shown_[c] = kColumns[c].shownAtStart;
        setColumnWidth(c, kColumns[c].shownAtStart ? kColumns[c].initialWidth : 0);
    }
}

bool MemoryListCtrl::resizeColumn(int column, int width) {
    if (column < 0 || column >= kColumnCount || width < 0) return false;
    setColumnWidth(column, width);
    return true;
}

bool MemoryListCtrl::columnShown(int column) const {
    return column >= 0 && column < kColumnCount && shown_[column];
}

void MemoryListCtrl::setImageList(const QPixmap& strip) {
    // White is the transparent colour of the strip.
    QPixmap images = strip;
    if (!images.isNull()) images.setMask(images.createMaskFromColor(Qt::white, Qt::MaskInColor));
    const qreal dpr = images.devicePixelRatio();
    const int side = qRound(kImageSize * dpr);
    std::array<QIcon, 5> icons;
    for (int i = kImageSP; i <= kImageZ; ++i) {
        if ((i + 1) * side > images.width()) break;
        QPixmap one = images.copy(i * side, 0, side, side);
        one.setDevicePixelRatio(dpr);
        icons[static_cast<size_t>(i)] = QIcon(one);
    }
    model_->setImages(icons);
    viewport()->update();
}

bool MemoryListCtrl::reverse() const { return model_->reverse(); }

void MemoryListCtrl::setReverse(bool reverse) { model_->setReverse(reverse); }

void MemoryListCtrl::refresh() {
    if (!core_) return;
    model_->refresh(Snapshot{core_->DataMemory().data(), core_->DataPrevious().data(),
                             core_->StackPointer(), core_->PointerX(), core_->PointerY(),
                             core_->PointerZ(), Window{core_->DataStart(), core_->DataSize()}});
}

int MemoryListCtrl::topIndex() const { return verticalScrollBar()->value(); }

int MemoryListCtrl::countPerPage() const {
    return std::max(0, viewport()->height() / verticalHeader()->defaultSectionSize());
}

void MemoryListCtrl::scrollRows(int delta) {
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(std::clamp(bar->value() + delta, bar->minimum(), bar->maximum()));
}

QRect MemoryListCtrl::rowRect(int row) const {
    return QRect(0, rowViewportPosition(row), viewport()->width(), rowHeight(row));
}

QString MemoryListCtrl::cellText(int row, int column) const {
    return QString::fromStdString(CellText(model_->shown(), row, column, reverse()));
}

bool MemoryListCtrl::rowChanged(int row) const {
    return RowChanged(model_->shown(), row, reverse());
}

void MemoryListCtrl::mousePressEvent(QMouseEvent* event) {
    // Rows are never selected and there is no current row; the click is
    // taken so nothing else reacts, except the right button, whose context
    // menu the window shows.
    if (event->button() == Qt::RightButton) {
        event->ignore();
        return;
    }
    setFocus(Qt::MouseFocusReason);
    event->accept();
}

void MemoryListCtrl::mouseDoubleClickEvent(QMouseEvent* event) { event->accept(); }

void MemoryListCtrl::focusInEvent(QFocusEvent* event) {
    // The item view would make a cell current here and frame it; the list
    // has no current cell.
    QAbstractScrollArea::focusInEvent(event);
}

void MemoryListCtrl::keyPressEvent(QKeyEvent* event) {
    // Keys scroll the list (arrows and pages as a scroll area does); there
    // is no current cell to move.
    QScrollBar* v = verticalScrollBar();
    if (event->key() == Qt::Key_Home || event->key() == Qt::Key_End) {
        v->setValue(event->key() == Qt::Key_Home ? v->minimum() : v->maximum());
        event->accept();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}
