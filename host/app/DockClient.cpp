#include "host/app/DockClient.h"

#include <QApplication>
#include <QChildEvent>
#include <QDockWidget>
#include <QLayout>
#include <QMainWindow>
#include <QProxyStyle>
#include <algorithm>

namespace {

// The client area of a component dock. The component dialog becomes its
// child and keeps its own fixed size; the area asks the dock for exactly
// that much room.
class ClientArea : public QWidget {
public:
    explicit ClientArea(QWidget* parent) : QWidget(parent) {
        setObjectName("dockClient");
        setAutoFillBackground(true);
        QPalette p = palette();
        p.setColor(QPalette::Window, Qt::white);
        setPalette(p);
    }
    QSize sizeHint() const override { return contentSize(); }
    QSize minimumSizeHint() const override { return contentSize(); }

protected:
    void childEvent(QChildEvent* event) override {
        QWidget::childEvent(event);
        if (event->added() && event->child()->isWidgetType()) {
            event->child()->installEventFilter(this);
        }
        if (event->added() || event->removed()) refit();
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::Resize:
            case QEvent::Move:
            case QEvent::Show:
            case QEvent::Hide:
                refit();
                break;
            default:
                break;
        }
        return QWidget::eventFilter(watched, event);
    }

private:
    QSize contentSize() const {
        QRect r;
        for (QObject* o : children()) {
            if (auto* w = qobject_cast<QWidget*>(o); w && !w->isWindow()) r |= w->geometry();
        }
        return r.isEmpty() ? QSize(40, 30) : QSize(r.right() + 1, r.bottom() + 1);
    }
    // The dock keeps the component's own width: the component draws a
    // fixed picture, and stretching the dock would only add white space.
    void refit() {
        const QSize size = contentSize();
        setMinimumSize(size);
        setMaximumWidth(size.width());
        updateGeometry();
    }
};

// The application's style without widget animations. The main window
// animates a dock's move with an animation object the dock owns whenever
// the style has an animation duration, even when the window's own
// animation is off; those objects pile up on every dock.
class StillStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returned) const override {
        if (hint == SH_Widget_Animation_Duration) return 0;
        return QProxyStyle::styleHint(hint, option, widget, returned);
    }
};

// One for the application, deleted with it (after its windows).
QStyle* stillStyle() {
    static QPointer<QStyle> style;
    if (!style) {
        style = new StillStyle;
        style->setParent(qApp);
    }
    return style;
}

}  // namespace

DockClient::DockClient(QMainWindow& window) : QObject(&window), window_(window) {
    window_.setDockNestingEnabled(true);
}

QWidget* DockClient::open(const QString& title) {
    auto* dock = new QDockWidget(title, &window_);
    dock->setObjectName(QString("componentDock%1").arg(docks_.size() + 1));
    dock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                      QDockWidget::DockWidgetFloatable);
    dock->setStyle(stillStyle());
    auto* area = new ClientArea(dock);
    dock->setWidget(area);

    // Held while the dock goes in: showing it would otherwise lay out every
    // dock of the window at once. Enabled again, the layout asks for one
    // pass when the event loop runs, shared by every opening before it.
    QLayout* layout = window_.layout();
    const bool wasEnabled = layout->isEnabled();
    layout->setEnabled(false);
    place(dock);
    dock->show();
    layout->setEnabled(wasEnabled);
    layout->invalidate();

    docks_.push_back(dock);
    connect(dock, &QObject::destroyed, this, [this, dock] { std::erase(docks_, dock); });
    return area;
}

void DockClient::place(QDockWidget* dock) {
    std::erase_if(columns_, [this](const QPointer<QDockWidget>& d) {
        return !d || d->isFloating() || window_.dockWidgetArea(d) != Qt::TopDockWidgetArea;
    });
    if (columns_.size() >= kColumns) {
        const std::size_t column = nextColumn_++ % columns_.size();
        window_.tabifyDockWidget(columns_[column], dock);
        bringToFront(column, dock);
        return;
    }
    if (last_ && !last_->isFloating() && window_.dockWidgetArea(last_) == Qt::TopDockWidgetArea) {
        window_.splitDockWidget(last_, dock, Qt::Horizontal);
    } else {
        window_.addDockWidget(Qt::TopDockWidgetArea, dock);
    }
    columns_.push_back(dock);
    last_ = dock;
}

// A new tab comes to the front once the layout has made the tab bars; the
// call is queued behind the layout's request. Only the newest tab of each
// column is raised: raising switches a tab bar, which lays its group out.
void DockClient::bringToFront(std::size_t column, QDockWidget* dock) {
    if (front_.empty()) {
        QMetaObject::invokeMethod(this, &DockClient::raiseNewTabs, Qt::QueuedConnection);
    }
    front_[column] = dock;
}

void DockClient::raiseNewTabs() {
    window_.layout()->activate();
    for (auto& [column, dock] : front_) {
        if (dock && !dock->isFloating()) dock->raise();
    }
    front_.clear();
}
