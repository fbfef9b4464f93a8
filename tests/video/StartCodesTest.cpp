// Start codes at a buffer's edges: a prefix needs its code byte within the bytes in hand.

#include "video/StartCodes.h"

#include <gtest/gtest.h>

#include <vector>

using namespace vidtag::video;

namespace {

TEST(StartCodes, FindsWholeStartCodesOnly) {
    const struct {
        std::vector<std::uint8_t> Bytes;
        std::size_t From;
        std::size_t Found;
    } cases[] = {
        {{0, 0, 1, 0xB6}, 0, 0},
        {{0, 0, 0, 1, 0xB6}, 0, 1},
        {{0, 0, 1}, 0, 3},    // no code byte
        {{7, 0, 0, 1}, 0, 4}, // no code byte at the end either
        {{0, 0, 1, 0xB6, 0, 0, 1, 0x20}, 1, 4},
        {{0, 0, 1, 0xB6}, 1, 4},             // from inside the only one
        {{0, 0, 1, 0xB6}, 9, 4},             // from beyond the end
        {{1, 0, 1, 0, 0, 2, 0, 1, 1}, 0, 9}, // ones without two zeros in front
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FindStartCode(c.Bytes.data(), c.Bytes.size(), c.From), c.Found);
    }
}

TEST(StartCodes, WalksUnitsUpToTheNextStartCode) {
    const std::vector<std::uint8_t> bytes{9, 0, 0, 1, 0xB2, 'X', 0, 0, 1, 0xB6, 0x40, 0, 0, 1};
    UnitWalker walker(bytes.data(), bytes.size());
    Unit unit{};
    ASSERT_TRUE(walker.Next(unit));
    EXPECT_EQ(unit.Code, 0xB2);
    EXPECT_EQ(unit.PayloadSize, 1u);
    ASSERT_TRUE(walker.Next(unit));
    EXPECT_EQ(unit.Code, 0xB6);
    EXPECT_EQ(unit.PayloadSize, 1u); // the cut-off prefix at the end is not payload
    EXPECT_FALSE(walker.Next(unit));
}

} // namespace
