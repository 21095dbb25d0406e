// Stack view on the in-memory host: the rows in both orders, red changed
// rows as painted, and following the stack pointer (also in a window too
// small for one row).
#include <QAction>
#include <QImage>
#include <QSignalSpy>

#include "components/digital/MemoryListCtrl.h"
#include "components/digital/MemoryListModel.h"
#include "components/digital/frm_Stackview.h"
#include "framework/DisplayRate.h"
#include "resources/Menus.h"
#include "tests/ui/UiTestSupport.h"

namespace {

using namespace memrows;

class StackviewTest : public QuillUiTest {
protected:
    void SetUp() override {
        QuillUiTest::SetUp();
        view = open<frm_Stackview>(kCmdStackView);
        ASSERT_NE(view, nullptr);
        list = view->list();
    }

    // One simulator step: the cycle count moves and the core refreshes;
    // then the frame ends, as it does on screen before a user looks.
    void step() {
        host().target().cycleCounter += 2;
        refresh();
        DisplayRate::Flush();
    }
    void setSram(int address, uint8_t value) {
        host().target().Sram()[static_cast<size_t>(address - 0x60)] = value;
    }
    void setStackPointer(uint16_t sp) {
        setIo("SPL", static_cast<uint8_t>(sp & 0xFF));
        setIo("SPH", static_cast<uint8_t>(sp >> 8));
    }
    QImage picture() { return list->viewport()->grab().toImage(); }
    // Whether any pixel of the row, as painted, has the colour.
    bool rowHas(const QImage& image, int row, QRgb colour) {
        const QRect r = list->rowRect(row).intersected(image.rect());
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                if (image.pixel(x, y) == colour) return true;
        return false;
    }
    bool rowOnScreen(int row) {
        const QRect r = list->rowRect(row);
        return r.top() >= 0 && r.bottom() < list->viewport()->height();
    }
    bool checked(int id) { return FindMenuAction(view->contextMenu(), id)->isChecked(); }

    frm_Stackview* view = nullptr;
    MemoryListCtrl* list = nullptr;
};

TEST_F(StackviewTest, RowsRunDownFromTheTopOfMemoryUntilReversed) {
    EXPECT_EQ(list->topIndex(), 0);
    EXPECT_EQ(list->cellText(0, kColAddress), "00045F");
    EXPECT_EQ(list->cellText(1, kColAddress), "00045E");
    triggerMenu(view, frm_Stackview::kReverseList);
    EXPECT_FALSE(list->reverse());
    EXPECT_EQ(list->cellText(0, kColAddress), "000060");
    // The view moved to the end, where the top of memory now is.
    EXPECT_TRUE(rowOnScreen(kRowCount - 1));
    triggerMenu(view, frm_Stackview::kReverseList);
    EXPECT_EQ(list->cellText(0, kColAddress), "00045F");
    EXPECT_EQ(list->topIndex(), 0);
}

TEST_F(StackviewTest, ChangedByteIsRedUntilAStepLeavesItAlone) {
    setSram(0x45D, 0x42);
    step();
    EXPECT_TRUE(list->rowChanged(2));
    EXPECT_EQ(list->cellText(2, kColHex), "42");
    QImage image = picture();
    EXPECT_TRUE(rowHas(image, 2, qRgb(255, 0, 0)));
    EXPECT_FALSE(rowHas(image, 1, qRgb(255, 0, 0)));
    EXPECT_FALSE(rowHas(image, 3, qRgb(255, 0, 0)));

    step();  // nothing changed in this step
    EXPECT_FALSE(list->rowChanged(2));
    EXPECT_FALSE(rowHas(picture(), 2, qRgb(255, 0, 0)));
}

// During Run the list catches up with the memory at most once a frame:
// refreshes within a frame are gathered, and the frame's end shows the last.
TEST_F(StackviewTest, RefreshesWithinAFrameCatchUpOnceAtItsEnd) {
    step();
    setSram(0x45D, 0x01);
    host().target().cycleCounter += 2;
    refresh();  // the first change after a quiet frame may show at once
    setSram(0x45D, 0x02);
    host().target().cycleCounter += 2;
    refresh();
    // No event is processed in between, so the frame cannot end here.
    ASSERT_EQ(DisplayRate::Pending(), 1);
    EXPECT_NE(list->cellText(2, kColHex), "02");
    DisplayRate::Flush();
    EXPECT_EQ(list->cellText(2, kColHex), "02");
}

// After each step the list announces only the rows that look different,
// never the whole list.
TEST_F(StackviewTest, StepAnnouncesOnlyTheChangedRows) {
    QSignalSpy changed(list->memoryModel(), &QAbstractItemModel::dataChanged);
    QSignalSpy reset(list->memoryModel(), &QAbstractItemModel::modelReset);
    step();
    EXPECT_EQ(changed.count(), 0);
    setSram(0x45D, 0x42);
    setSram(0x45C, 0x43);
    setSram(0x100, 0x01);
    step();
    ASSERT_EQ(changed.count(), 2);  // rows 2 and 3 in one run, then row 0x35F
    EXPECT_EQ(changed[0][0].toModelIndex().row(), 2);
    EXPECT_EQ(changed[0][1].toModelIndex().row(), 3);
    EXPECT_EQ(changed[1][0].toModelIndex().row(), 0x45F - 0x100);
    EXPECT_EQ(reset.count(), 0);
}

TEST_F(StackviewTest, FollowsTheStackPointerAfterEveryStep) {
    triggerMenu(view, frm_Stackview::kFollowSP);
    EXPECT_TRUE(view->autoScroll());
    EXPECT_TRUE(checked(frm_Stackview::kFollowSP));
    EXPECT_FALSE(checked(frm_Stackview::kFollowNone));

    for (uint16_t sp : {0x100, 0x45D, 0x200, 0x61}) {
        setStackPointer(sp);
        step();
        const int row = TargetRow(sp, true);
        EXPECT_TRUE(rowOnScreen(row)) << std::hex << sp << " top " << list->topIndex();
    }
    // Not reversed the same holds.
    triggerMenu(view, frm_Stackview::kReverseList);
    setStackPointer(0x300);
    step();
    EXPECT_TRUE(rowOnScreen(TargetRow(0x300, false)));

    // "None" stops following.
    triggerMenu(view, frm_Stackview::kFollowNone);
    const int top = list->topIndex();
    setStackPointer(0x70);
    step();
    EXPECT_EQ(list->topIndex(), top);
}

TEST_F(StackviewTest, TinyWindowDoesNotHangWhileFollowing) {
    view->hostSizeChanged(2, 300, 12);  // not the host's size type: ignored
    EXPECT_EQ(list->height(), 337);
    view->hostSizeChanged(PluginForm::kSizeTypeHost, 300, 12);  // no whole row fits
    EXPECT_EQ(list->geometry(), QRect(0, 0, 300, 12));
    EXPECT_EQ(list->countPerPage(), 0);
    triggerMenu(view, frm_Stackview::kFollowSP);
    setStackPointer(0x100);
    step();  // returns: that is the test
    EXPECT_EQ(list->topIndex(), 0);

    view->hostSizeChanged(PluginForm::kSizeTypeHost, 300, 337);
    step();
    setStackPointer(0x101);
    step();
    EXPECT_TRUE(rowOnScreen(TargetRow(0x101, true)));
}

// An ATmega328P's SRAM runs from 0x100 to RAMEND 0x8FF: the list shows
// exactly those bytes, the top of the stack first, and follows the stack
// pointer at RAMEND (beyond the 1 KiB the list held before).
class Stackview328Test : public StackviewTest {
protected:
    Stackview328Test() { partName = "ATmega328P"; }
    void prepareHost(memhost::InMemoryHost& h) override { h.target().SetLayout(0x100, 2048); }
    void setData(int address, uint8_t value) {
        ASSERT_TRUE(host().target().SetDataByte(static_cast<size_t>(address), value));
    }
};

TEST_F(Stackview328Test, ShowsTheSramFromRamstartToRamend) {
    ASSERT_EQ(list->model()->rowCount(), 2048);
    EXPECT_EQ(list->cellText(0, kColAddress), "0008FF");
    EXPECT_EQ(list->cellText(2047, kColAddress), "000100");
    setData(0x8FF, 0xAB);
    setData(0x100, 0xCD);
    triggerMenu(view, frm_Stackview::kFollowSP);
    setStackPointer(0x8FF);
    step();
    EXPECT_EQ(list->cellText(0, kColHex), "AB");
    EXPECT_EQ(list->cellText(2047, kColHex), "CD");
    EXPECT_TRUE(rowOnScreen(0));
    setStackPointer(0x105);
    step();
    EXPECT_TRUE(rowOnScreen(0x8FF - 0x105));
    triggerMenu(view, frm_Stackview::kReverseList);
    EXPECT_EQ(list->cellText(0, kColAddress), "000100");
    EXPECT_TRUE(rowOnScreen(2047));
}

}  // namespace
