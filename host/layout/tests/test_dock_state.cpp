// The saved dock layout check: states built field by field as the window
// writes them are accepted; each field a damaged state can get wrong is
// refused with where it went wrong (the window tests check real saved
// states and restore changed ones). Base64 and CRC-32 against known values.
#include <gtest/gtest.h>

#include <string>

#include "host/layout/DockState.h"

using namespace quill::layout;

namespace {

// A state written field by field, big-endian as Qt's data stream is.
struct State {
    std::string bytes;
    State& u8(int v) {
        bytes += static_cast<char>(v);
        return *this;
    }
    State& i32(int64_t v) {
        const auto u = static_cast<uint32_t>(v);
        for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>(u >> shift & 0xff);
        return *this;
    }
    State& name(const std::string& ascii) {
        i32(static_cast<int64_t>(ascii.size() * 2));
        for (char c : ascii) u8(0).u8(c);
        return *this;
    }
    State& dock(const std::string& n, int flags = 1) {
        return u8(0xfb).name(n).u8(flags).i32(0).i32(120).i32(0).i32(0);
    }
};

// Version header; the top area holds "a", then a group of "b" and a
// tabbed pair; the bottom area a tab group; one tool bar line.
State sound() {
    State s;
    s.i32(0xff).i32(0);
    s.u8(0xfd).i32(2);
    s.i32(2).i32(800).i32(300);                // top area, its size
    s.u8(0xfc).u8(1).i32(2).dock("a");         // side by side: a, then a group
    s.u8(0xfc).i32(0).i32(200).i32(0).i32(0);  // the group's place
    s.u8(0xfc).u8(2).i32(2).dock("b");         // b above a tab group
    s.u8(0xfc).i32(0).i32(90).i32(0).i32(0);
    s.u8(0xfa).i32(1).u8(1).i32(2).dock("c").dock("d", 0);
    s.i32(3).i32(800).i32(200);  // bottom area
    s.u8(0xfa).i32(0).u8(1).i32(1).u8(0xfb).i32(0xffffffff).u8(1).i32(0).i32(0).i32(0).i32(0);
    s.i32(640).i32(10);                            // central widget
    s.i32(4).i32(4).i32(8).i32(8);                 // corners
    s.u8(0xf9).i32(10).i32(10).i32(300).i32(200);  // a floating tab group
    s.u8(0xfa).i32(0).u8(1).i32(1).dock("e", 3);
    s.u8(0xfc).i32(1).i32(2).i32(1).name("toolbar").u8(1).i32(0).i32(-1).i32(0).i32(0);
    return s;
}

// The state with the bytes at `at` replaced by `with`.
std::string changed(std::string bytes, std::size_t at, const std::string& with) {
    return bytes.replace(at, with.size(), with);
}

TEST(DockState, SoundStatesPassAndEachDamagedFieldIsNamed) {
    const std::string good = sound().bytes;
    EXPECT_EQ(dockStateFault(good), "");
    EXPECT_EQ(dockStateFault(State().i32(0xff).i32(0).bytes), "");  // nothing in it

    auto fault = [](const std::string& bytes) { return dockStateFault(bytes); };
    EXPECT_EQ(fault(""), "it ends within the version marker at byte 0");
    EXPECT_EQ(fault(changed(good, 3, "\xfe")), "it does not start as a saved window layout does");
    EXPECT_EQ(fault(changed(good, 7, "\x01")), "it is of layout version 1, not 0");
    // The dock area index Qt used unchecked: 4 and -1 are no area.
    EXPECT_EQ(fault(changed(good, 16, "\x04")), "a dock area 4 outside 0 to 3 at byte 13");
    EXPECT_EQ(fault(changed(good, 13, "\xff\xff\xff\xff")),
              "a dock area -1 outside 0 to 3 at byte 13");
    EXPECT_EQ(fault(changed(good, 12, "\x05")),
              "the number of dock areas 5 outside 0 to 4 at byte 9");
    EXPECT_EQ(fault(changed(good, 9, "\x7f")),
              "the number of dock areas 2130706434 outside 0 to 4 at byte 9");
    // A size far beyond any screen.
    EXPECT_EQ(fault(changed(good, 17, "\x10")),
              "a dock area's size 268436256 outside -134217728 to 134217728 at byte 17");
    EXPECT_EQ(fault(changed(good, 25, "\xfe")), "a dock group of unknown kind 254 at byte 25");
    EXPECT_EQ(fault(changed(good, 26, "\x03")), "a group's orientation 3 at byte 26");
    // More items than any window has, or than the bytes left could hold.
    EXPECT_EQ(fault(changed(good, 27, "\x01")),
              "the number of a group's items 16777218 outside 0 to 1048576 at byte 27");
    EXPECT_EQ(fault(changed(good, 30, "\x7f")),
              "the number of a group's items 127, more than the " + std::to_string(good.size() - 31) +
                  " bytes left hold at byte 27");
    EXPECT_EQ(fault(changed(good, 31, "\xfd")), "an item of unknown kind 253 at byte 31");
    EXPECT_EQ(fault(changed(good, 35, "\x03")), "a dock's name of 3 bytes at byte 32");
    EXPECT_EQ(fault(changed(good, 38, "\x04")), "a dock's flags 4 at byte 38");

    // The second dock area names the first again.
    std::string twice = good;
    const std::size_t bottom = twice.find(std::string("\x00\x00\x00\x03\x00\x00\x03\x20", 8));
    ASSERT_NE(bottom, std::string::npos);
    EXPECT_EQ(fault(changed(twice, bottom + 3, "\x02")),
              "dock area 2 twice at byte " + std::to_string(bottom + 4));
    // A front tab past the group's tabs, a corner no area owns.
    std::string tabs = good;
    const std::size_t tabbed = tabs.find('\xfa');
    EXPECT_EQ(fault(changed(tabs, tabbed + 4, "\x02")),
              "the front tab 2 of 2 at byte " + std::to_string(tabbed + 10));
    const std::size_t corners = good.find(std::string("\x00\x00\x00\x04\x00\x00\x00\x04", 8));
    EXPECT_EQ(fault(changed(good, corners + 3, "\x03")),
              "a corner's dock area 3 at byte " + std::to_string(corners + 4));

    // Cut anywhere within a part, or with a byte more: never accepted.
    const std::size_t floating = good.find('\xf9'), toolBars = good.size() - 48;
    ASSERT_EQ(good[toolBars], '\xfc');
    for (std::size_t n = 0; n < good.size(); ++n) {
        if (n == 8 || n == floating || n == toolBars)
            EXPECT_EQ(fault(good.substr(0, n)), "");
        else
            EXPECT_NE(fault(good.substr(0, n)), "") << "cut at " << n;
    }
    EXPECT_EQ(fault(good + '\x01'),
              "an unknown part (marker 1) at byte " + std::to_string(good.size()));

    // Groups within groups, deeper than any window nests them.
    State deep;
    deep.i32(0xff).i32(0).u8(0xfd).i32(1).i32(0).i32(10).i32(10);
    for (int i = 0; i < 40; ++i) deep.u8(0xfc).u8(1).i32(1).u8(0xfc).i32(0).i32(0).i32(0).i32(0);
    EXPECT_NE(fault(deep.bytes).find("dock groups nested deeper than 32"), std::string::npos);
}

TEST(DockState, Base64AndCrc) {
    EXPECT_EQ(decodeBase64("TWFu"), "Man");
    EXPECT_EQ(decodeBase64("TWE="), "Ma");
    EXPECT_EQ(decodeBase64("TQ=="), "M");
    EXPECT_EQ(decodeBase64(" TW\nFu\r\n"), "Man");
    EXPECT_EQ(decodeBase64(""), "");
    for (const char* bad : {"TWF", "TQ", "T===", "TW=u", "TWFu=", "TW!u", "===="})
        EXPECT_FALSE(decodeBase64(bad)) << bad;
    EXPECT_EQ(crc32("123456789"), 0xCBF43926u);
    EXPECT_EQ(crc32(""), 0u);
}

}  // namespace
