#include "avi/VmAVIFile.h"
#include "streams/MemoryStream64.h"

#include <gtest/gtest.h>

#include <new>

using namespace vidtag;

// A hostile file must not grow the tree without bound: past the cap the analysis ends as if
// memory had run out, and what was built stays intact.
TEST(ChunkTreeCapTest, AddingPastTheCapFailsLikeRunningOutOfMemory) {
    TMemoryStream64 empty;
    TVmAVIFileReader reader(&empty);
    reader.AddNode(kNoNode, FCC("RIFF"), FCC("AVI "), 12, 0);
    for (std::int32_t i = 1; i < kMaxChunkNodes; ++i) {
        reader.AddNode(0, FCC("00dc"), 0, i, 0);
    }
    EXPECT_THROW(reader.AddNode(0, FCC("00dc"), 0, 0, 0), std::bad_alloc);
    EXPECT_THROW(reader.AddNode(kNoNode, FCC("RIFF"), FCC("AVIX"), 0, 0), std::bad_alloc);
    EXPECT_EQ(reader.NodeCount, kMaxChunkNodes);
    EXPECT_EQ(reader.Node(0).LastChild, kMaxChunkNodes - 1);
    EXPECT_EQ(reader.GetNext(0), kNoNode);
}
