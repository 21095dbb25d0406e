#include "host/debugger/ui/SourceArrangement.h"

#include <QAction>
#include <QDockWidget>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QSplitter>
#include <QVBoxLayout>

namespace {

// The window's central area. It asks for no room: the component docks are
// planned in the room the window leaves them, which counts the central
// area's least size, so every component still fits on a 1366x768 screen
// (five lines of source more made the tallest ones tabs there), and a lab's
// saved dock places stay where they were. The source and the watch get
// what the components leave.
class CentreArea : public QWidget {
public:
    explicit CentreArea(QSplitter*& splitter) {
        setObjectName("debugCentre");
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        // The layout must not raise the area's least size to its own.
        layout->setSizeConstraint(QLayout::SetNoConstraint);
        splitter_ = splitter = new QSplitter(Qt::Horizontal);
        splitter_->setObjectName("debugSplitter");
        splitter_->setChildrenCollapsible(false);
        layout->addWidget(splitter_);
    }
    // Nothing asked of the window, as the empty area before: the window's
    // layout and a lab's saved places stay as they were.
    QSize minimumSizeHint() const override { return {0, 0}; }
    QSize sizeHint() const override { return {0, 0}; }

private:
    QSplitter* splitter_;
};

}  // namespace

SourceArrangement::SourceArrangement(QMainWindow& window, QDockWidget* source, QDockWidget* watch)
    : QObject(&window),
      window_(window),
      source_(source),
      watch_(watch),
      sourcePanel_(source->widget()),
      watchPanel_(watch->widget()) {
    setObjectName("sourceArrangement");
    centre_ = new CentreArea(splitter_);
    sourcePane_ = new QWidget;
    auto* paneLayout = new QVBoxLayout(sourcePane_);
    paneLayout->setContentsMargins(0, 0, 0, 0);
    paneLayout->setSpacing(1);
    title_ = new QLabel(source->windowTitle());
    title_->setObjectName("centreTitle");
    QFont bold = title_->font();
    bold.setBold(true);
    title_->setFont(bold);
    title_->setContentsMargins(4, 1, 4, 1);
    paneLayout->addWidget(title_);
    connect(source, &QWidget::windowTitleChanged, title_, &QLabel::setText);
    splitter_->addWidget(sourcePane_);
    sourcePane_->hide();
    window.setCentralWidget(centre_);

    sourceAction_ = new QAction("Source &view", this);
    watchAction_ = new QAction("&Watch", this);
    for (auto [action, dock] : {std::pair{sourceAction_, source_}, std::pair{watchAction_, watch_}}) {
        action->setCheckable(true);
        QDockWidget* d = dock;
        connect(action, &QAction::triggered, this, [this, d](bool on) { setShown(d, on); });
        connect(dock, &QDockWidget::visibilityChanged, this, &SourceArrangement::sync);
    }
    sync();
}

QWidget* SourceArrangement::pane(QDockWidget* dock) const {
    return dock == source_ ? sourcePane_ : watchPanel_;
}

void SourceArrangement::setCentral(bool central) {
    if (central == central_) return;
    central_ = central;
    if (central) {
        source_->hide();
        watch_->hide();
        // Out of the docks (a layout lets go of a child taken from it).
        sourcePane_->layout()->addWidget(sourcePanel_);
        splitter_->addWidget(watchPanel_);
        splitter_->setStretchFactor(0, 3);
        splitter_->setStretchFactor(1, 2);
        sourcePanel_->show();
        watchPanel_->show();
        sourcePane_->show();
    } else {
        sourcePane_->hide();
        source_->setWidget(sourcePanel_);
        watch_->setWidget(watchPanel_);
        source_->hide();
        watch_->hide();
    }
    centre_->updateGeometry();
    sync();
}

void SourceArrangement::setShown(QDockWidget* dock, bool shown) {
    if (central_) {
        pane(dock)->setVisible(shown);
        centre_->updateGeometry();
    } else {
        dock->setVisible(shown);
        if (shown) dock->raise();
    }
    sync();
}

bool SourceArrangement::shown(QDockWidget* dock) const {
    return central_ ? !pane(dock)->isHidden() : !dock->isHidden();
}

QAction* SourceArrangement::toggleAction(QDockWidget* dock) const {
    return dock == source_ ? sourceAction_ : watchAction_;
}

void SourceArrangement::sync() {
    sourceAction_->setChecked(shown(source_));
    watchAction_->setChecked(shown(watch_));
}
