#include "components/digital/MemoryListCtrl.h"

#include <QBitmap>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStandardItemModel>
#include <algorithm>

#include "core/CLEDView.h"
#include "framework/CMemDC.h"

using namespace memrows;

namespace {
constexpr int kImageSize = 16;
constexpr int kCellPadding = 2;
const QColor kGridColour(0xd4, 0xd4, 0xd4);
const QColor kChangedColour(255, 0, 0);
}  // namespace

MemoryListCtrl::MemoryListCtrl(QWidget* parent)
    : QAbstractScrollArea(parent),
      header_(new QHeaderView(Qt::Horizontal, this)),
      headerModel_(new QStandardItemModel(0, kColumnCount, this)) {
    // The header only lays out the columns; no sorting, no moving, and its
    // sections do not stretch to fill the list.
    header_->setModel(headerModel_);
    header_->setSectionsClickable(false);
    header_->setSectionsMovable(false);
    header_->setStretchLastSection(false);
    header_->setMinimumSectionSize(0);
    // Widths change only through the View menu, so its marks stay true.
    header_->setSectionResizeMode(QHeaderView::Fixed);
    connect(header_, &QHeaderView::sectionResized, this, [this] {
        updateGeometries();
        viewport()->update();
    });

    // Every pixel of the viewport is painted by paintEvent: no erase first.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    verticalScrollBar()->setSingleStep(1);
    fitFont();
    updateGeometries();
}

MemoryListCtrl::~MemoryListCtrl() = default;

void MemoryListCtrl::fitFont() {
    // The column widths are fixed in pixels; the list picks the largest
    // font size at which a full address and a full binary value fit their
    // columns, so no cell text is ever cut off.
    QFont f = font();
    for (int px = 12; px >= 7; --px) {
        f.setPixelSize(px);
        const QFontMetrics m(f);
        if (m.horizontalAdvance(QStringLiteral("00045F")) + 2 * kCellPadding <=
                kColumns[kColAddress].width &&
            m.horizontalAdvance(QStringLiteral("00000000")) + 2 * kCellPadding <=
                kColumns[kColBinary].width) {
            break;
        }
    }
    setFont(f);
    header_->setFont(f);
    rowHeight_ = std::max(kImageSize + 1, QFontMetrics(f).height() + 3);
}

void MemoryListCtrl::insertColumns() {
    for (int c = 0; c < kColumnCount; ++c) {
        const ColumnInfo& info = kColumns[c];
        headerModel_->setHeaderData(c, Qt::Horizontal, QString::fromUtf8(info.heading));
        const Qt::Alignment align =
            (info.align == Align::Left ? Qt::AlignLeft : Qt::AlignHCenter) | Qt::AlignVCenter;
        headerModel_->setHeaderData(c, Qt::Horizontal, QVariant::fromValue(align),
                                    Qt::TextAlignmentRole);
        shown_[c] = info.shownAtStart;
        header_->resizeSection(c, info.shownAtStart ? info.initialWidth : 0);
    }
    updateGeometries();
}

bool MemoryListCtrl::setColumnWidth(int column, int width) {
    if (column < 0 || column >= kColumnCount || width < 0) return false;
    header_->resizeSection(column, width);
    updateGeometries();
    viewport()->update();
    return true;
}

int MemoryListCtrl::columnWidth(int column) const {
    if (column < 0 || column >= kColumnCount) return 0;
    return header_->sectionSize(column);
}

bool MemoryListCtrl::columnShown(int column) const {
    return column >= 0 && column < kColumnCount && shown_[column];
}

void MemoryListCtrl::setImageList(const QPixmap& strip) {
    // White is the transparent colour of the strip.
    images_ = strip;
    if (!images_.isNull()) {
        const QBitmap mask = images_.createMaskFromColor(Qt::white, Qt::MaskInColor);
        images_.setMask(mask);
    }
    viewport()->update();
}

QPixmap MemoryListCtrl::image(int index) const {
    if (images_.isNull() || index <= 0) return QPixmap();
    const qreal dpr = images_.devicePixelRatio();
    const int side = qRound(kImageSize * dpr);
    if ((index + 1) * side > images_.width()) return QPixmap();
    QPixmap one = images_.copy(index * side, 0, side, side);
    one.setDevicePixelRatio(dpr);
    return one;
}

void MemoryListCtrl::setGridLines(bool on) {
    gridLines_ = on;
    viewport()->update();
}

void MemoryListCtrl::redrawItems(int first, int last) {
    first = std::max(first, 0);
    last = std::min(last, kRowCount - 1);
    if (first > last) return;
    const int top = topIndex();
    const int lastOnScreen = top + viewport()->height() / rowHeight_ + 1;
    if (last < top || first > lastOnScreen) return;
    QRect area = rowRect(std::max(first, top)).united(rowRect(std::min(last, lastOnScreen)));
    area.setLeft(0);
    area.setRight(viewport()->width());
    viewport()->update(area);
}

int MemoryListCtrl::topIndex() const { return verticalScrollBar()->value(); }

int MemoryListCtrl::countPerPage() const { return std::max(0, viewport()->height() / rowHeight_); }

void MemoryListCtrl::scrollRows(int delta) {
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(std::clamp(bar->value() + delta, bar->minimum(), bar->maximum()));
}

int MemoryListCtrl::rowAt(const QPoint& p) const {
    if (p.y() < 0 || p.y() >= viewport()->height()) return -1;
    const int row = topIndex() + p.y() / rowHeight_;
    return ValidRow(row) ? row : -1;
}

QRect MemoryListCtrl::rowRect(int row) const {
    return QRect(0, (row - topIndex()) * rowHeight_, viewport()->width(), rowHeight_);
}

Snapshot MemoryListCtrl::snapshot() const {
    if (!core_) return Snapshot{};
    return Snapshot{core_->DataMemory().data(), core_->DataPrevious().data(),
                    core_->GetStackPointer(),   core_->PointerX(),
                    core_->PointerY(),          core_->PointerZ()};
}

QString MemoryListCtrl::cellText(int row, int column) const {
    return QString::fromStdString(CellText(snapshot(), row, column, reverse_));
}

int MemoryListCtrl::cellImage(int row, int column) const {
    return CellImage(snapshot(), row, column, reverse_);
}

bool MemoryListCtrl::rowChanged(int row) const { return RowChanged(snapshot(), row, reverse_); }

void MemoryListCtrl::updateGeometries() {
    const int headerHeight = header_->sizeHint().height();
    setViewportMargins(0, headerHeight, 0, 0);
    const QRect vg = viewport()->geometry();
    header_->setGeometry(vg.left(), vg.top() - headerHeight, vg.width(), headerHeight);

    const int count = countPerPage();
    QScrollBar* v = verticalScrollBar();
    v->setRange(0, std::max(0, kRowCount - std::max(count, 1)));
    v->setPageStep(std::max(count, 1));

    int total = 0;
    for (int c = 0; c < kColumnCount; ++c) total += header_->sectionSize(c);
    QScrollBar* h = horizontalScrollBar();
    h->setRange(0, std::max(0, total - viewport()->width()));
    h->setPageStep(std::max(1, viewport()->width()));
    h->setSingleStep(8);
    header_->setOffset(h->value());
}

void MemoryListCtrl::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateGeometries();
}

void MemoryListCtrl::scrollContentsBy(int dx, int dy) {
    if (dx) header_->setOffset(horizontalScrollBar()->value());
    viewport()->update();
}

void MemoryListCtrl::paintEvent(QPaintEvent* event) {
    QPainter target(viewport());
    CMemDC dc(&target, event->rect(), true);
    QPainter& p = *dc.painter();
    const QRect area = event->rect();
    p.fillRect(area, Qt::white);

    const Snapshot snap = snapshot();
    const int top = topIndex();
    const int firstRow = top + std::max(0, area.top()) / rowHeight_;
    const int lastRow = std::min(kRowCount - 1, top + area.bottom() / rowHeight_);
    const int xOffset = header_->offset();
    const QColor textColour = palette().color(QPalette::Text);

    for (int row = firstRow; row <= lastRow; ++row) {
        const QRect r = rowRect(row);
        const bool changed = RowChanged(snap, row, reverse_);
        p.setPen(changed ? kChangedColour : textColour);
        int x = -xOffset;
        for (int c = 0; c < kColumnCount; ++c) {
            const int w = header_->sectionSize(c);
            if (w <= 0) continue;
            const QRect cell(x, r.top(), w, rowHeight_);
            x += w;
            if (!cell.intersects(area)) continue;
            if (c <= kColZ) {
                const QPixmap pic = image(CellImage(snap, row, c, reverse_));
                if (!pic.isNull()) {
                    const QRect spot(0, 0, kImageSize, kImageSize);
                    p.drawPixmap(spot.translated(cell.center() - spot.center()), pic);
                }
                continue;
            }
            const QString text = QString::fromStdString(CellText(snap, row, c, reverse_));
            const Qt::Alignment align =
                (kColumns[c].align == Align::Left ? Qt::AlignLeft : Qt::AlignHCenter) |
                Qt::AlignVCenter;
            p.drawText(cell.adjusted(kCellPadding, 0, -kCellPadding, 0), align, text);
        }
    }

    if (gridLines_) {
        p.setPen(kGridColour);
        const int rowsBottom = (kRowCount - top) * rowHeight_;
        const int bottom = std::min(area.bottom(), rowsBottom);
        for (int row = firstRow; row <= lastRow; ++row) {
            const int y = rowRect(row).bottom();
            p.drawLine(area.left(), y, area.right(), y);
        }
        int x = -xOffset;
        for (int c = 0; c < kColumnCount; ++c) {
            const int w = header_->sectionSize(c);
            if (w <= 0) continue;
            x += w;
            p.drawLine(x - 1, area.top(), x - 1, bottom);
        }
    }
}

void MemoryListCtrl::mousePressEvent(QMouseEvent* event) {
    // Rows are never selected; the click is taken so nothing else reacts,
    // except the right button, whose context menu the window shows.
    if (event->button() == Qt::RightButton) {
        event->ignore();
        return;
    }
    setFocus(Qt::MouseFocusReason);
    event->accept();
}

void MemoryListCtrl::mouseDoubleClickEvent(QMouseEvent* event) { event->accept(); }

void MemoryListCtrl::keyPressEvent(QKeyEvent* event) {
    // Keys scroll the list; there is no current row to move.
    QScrollBar* v = verticalScrollBar();
    switch (event->key()) {
        case Qt::Key_Up:
            scrollRows(-1);
            break;
        case Qt::Key_Down:
            scrollRows(1);
            break;
        case Qt::Key_PageUp:
            scrollRows(-v->pageStep());
            break;
        case Qt::Key_PageDown:
            scrollRows(v->pageStep());
            break;
        case Qt::Key_Home:
            v->setValue(v->minimum());
            break;
        case Qt::Key_End:
            v->setValue(v->maximum());
            break;
        default:
            QAbstractScrollArea::keyPressEvent(event);
            return;
    }
    event->accept();
}
