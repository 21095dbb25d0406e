// Stack view: the data memory from 0x60 to 0x45F, one row per byte, with
// arrows at the stack pointer and the X, Y and Z pointers, changed bytes in
// red, and optional following of one pointer. Exists at most once.
#pragma once

#include <memory>

#include "components/digital/MemoryRows.h"
#include "framework/DisplayRate.h"
#include "framework/PluginForm.h"

class MemoryListCtrl;

class frm_Stackview : public PluginForm, public DisplayRate::CatchUp {
    Q_OBJECT
public:
    static constexpr int kTemplate = ids::stackview::kTemplate;
    static constexpr int kList = ids::stackview::kList;
    static constexpr int kMenu = menu::kStackViewMenu;

    // Menu 262.
    static constexpr int kReverseList = menu::kReverseList;
    static constexpr int kFollowSP = menu::kFollowSP;
    static constexpr int kFollowX = menu::kFollowX;
    static constexpr int kFollowY = menu::kFollowY;
    static constexpr int kFollowZ = menu::kFollowZ;
    static constexpr int kFollowNone = menu::kFollowNone;

    frm_Stackview(QWidget* parent, CLEDView* core, int commandIndex, int dialogId);
    ~frm_Stackview() override;

    // Asks for the rows to catch up with the memory at the display's rate:
    // after a quiet frame at once (a single step shows its result at once),
    // during Run at most once a frame. Comparing the whole data memory and
    // telling the view about changed rows after every simulated
    // instruction would cost more than the simulation itself.
    void refresh();
    // Repaints the changed rows and, when following a pointer, brings it
    // into view.
    void catchUp() override;

    MemoryListCtrl* list() const { return list_; }
    bool autoScroll() const { return autoScroll_; }
    memrows::Follow follow() const;
    // Runs a menu command as if chosen from the right-click menu.
    void command(int id) { onCommand(id); }

protected:
    void initDialog() override;
    void onCommand(int id) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void toggleColumn(int column, int menuId);
    void setFollow(int menuId);
    void reverseList();
    void checkItem(int menuId, bool checked);

    MemoryListCtrl* list_;
    bool followY_ = false;
    bool autoScroll_ = false;
    bool followZ_ = false;
    bool followX_ = false;
    bool followSP_ = false;
    bool initialised_ = false;
    std::unique_ptr<CallOnWrite<frm_Stackview>> memoryObserver_;
    DisplayRate::Waiting waiting_;
    std::unique_ptr<CallOnChange<frm_Stackview, uint8_t>> updateObserver_;
};
