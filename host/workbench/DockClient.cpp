#include "host/workbench/DockClient.h"

#include <QApplication>
#include <QChildEvent>
#include <QDockWidget>
#include <QLayout>
#include <QMainWindow>
#include <QProxyStyle>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QToolBar>
#include <QVariant>
#include <algorithm>
#include <unordered_map>

namespace {

// The dock property holding the window's name, apart from its title.
constexpr const char* kNameProperty = "componentName";

// The client area of a component dock. The component dialog becomes its
// child and keeps its own fixed size; the area asks the dock for exactly
// that much room, and at least enough for the dock's title to be read
// beside its buttons. The component tells what it is wired to as the
// area's own window text (the host window's text, as a component sets it
// on Windows); the dock's title shows it after the name: "LED - PA7".
class ClientArea : public QWidget {
public:
    explicit ClientArea(QDockWidget* dock) : QWidget(dock), dock_(dock) {
        setObjectName("dockClient");
        setAutoFillBackground(true);
        QPalette p = palette();
        p.setColor(QPalette::Window, Qt::white);
        setPalette(p);
    }
    QSize sizeHint() const override { return contentSize(); }
    QSize minimumSizeHint() const override { return contentSize(); }

protected:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::WindowTitleChange) {
            const QString name = DockClient::nameOf(dock_);
            const QString wiring = windowTitle();
            dock_->setWindowTitle(wiring.isEmpty() ? name : name + " - " + wiring);
            dock_->setToolTip(dock_->windowTitle());
            refit();
        }
        return QWidget::event(event);
    }
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
    static constexpr int kWiringRoom = 56;
    QSize contentSize() const {
        QRect r;
        for (QObject* o : children()) {
            if (auto* w = qobject_cast<QWidget*>(o); w && !w->isWindow()) r |= w->geometry();
        }
        const QSize content = r.isEmpty() ? QSize(40, 30) : QSize(r.right() + 1, r.bottom() + 1);
        return {std::max(content.width(), titleWidth()), content.height()};
    }
    // The title's text, the float and close buttons and the margins.
    int titleWidth() const {
        const QStyle* style = dock_->style();
        const int button = style->pixelMetric(QStyle::PM_SmallIconSize, nullptr, dock_) +
                           2 * style->pixelMetric(QStyle::PM_DockWidgetTitleBarButtonMargin,
                                                  nullptr, dock_);
        const int margin = style->pixelMetric(QStyle::PM_DockWidgetTitleMargin, nullptr, dock_);
        // The name is always read whole; the wiring after it widens the dock
        // by at most kWiringRoom (the style elides the rest, and the dock's
        // tool tip holds all of it), so that captions never change how the
        // components are arranged by much.
        const QFontMetrics metrics = dock_->fontMetrics();
        const QString name = DockClient::nameOf(dock_);
        const int wiring = metrics.horizontalAdvance(dock_->windowTitle()) -
                           metrics.horizontalAdvance(name);
        return metrics.horizontalAdvance(name) + std::clamp(wiring, 0, kWiringRoom) + 2 * button +
               4 * margin + 8;
    }
    // The dock keeps the component's own width: the component draws a
    // fixed picture, and stretching the dock would only add white space.
    void refit() {
        const QSize size = contentSize();
        setMinimumSize(size);
        setMaximumWidth(size.width());
        updateGeometry();
    }

    QDockWidget* dock_;
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

// The planner's name for a dock.
int idOf(const QDockWidget* dock) {
    return static_cast<int>(reinterpret_cast<quintptr>(dock) & 0x7fffffff);
}

}  // namespace

DockClient::DockClient(QMainWindow& window) : QObject(&window), window_(window) {
    window_.setDockNestingEnabled(true);
}

QString DockClient::nameOf(const QDockWidget* dock) {
    const QVariant name = dock->property(kNameProperty);
    return name.isValid() ? name.toString() : dock->windowTitle();
}

QWidget* DockClient::open(const QString& title) {
    auto* dock = new QDockWidget(title, &window_);
    dock->setProperty(kNameProperty, title);
    dock->setObjectName(QString("componentDock%1").arg(docks_.size() + 1));
    dock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                      QDockWidget::DockWidgetFloatable);
    dock->setStyle(stillStyle());
    auto* area = new ClientArea(dock);
    dock->setWidget(area);
    // In the top area for now, the layout held: the arrangement pass moves
    // it to its place once its component is in it and has its size.
    QLayout* layout = window_.layout();
    const bool wasEnabled = layout->isEnabled();
    layout->setEnabled(false);
    placing_ = true;
    window_.addDockWidget(Qt::TopDockWidgetArea, dock, Qt::Horizontal);
    dock->show();
    placing_ = false;
    layout->setEnabled(wasEnabled);

    if (pending_.empty()) {
        QMetaObject::invokeMethod(this, &DockClient::arrangePending, Qt::QueuedConnection);
    }
    pending_.push_back(dock);
    docks_.push_back(dock);
    connect(dock, &QObject::destroyed, this, [this, dock] {
        std::erase(docks_, dock);
        planner_.remove(idOf(dock));
    });
    // A dock the user floats, closes or moves leaves the planned
    // arrangement: later docks do not plan around it.
    connect(dock, &QDockWidget::topLevelChanged, this, [this, dock](bool floating) {
        if (floating) forget(dock);
    });
    connect(dock, &QDockWidget::dockLocationChanged, this, [this, dock] {
        if (!placing_) forget(dock);
    });
    connect(dock, &QDockWidget::visibilityChanged, this, [this, dock](bool visible) {
        if (!visible && !placing_ && dock->isHidden()) forget(dock);
    });
    return area;
}

void DockClient::addToolDock(QDockWidget* dock) {
    std::erase_if(toolDocks_, [this](const QPointer<QDockWidget>& d) {
        return !d || d->isFloating() || window_.dockWidgetArea(d) != Qt::BottomDockWidgetArea;
    });
    if (toolDocks_.empty()) {
        window_.addDockWidget(Qt::BottomDockWidgetArea, dock);
    } else {
        window_.tabifyDockWidget(toolDocks_.front(), dock);
    }
    toolDocks_.push_back(dock);
}

// While held, the window neither lays out nor paints its docks: every
// event loop run on the way (a settings dialog per window) would otherwise
// lay out and paint all the docks opened so far, which made opening N
// windows cost the square of N.
void DockClient::hold() {
    if (holds_++ > 0) return;
    layoutWasEnabled_ = window_.layout()->isEnabled();
    window_.layout()->setEnabled(false);
    window_.setUpdatesEnabled(false);
}

void DockClient::release() {
    if (--holds_ > 0) return;
    window_.setUpdatesEnabled(true);
    window_.layout()->setEnabled(layoutWasEnabled_);
    arrangePending();
}

void DockClient::forget(QDockWidget* dock) { planner_.remove(idOf(dock)); }

quill::layout::Extent DockClient::dockRoom() const {
    const QScreen* screen = window_.screen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1366, 768);
    const QSize frame = window_.frameGeometry().size() - window_.geometry().size();
    const int separator = window_.style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent);
    // Everything but the component docks, at its least.
    int others = separator;
    int besides = 0;  // docks left and right of the components
    if (QWidget* menu = window_.menuWidget()) others += menu->sizeHint().height();
    int toolbars = 0;
    for (QToolBar* bar : window_.findChildren<QToolBar*>(Qt::FindDirectChildrenOnly)) {
        if (bar->isVisible() && !bar->isFloating()) toolbars = std::max(toolbars, bar->sizeHint().height());
    }
    others += toolbars;
    if (QStatusBar* status = window_.findChild<QStatusBar*>(QString(), Qt::FindDirectChildrenOnly))
        others += status->sizeHint().height();
    if (QWidget* central = window_.centralWidget())
        others += central->minimumSizeHint().height();
    for (QDockWidget* dock : window_.findChildren<QDockWidget*>(Qt::FindDirectChildrenOnly)) {
        if (std::find(docks_.begin(), docks_.end(), dock) != docks_.end()) continue;
        if (!dock->isVisible() || dock->isFloating()) continue;
        const Qt::DockWidgetArea area = window_.dockWidgetArea(dock);
        if (area == Qt::TopDockWidgetArea || area == Qt::BottomDockWidgetArea)
            others += dock->minimumSizeHint().height() + separator;
        else
            besides += dock->minimumSizeHint().width() + separator;
    }
    // The host's tool docks share one group of tabs below the components:
    // once there are two of them, its tab bar is kept room for, so that
    // showing a terminal or the analyser there never makes the window
    // outgrow the screen.
    int toolDocks = 0;
    for (const QPointer<QDockWidget>& dock : toolDocks_)
        if (dock && !dock->isFloating()) ++toolDocks;
    if (toolDocks >= 2) {
        QTabBar bar;
        bar.addTab(QStringLiteral("Tab"));
        others += bar.minimumSizeHint().height();
    }
    return {available.width() - frame.width() - besides,
            available.height() - frame.height() - others};
}

void DockClient::arrangePending() {
    using quill::layout::DockPlanner;
    using quill::layout::Placement;
    if (holds_ > 0) return;
    std::vector<QDockWidget*> batch;
    for (const QPointer<QDockWidget>& dock : pending_)
        if (dock && !dock->isFloating()) batch.push_back(dock);
    pending_.clear();
    if (batch.empty()) return;

    const quill::layout::Extent room = dockRoom();
    const int separator = window_.style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent);
    auto extentOf = [separator](const QDockWidget* dock) {
        const QSize need = dock->minimumSizeHint();
        return quill::layout::Extent{need.width() + separator, need.height() + separator};
    };
    // The docks by the planner's name, and their order of opening: looked
    // up once per dock and tab group, which must not cost a search each.
    std::unordered_map<int, std::size_t> order;
    order.reserve(docks_.size());
    for (std::size_t i = 0; i < docks_.size(); ++i) order.emplace(idOf(docks_[i]), i);
    auto dockOf = [this, &order](int id) -> QDockWidget* {
        const auto it = order.find(id);
        return it == order.end() ? nullptr : docks_[it->second];
    };
    // The new docks where the present arrangement has room for them...
    QTabBar bar;
    bar.addTab(QStringLiteral("Tab"));
    const quill::layout::Extent tabBar{bar.minimumSizeHint().width() + separator,
                                       bar.minimumSizeHint().height()};
    DockPlanner plan = planner_;
    plan.setArea(room);
    plan.setTabBar(tabBar);
    std::vector<std::pair<QDockWidget*, Placement>> moves;
    for (QDockWidget* dock : batch) moves.emplace_back(dock, plan.add(idOf(dock), extentOf(dock)));
    // ...unless that hides one behind another or overflows the room: then
    // every planned dock is arranged anew, when that overflows less or
    // needs fewer tabs.
    if (plan.tabs() > planner_.tabs() || plan.overflow() > 0) {
        std::vector<DockPlanner::Item> items = planner_.items();
        for (DockPlanner::Item& item : items)
            if (QDockWidget* dock = dockOf(item.id)) item.size = extentOf(dock);
        for (QDockWidget* dock : batch) items.push_back({idOf(dock), extentOf(dock)});
        DockPlanner fresh;
        fresh.setArea(room);
        fresh.setTabBar(tabBar);
        fresh.replanBest(items);
        if (std::make_pair(fresh.overflow(), fresh.tabs()) <
            std::make_pair(plan.overflow(), plan.tabs())) {
            plan = fresh;
            moves.clear();
        }
    }
    // Qt tabs a dock split off a tabbed one instead of placing it below:
    // when the new docks go under a group of tabs, the whole arrangement
    // is laid anew, every column before any tab.
    for (const auto& [dock, at] : moves) {
        QDockWidget* anchor = dockOf(at.anchor);
        if (at.kind == Placement::Kind::Below && anchor &&
            !window_.tabifiedDockWidgets(anchor).isEmpty()) {
            moves.clear();
            break;
        }
    }
    if (moves.empty()) {
        for (const auto& [id, at] : plan.placements())
            if (QDockWidget* dock = dockOf(id)) moves.emplace_back(dock, at);
    }
    planner_ = plan;
    place(moves, order);
}

void DockClient::place(const std::vector<std::pair<QDockWidget*, quill::layout::Placement>>& moves,
                       const std::unordered_map<int, std::size_t>& order) {
    using quill::layout::DockPlanner;
    using quill::layout::Placement;
    auto dockOf = [this, &order](int id) -> QDockWidget* {
        const auto it = order.find(id);
        return it == order.end() ? nullptr : docks_[it->second];
    };
    placing_ = true;
    // Held while the docks go in: each placement would otherwise lay out
    // every dock of the window at once.
    QLayout* layout = window_.layout();
    const bool wasEnabled = layout->isEnabled();
    layout->setEnabled(false);
    for (const auto& [dock, at] : moves) {
        QDockWidget* anchor = dockOf(at.anchor);
        window_.removeDockWidget(dock);
        using Kind = Placement::Kind;
        if (at.kind == Kind::NewColumn || !anchor) {
            window_.addDockWidget(Qt::TopDockWidgetArea, dock, Qt::Horizontal);
        } else if (at.kind == Kind::Below) {
            window_.splitDockWidget(anchor, dock, Qt::Vertical);
        } else {
            window_.tabifyDockWidget(anchor, dock);
        }
        dock->show();
    }
    layout->setEnabled(wasEnabled);
    layout->activate();
    // In each group of tabs the window opened first stays in front: a
    // display is never hidden by a window opened after it.
    for (const DockPlanner::Column& column : planner_.columns()) {
        for (const DockPlanner::Slot& slot : column.stack) {
            if (slot.ids.size() < 2) continue;
            std::size_t first = docks_.size();
            for (int id : slot.ids)
                if (const auto it = order.find(id); it != order.end()) first = std::min(first, it->second);
            if (first < docks_.size()) docks_[first]->raise();
        }
    }
    placing_ = false;
    keepOnScreen();
}

bool DockClient::fitRestoredLayout() {
    keepOnScreen();
    const QScreen* screen = window_.screen();
    if (!screen || !window_.isWindow() || screen->availableGeometry().contains(window_.frameGeometry()))
        return true;
    // The saved arrangement needs more room than this screen has (a lab
    // saved on a larger one): the docks are planned anew for this screen,
    // as if just opened (restoring took them out of the plan).
    planner_ = quill::layout::DockPlanner{};
    pending_.clear();
    for (QDockWidget* dock : docks_)
        if (!dock->isHidden() && !dock->isFloating()) pending_.push_back(dock);
    arrangePending();
    return false;
}

// The window never reaches past the screen's available area: the docks
// were planned for that room, and a window that grew beyond it (or was
// placed partly off the screen) is brought back.
void DockClient::keepOnScreen() {
    const QScreen* screen = window_.screen();
    if (!screen || !window_.isWindow()) return;
    const QRect available = screen->availableGeometry();
    const QSize frame = window_.frameGeometry().size() - window_.geometry().size();
    const QSize room = available.size() - frame;
    const QSize size = window_.size().boundedTo(room);
    if (size != window_.size()) window_.resize(size);
    QRect outer = window_.frameGeometry();
    if (!available.contains(outer)) {
        outer.moveLeft(std::clamp(outer.left(), available.left(), available.right() - outer.width() + 1));
        outer.moveTop(std::clamp(outer.top(), available.top(), available.bottom() - outer.height() + 1));
        window_.move(outer.topLeft());
    }
}
