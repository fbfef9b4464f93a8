#include "codecs/FourCC.h"

#include <gtest/gtest.h>

using namespace vidtag;

TEST(FourCC, FirstCharacterIsTheLowestByte) {
    EXPECT_EQ(FCC("RIFF"), 0x46464952u);
    EXPECT_EQ(FourCCChar(FCC("divx"), 0), 'd');
    EXPECT_EQ(FourCCChar(FCC("divx"), 3), 'x');
    EXPECT_NE(FCC("divx"), FCC("DIVX"));
}

TEST(FourCC, PrintsNonPrintableBytesEscaped) {
    EXPECT_EQ(FourCCToString(FCC("AVI ")), "AVI ");
    EXPECT_EQ(FourCCToString(0), "\\x00\\x00\\x00\\x00");
    EXPECT_EQ(FourCCToString(MakeFourCC('d', '\x7f', '\\', '\xff')), "d\\x7F\\x5C\\xFF");
}
