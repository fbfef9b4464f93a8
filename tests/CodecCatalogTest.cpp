#include "CodecCatalog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

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
