// Stack view on the in-memory host: the rows in both orders, the columns
// and their menu, red changed rows as painted, pointer arrows, following
// the stack pointer (also in a window too small for one row) and clicks
// that select nothing.
#include <QAction>
#include <QHeaderView>
#include <QImage>
#include <QMenu>
#include <QScrollBar>

#include "components/digital/MemoryListCtrl.h"
#include "components/digital/frm_Stackview.h"
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

    // One simulator step: the cycle count moves and the core refreshes.
    void step() {
        host().target().cycleCounter += 2;
        refresh();
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

TEST_F(StackviewTest, OneWindowWithListAndStartingColumns) {
    EXPECT_EQ(view->name(), "Stackview++");
    EXPECT_EQ(view->size(), QSize(300, 337));
    EXPECT_EQ(findControl(view, frm_Stackview::kList), list);
    EXPECT_EQ(list->geometry(), view->rect());
    EXPECT_EQ(open<frm_Stackview>(kCmdStackView), view);

    const int widths[] = {20, 0, 0, 0, 50, 39, 0, 0, 0};
    for (int c = 0; c < kColumnCount; ++c) {
        EXPECT_EQ(list->columnWidth(c), widths[c]) << c;
        EXPECT_EQ(list->header()->model()->headerData(c, Qt::Horizontal).toString(),
                  QString::fromUtf8(kColumns[c].heading));
    }
    EXPECT_TRUE(checked(32781));
    EXPECT_TRUE(checked(32785));
    EXPECT_TRUE(checked(32787));
    EXPECT_TRUE(checked(32794));
    EXPECT_FALSE(checked(32788));
}

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

TEST_F(StackviewTest, ColumnTogglesFromTheMenu) {
    setSram(0x45F, 5);
    step();
    triggerMenu(view, 32788);  // Value (binary)
    EXPECT_EQ(list->columnWidth(kColBinary), 60);
    EXPECT_TRUE(checked(32788));
    EXPECT_EQ(list->cellText(0, kColBinary), "00000101");
    triggerMenu(view, 32789);  // Value (ASCII) comes in narrower than at creation
    EXPECT_EQ(list->columnWidth(kColAscii), 20);
    triggerMenu(view, 32787);  // hexadecimal off
    EXPECT_EQ(list->columnWidth(kColHex), 0);
    EXPECT_FALSE(checked(32787));
    triggerMenu(view, 32787);
    EXPECT_EQ(list->columnWidth(kColHex), 39);
    EXPECT_TRUE(checked(32787));
}

TEST_F(StackviewTest, PointerArrowsArePainted) {
    setStackPointer(0x45D);
    host().target().Registers()[26] = 0x5E;  // X = 0x045E
    host().target().Registers()[27] = 0x04;
    step();
    triggerMenu(view, 32782);  // X pointer column on
    EXPECT_EQ(list->cellImage(2, kColStackPointer), kImageSP);
    EXPECT_EQ(list->cellImage(1, kColX), kImageX);
    EXPECT_EQ(list->cellImage(1, kColStackPointer), kImageBlank);

    // The arrow makes the SP cell of row 2 colourful; row 1's SP cell stays
    // plain.
    const QImage image = picture();
    auto colourful = [&](int row, int column) {
        const int x0 = list->header()->sectionViewportPosition(column);
        const QRect cell(x0, list->rowRect(row).top(), list->columnWidth(column),
                         list->rowHeight());
        for (int y = cell.top() + 1; y < cell.bottom(); ++y)
            for (int x = cell.left() + 1; x < cell.right() - 1; ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.saturation() > 80) return true;
            }
        return false;
    };
    EXPECT_TRUE(colourful(2, kColStackPointer));
    EXPECT_FALSE(colourful(1, kColStackPointer));
    EXPECT_TRUE(colourful(1, kColX));
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

TEST_F(StackviewTest, ClickingARowSelectsNothing) {
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window()));
    const QImage before = picture();
    const QPoint onRow3 = list->rowRect(3).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, onRow3);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, onRow3);
    QTest::keyClick(list, Qt::Key_Down);
    const QImage after = picture();
    // Down scrolls by one row; the clicked row shows no highlight.
    EXPECT_EQ(list->topIndex(), 1);
    list->verticalScrollBar()->setValue(0);
    EXPECT_EQ(picture(), before);
    EXPECT_NE(after, before);
}

TEST_F(StackviewTest, RightClickOnTheListOffersItsMenu) {
    rightClick(list->viewport(), list->rowRect(4).center());
    QMenu* menu = view->contextMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->objectName(), "menu_262");
    EXPECT_TRUE(menu->isVisible());
    menu->hide();
    EXPECT_EQ(FindMenuAction(menu, PluginForm::kSettingsCommand), nullptr);
    EXPECT_FALSE(FindMenuAction(menu, frm_Stackview::kReverseList)->isCheckable());
}

}  // namespace
