// Encoder strings as DivX, Xvid and FFmpeg have written them into user data.

#include "video/UserData.h"

#include <gtest/gtest.h>

using namespace vidtag::video;

namespace {

TEST(UserData, TellsTheEncoderFromItsString) {
    const struct {
        const char* Text;
        Encoder Name;
        std::uint32_t Version;
        std::uint32_t Build;
        bool Packed;
    } cases[] = {
        {"DivX503b1393p", Encoder::DivX, 503, 1393, true},
        {"DivX501b413", Encoder::DivX, 501, 413, false},
        {"DivX5Build1234p", Encoder::DivX, 5, 1234, true},
        {"DivX503b1393x", Encoder::DivX, 503, 1393, false},
        {"DivX503", Encoder::None, 0, 0, false},
        {"DivXb1393p", Encoder::None, 0, 0, false},
        {"XviD0069", Encoder::XviD, 69, 0, false},
        {"Lavc58.134.100", Encoder::Lavc, 58134100, 0, false},
        {"Lavc52.1", Encoder::Lavc, 52001000, 0, false},
        {"Lavc", Encoder::None, 0, 0, false},
        {"FFmpeg v0.4.9 / libavcodec build: 4718", Encoder::FFmpeg, 4009, 4718, false},
        {"FFmpeg0.4.9b4718", Encoder::FFmpeg, 0, 4718, false},
        {"divx503b1393p", Encoder::None, 0, 0, false},
        {"DivX99999999999999b1p", Encoder::DivX, 999999999, 1, true}, // no overflow
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        const EncoderString found = ParseEncoderString(c.Text);
        EXPECT_EQ(found.Name, c.Name);
        EXPECT_EQ(found.Version, c.Version);
        EXPECT_EQ(found.Build, c.Build);
        EXPECT_EQ(found.DivxPacked, c.Packed);
    }
}

} // namespace
