#include "components/digital/frm_Stackview.h"

#include <QAction>
#include <QMenu>
#include <QResizeEvent>

#include "components/digital/MemoryListCtrl.h"
#include "components/digital/MemoryListModel.h"
#include "framework/Controls.h"
#include "resources/Bitmaps.h"
#include "resources/Menus.h"

using namespace memrows;

frm_Stackview::frm_Stackview(QWidget* parent, CLEDView* core, int commandIndex, int dialogId)
    : PluginForm(parent, core, 300, 337, commandIndex, kCommands[kCmdStackView].baseName, dialogId),
      list_(new MemoryListCtrl(this)) {
    SetControlId(list_, kList);
    create(dialogId, hostWindow());
}

frm_Stackview::~frm_Stackview() = default;

void frm_Stackview::initDialog() {
    PluginForm::initDialog();
    setContextMenu(kMenu);
    list_->insertColumns();
    list_->setCore(core());
    list_->setShowGrid(true);
    list_->setImageList(LoadBitmap(bitmap::kStackPointers, devicePixelRatioF()));
    list_->setGeometry(rect());
    // A window opened during a session shows the memory at once.
    if (core()) core()->ReadMemoryView();
    list_->refresh();
    if (core()) {
        // The core reads the memory for as long as this observer is on.
        memoryObserver_ = std::make_unique<CallOnWrite<frm_Stackview>>(core()->MemoryRead(), this,
                                                                       &frm_Stackview::refresh);
        // It reads the memory when it paints: told once a frame is enough.
        memoryObserver_->setShowsOnly(true);
        updateObserver_ = std::make_unique<CallOnChange<frm_Stackview, uint8_t>>(
            core()->UpdateRequest(), this, &frm_Stackview::refresh);
    }
    initialised_ = true;
}

Follow frm_Stackview::follow() const {
    if (!autoScroll_) return Follow::None;
    if (followSP_) return Follow::StackPointer;
    if (followX_) return Follow::X;
    if (followY_) return Follow::Y;
    if (followZ_) return Follow::Z;
    return Follow::None;
}

void frm_Stackview::refresh() { DisplayRate::Repaint(this, waiting_); }

void frm_Stackview::catchUp() {
    // The memory is read when it is shown, at most once a frame.
    if (core()) core()->ReadMemoryView();
    list_->refresh();
    if (!autoScroll_ || !core()) return;
    const Window& window = list_->memoryModel()->window();
    const Snapshot pointers{nullptr,           nullptr,           core()->StackPointer(),
                            core()->PointerX(), core()->PointerY(), core()->PointerZ(),
                            window};
    ScrollIntoView(TargetRow(FollowTarget(follow(), pointers), list_->reverse(), window), *list_,
                   window.count);
}

void frm_Stackview::checkItem(int menuId, bool checked) {
    if (QAction* item = FindMenuAction(contextMenu(), menuId)) item->setChecked(checked);
}

void frm_Stackview::onCommand(int id) {
    for (int c = 0; c < kColumnCount; ++c) {
        if (kColumns[c].menuId == id) {
            toggleColumn(c, id);
            return;
        }
    }
    if (id >= kFollowSP && id <= kFollowNone) {
        setFollow(id);
    } else if (id == kReverseList) {
        reverseList();
    }
}

void frm_Stackview::toggleColumn(int column, int menuId) {
    const bool shown = !list_->columnShown(column);
    if (list_->resizeColumn(column, shown ? kColumns[column].width : 0)) {
        list_->setColumnShown(column, shown);
    }
    checkItem(menuId, list_->columnShown(column));
}

void frm_Stackview::setFollow(int menuId) {
    followSP_ = followX_ = followY_ = followZ_ = autoScroll_ = false;
    for (int id = kFollowSP; id <= kFollowNone; ++id) checkItem(id, id == menuId);
    switch (menuId) {
        case kFollowSP:
            followSP_ = true;
            break;
        case kFollowX:
            followX_ = true;
            break;
        case kFollowY:
            followY_ = true;
            break;
        case kFollowZ:
            followZ_ = true;
            break;
        default:
            break;
    }
    autoScroll_ = menuId != kFollowNone;
    refresh();
}

void frm_Stackview::reverseList() {
    list_->setReverse(!list_->reverse());
    // Keeps the top of memory, where the stack lives, in view.
    const int rows = list_->memoryModel()->window().count;
    list_->scrollRows(list_->reverse() ? -rows : rows);
}

void frm_Stackview::resizeEvent(QResizeEvent* event) {
    PluginForm::resizeEvent(event);
    if (initialised_) list_->setGeometry(0, 0, event->size().width(), event->size().height());
}
