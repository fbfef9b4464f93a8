#include "codecs/CodecCatalog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using namespace vidtag;

TEST(CodecCatalog, IrregularRows) {
    // Kinds 6 and 7 share their compression code, 11 and 12 their handler code.
    EXPECT_EQ(CodePairOf(6).Compression, FCC("DIV3"));
    EXPECT_EQ(CodePairOf(7).Compression, FCC("DIV3"));
    EXPECT_EQ(CodePairOf(7).Handler, FCC("div4"));
    EXPECT_EQ(CodePairOf(11).Handler, FCC("divx"));
    EXPECT_EQ(CodePairOf(12).Handler, FCC("divx"));
    EXPECT_EQ(CodePairOf(12).Compression, FCC("DX50"));
    EXPECT_EQ(CodePairOf(13).Handler, FCC("3iv2"));
    EXPECT_EQ(std::string(CodecNames[0]), "");
    EXPECT_EQ(std::string(CodecNames[3]), "Microsoft MPEG4 V3");
    EXPECT_EQ(std::string(CodecNames[13]), "3ivx");
}

TEST(CodecCatalog, ClassificationEdgeCases) {
    EXPECT_EQ(ClassifyCodec(FCC("divx"), FCC("DX50")), 12);
    EXPECT_EQ(ClassifyCodec(FCC("divx"), FCC("DIVX")), 11);
    EXPECT_EQ(ClassifyCodec(FCC("divx"), FCC("divx")), kUnknownKind);
    EXPECT_EQ(ClassifyCodec(FCC("divx"), FCC("XVID")), kUnknownKind);
    EXPECT_EQ(ClassifyCodec(FCC("XVID"), FCC("DX50")), 10);
    EXPECT_EQ(ClassifyCodec(FCC("xvid"), 0), 10);
    EXPECT_EQ(ClassifyCodec(FCC("DX50"), FCC("XVID")), 12);
    EXPECT_EQ(ClassifyCodec(FCC("DIVX"), 0), 11);
    EXPECT_EQ(ClassifyCodec(0, 0), kUnknownKind);
    EXPECT_EQ(ClassifyCodec(FCC("MP43"), FCC("MP43")), kUnknownKind);
    EXPECT_EQ(ClassifyCodec(FCC("DIV3"), FCC("DIV3")), kUnknownKind);
    EXPECT_EQ(ClassifyCodec(FCC("dx50"), FCC("DX50")), kUnknownKind);
}

TEST(CodecCatalog, EveryCodePairClassifiesBackToItsKind) {
    for (CodecKind kind = kFirstKind; kind <= kLastKind; ++kind) {
        const CodePair pair = CodePairOf(kind);
        EXPECT_EQ(ClassifyCodec(pair.Handler, pair.Compression), kind) << int(kind);
    }
    EXPECT_EQ(CodePairOf(0).Handler, 0u);
    EXPECT_EQ(CodePairOf(14).Handler, 0u);
}

TEST(CodecCatalog, FamiliesAreClosedAndNeverOfferTheCurrentKind) {
    const std::set<std::set<CodecKind>> families{{1, 4}, {2, 5, 9}, {3, 6, 7, 8}, {10, 11, 12, 13}};
    for (const auto& family : families) {
        for (CodecKind kind : family) {
            const auto targets = OfferedTargets(kind).View();
            std::set<CodecKind> reach(targets.begin(), targets.end());
            reach.insert(kind);
            EXPECT_EQ(reach, family) << int(kind);
            EXPECT_EQ(std::count(targets.begin(), targets.end(), kind), 0);
        }
    }
    EXPECT_TRUE(OfferedTargets(0).View().empty());
    EXPECT_TRUE(OfferedTargets(14).View().empty());
    EXPECT_TRUE(OfferedTargets(200).View().empty());
}

TEST(CodecCatalog, OnlyKindsOneAndFourAreLockedWithOneTarget) {
    for (CodecKind kind = kFirstKind; kind <= kLastKind; ++kind) {
        const TargetList& targets = OfferedTargets(kind);
        const bool locked = kind == 1 || kind == 4;
        EXPECT_EQ(targets.Locked, locked) << int(kind);
        if (locked) {
            EXPECT_EQ(targets.Count, 1);
        }
    }
    EXPECT_EQ(OfferedTargets(1).Kinds[0], 4);
    EXPECT_EQ(OfferedTargets(4).Kinds[0], 1);
    // The order is the order the dialog lists them in.
    const auto six = OfferedTargets(6).View();
    EXPECT_EQ(std::vector<CodecKind>(six.begin(), six.end()), (std::vector<CodecKind>{3, 8, 7}));
}

static FourCC Code(const std::string& text) {
    return text.size() != 4 ? 0 : MakeFourCC(text[0], text[1], text[2], text[3]);
}

TEST(CodecCatalog, RelaxedRuleEveryRowAndWhatStaysUnknown) {
    // HANDLER/COMPRESSION=KIND; an empty code is 0.
    const char* const groups[] = {
        // The exact rule's answer stands.
        "DIVX/DX50=11 XVID/FMP4=10 divx/DX50=12 mp43/mp43=3",
        // A catalogue handler in any case decides, "dx50" included.
        "MPG4/=1 MP42/MP42=2 MP43/MP43=3 Div1/XVID=4 DIV2/DIV2=5 DIV3/DIV3=6 DIV4/DIV3=7 "
        "AP41/AP41=8 aP42/=9 XviD/DIVX=10 dX50/XVID=12 3IV2/3IV2=13",
        // Any "divx" over anything but "DIVX" or "DX50", and every other handler: the
        // compression code in any case.
        "DivX/DIVX=11 DIVx/dx50=12 divx/DIV3=6 divx/FMP4=15 /mpg4=1 /MP42=2 FMP4/Mp43=3 /div1=4 "
        "H264/DIV2=5 /DIV3=6 /div4=7 /AP41=8 /ap42=9 /xvid=10 /DIVX=11 /dx50=12 /3iv2=13",
        // FFmpeg's own code in either field.
        "FMP4/FMP4=15 fmp4/=15 /fMp4=15",
        // The label some devices want, which vidtag-cli writes for them, in any case.
        "MP4V/MP4V=16 mp4v/MP4V=16 /mp4v=16",
        // The rest stays unknown; a byte above 0x7F is no letter.
        "/=14 divx/=14 Divx/H264=14 H264/H264=14 MJPG/MJPG=14 FMP5/DIV5=14 "
        "\xCD\xD0"
        "43/=14",
    };
    for (const char* group : groups) {
        std::istringstream rows(group);
        for (std::string row; rows >> row;) {
            SCOPED_TRACE(row);
            const std::size_t slash = row.find('/'), equals = row.find('=');
            const FourCC handler = Code(row.substr(0, slash));
            const FourCC compression = Code(row.substr(slash + 1, equals - slash - 1));
            const int kind = std::stoi(row.substr(equals + 1));
            EXPECT_EQ(Classify(handler, compression, ClassificationRule::Relaxed), kind);
            // The exact rule, still the default, either agrees or does not know the codes.
            const CodecKind exact = Classify(handler, compression, ClassificationRule::Exact);
            EXPECT_TRUE(exact == kind || exact == kUnknownKind) << int(exact);
        }
    }

    // Kind 15 is a source of the MPEG-4 Part 2 family that nothing converts to.
    EXPECT_EQ(std::string(KindName(kFFmpegKind)), "FFmpeg MPEG-4");
    const auto targets = OfferedTargets(kFFmpegKind).View();
    EXPECT_EQ(std::vector<CodecKind>(targets.begin(), targets.end()),
              (std::vector<CodecKind>{10, 11, 12, 13}));
    EXPECT_EQ(CodePairOf(kFFmpegKind).Handler, 0u);
}

TEST(CodecCatalog, FamiliesHoldTheirTargets) {
    // Every offered target names the same bit stream as the kind it is offered for.
    for (CodecKind kind = 0; kind < 16; ++kind) {
        for (const CodecKind target : OfferedTargets(kind).View()) {
            EXPECT_EQ(FamilyOf(target), FamilyOf(kind)) << int(kind) << " -> " << int(target);
        }
    }
    EXPECT_EQ(FamilyOf(1), 1);
    EXPECT_EQ(FamilyOf(9), 2);
    EXPECT_EQ(FamilyOf(8), 3);
    EXPECT_EQ(FamilyOf(15), 4);
    EXPECT_EQ(FamilyOf(14), 0);
    EXPECT_EQ(FamilyOf(200), 0);
}
