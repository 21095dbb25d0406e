// LCD memories: address stepping in every layout, the gap between two
// lines, CGRAM wrap, clear, and the visible lines with display shift.
#include <gtest/gtest.h>

#include "components/lcd/DisplayRam.h"

namespace {

// The AC after writing one byte at `ac`.
int StepAfterWrite(DisplayRam& ram, int ac) {
    ram.addressCounter = ac;
    ram.writeData('x');
    return ram.addressCounter;
}

std::vector<int> RowAddresses(const DisplayRam& ram, int line, int shift) {
    std::vector<int> row;
    for (int c = 0; c < ram.columns(); ++c) row.push_back(ram.addressAt(line, c, shift));
    return row;
}

std::vector<int> Range(int first, int last) {
    std::vector<int> v;
    for (int a = first; a <= last; ++a) v.push_back(a);
    return v;
}

std::vector<int> Concat(std::vector<int> a, const std::vector<int>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

TEST(LcdDisplayRam, FreshMemoryAndTwoLineStepping) {
    DisplayRam ram;
    for (uint8_t b : ram.ddram) EXPECT_EQ(b, 0x20);
    for (uint8_t b : ram.cgram) EXPECT_EQ(b, 0x20);
    EXPECT_EQ(ram.addressCounter, 0);
    EXPECT_EQ(ram.memorySelect, Memory::DDRAM);
    EXPECT_TRUE(ram.increment);

    EXPECT_EQ(StepAfterWrite(ram, 0x27), 0x40);
    EXPECT_EQ(StepAfterWrite(ram, 0x67), 0x00);
    ram.increment = false;
    EXPECT_EQ(StepAfterWrite(ram, 0x40), 0x27);
    EXPECT_EQ(StepAfterWrite(ram, 0x00), 0x67);

    // An address in the gap is stored as set and steps onto line 2.
    ram.increment = true;
    ram.setDdramAddress(0x28);
    EXPECT_EQ(ram.addressCounter, 0x28);
    ram.writeData('g');
    EXPECT_EQ(ram.ddram[0x28], 'g');
    EXPECT_EQ(ram.addressCounter, 0x40);
    ram.setDdramAddress(0xFF);  // 7 bits only: never outside the array
    EXPECT_EQ(ram.addressCounter, 0x7F);
    ram.writeData('z');
    EXPECT_EQ(ram.ddram[0x7F], 'z');
    EXPECT_EQ(ram.addressCounter, 0x00);
}

TEST(LcdDisplayRam, OneAndFourLineLayouts) {
    DisplayRam one(1, 40);
    EXPECT_EQ(StepAfterWrite(one, 0x4F), 0x00);
    EXPECT_EQ(StepAfterWrite(one, 0x27), 0x28);  // one long line: no gap
    one.increment = false;
    EXPECT_EQ(StepAfterWrite(one, 0x00), 0x4F);
    EXPECT_EQ(RowAddresses(one, 0, 0), Range(0x00, 0x27));

    // 20x4: the data sheet's lines 0x00, 0x40, 0x14, 0x54; line 1 runs on
    // into line 3 and line 3 into line 2, as the controller steps.
    DisplayRam four(4, 20);
    EXPECT_EQ((std::vector<int>{four.lineStart(0), four.lineStart(1), four.lineStart(2),
                                four.lineStart(3)}),
              (std::vector<int>{0x00, 0x40, 0x14, 0x54}));
    EXPECT_EQ(StepAfterWrite(four, 0x13), 0x14);
    EXPECT_EQ(StepAfterWrite(four, 0x27), 0x40);
    EXPECT_EQ(RowAddresses(four, 3, 0), Range(0x54, 0x67));
    // Lines 1 and 3 scroll together within their 40-cell line.
    EXPECT_EQ(RowAddresses(four, 2, 1), Concat(Range(0x15, 0x27), {0x00}));

    DisplayRam sixteenByFour(4, 16);
    EXPECT_EQ(sixteenByFour.lineStart(2), 0x10);
    EXPECT_EQ(sixteenByFour.lineStart(3), 0x50);

    // Column counts beyond what a line holds are cut to it.
    four.setLayout(4, 40);
    EXPECT_EQ(four.columns(), 20);
    four.setLayout(3, 16);  // not a layout: two lines
    EXPECT_EQ(four.lineCount(), 2);
}

TEST(LcdDisplayRam, CgramWrapsAndClearKeepsIt) {
    DisplayRam ram;
    ram.setCgramAddress(0x3F);
    ram.writeData(0x1F);
    EXPECT_EQ(ram.cgram[63], 0x1F);
    EXPECT_EQ(ram.addressCounter, 0);
    ram.increment = false;
    ram.writeData(0x0E);
    EXPECT_EQ(ram.cgram[0], 0x0E);
    EXPECT_EQ(ram.addressCounter, 63);
    EXPECT_EQ(ram.readData(true), 0x1F);
    EXPECT_EQ(ram.addressCounter, 62);

    ram.setDdramAddress(0x05);
    ram.writeData('A');
    ram.clear();
    EXPECT_EQ(ram.ddram[0x05], 0x20);
    EXPECT_EQ(ram.addressCounter, 0);
    EXPECT_EQ(ram.memorySelect, Memory::DDRAM);
    EXPECT_EQ(ram.cgram[0], 0x0E);
    EXPECT_FALSE(ram.increment);
}

TEST(LcdDisplayRam, VisibleRowsFollowTheShift) {
    DisplayRam ram;
    EXPECT_EQ(RowAddresses(ram, 0, 0), Range(0x00, 0x0F));
    EXPECT_EQ(RowAddresses(ram, 1, 0), Range(0x40, 0x4F));
    EXPECT_EQ(RowAddresses(ram, 0, 1), Range(0x01, 0x10));
    EXPECT_EQ(RowAddresses(ram, 0, -1), Concat({0x27}, Range(0x00, 0x0E)));
    EXPECT_EQ(RowAddresses(ram, 0, 30), Concat(Range(0x1E, 0x27), Range(0x00, 0x05)));
    EXPECT_EQ(RowAddresses(ram, 1, -1)[2], 0x41);
}
