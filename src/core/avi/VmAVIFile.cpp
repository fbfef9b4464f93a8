#include "avi/VmAVIFile.h"

#include "riff/ChunkIds.h"

#include <algorithm>
#include <limits>
#include <new>
#include <stdexcept>

namespace vidtag {

namespace {

constexpr std::int32_t kDirectoryStep = 512;

} // namespace

TVmAVIFileReader::TVmAVIFileReader(TStream64* fileStream)
    : RiffStream(std::make_unique<TVMRIFFStream>(fileStream)) {
    CheckFile();
}

TVmAVIFileReader::~TVmAVIFileReader() {
    Clear();
}

void TVmAVIFileReader::CheckFile() {
    TStream64* stream = RiffStream ? RiffStream->Stream : nullptr;
    if (stream == nullptr) {
        // Without a file there is nothing that could be read.
        FileSize = 0;
        ErrorCode = -3;
        return;
    }
    FileSize = stream->GetSize();
    ErrorCode = -4;
    if (FileSize < 12) {
        return;
    }
    ErrorCode = -3;
    std::uint8_t signature[4] = {0, 0, 0, 0};
    if (stream->Read(signature, 4) < 4) {
        return;
    }
    ErrorCode = riff::Load32(signature) == FCC("RIFF") ? 0 : -4;
}

void TVmAVIFileReader::Clear() {
    NodeCount = 0;
    LastTopNode = kNoNode;
    for (auto& page : NodePages) {
        page.reset();
    }
    NodePages.clear();
    NodePages.shrink_to_fit();
}

bool TVmAVIFileReader::IsNode(std::int32_t node) const {
    return node >= 0 && node < NodeCount;
}

ChunkNode& TVmAVIFileReader::At(std::int32_t node) {
    return NodePages[static_cast<std::size_t>(node) / kNodesPerPage]
                    [static_cast<std::size_t>(node) % kNodesPerPage];
}

const ChunkNode& TVmAVIFileReader::At(std::int32_t node) const {
    return NodePages[static_cast<std::size_t>(node) / kNodesPerPage]
                    [static_cast<std::size_t>(node) % kNodesPerPage];
}

const ChunkNode& TVmAVIFileReader::Node(std::int32_t node) const {
    if (!IsNode(node)) {
        throw std::out_of_range("no chunk node " + std::to_string(node));
    }
    return At(node);
}

std::int32_t TVmAVIFileReader::AddNode(std::int32_t parent, FourCC id, FourCC listType,
                                       std::int64_t dataPos, std::int64_t dataSize) {
    // A link to a node that does not exist would write outside the store; refuse it before
    // anything changes, as the scan's callers already handle its exceptions.
    if (parent != kNoNode && !IsNode(parent)) {
        throw std::out_of_range("no parent chunk node " + std::to_string(parent));
    }
    const std::int32_t n = NodeCount;
    if (n >= kMaxChunkNodes) {
        throw std::bad_alloc();
    }
    const auto pagesFilled = (static_cast<std::size_t>(n) + kNodesPerPage - 1) / kNodesPerPage;
    if (NodePages.size() <= pagesFilled) {
        NodePages.resize(NodePages.size() + kDirectoryStep);
    }
    auto& page = NodePages[static_cast<std::size_t>(n) / kNodesPerPage];
    if (!page) {
        page = std::make_unique<ChunkNode[]>(kNodesPerPage);
    }

    ChunkNode& added = At(n);
    added = ChunkNode{};
    added.Id = id;
    added.ListType = listType;
    added.DataPos = dataPos;
    added.DataSize = dataSize;

    if (parent != kNoNode) {
        ChunkNode& owner = At(parent);
        if (owner.FirstChild == kNoNode) {
            owner.FirstChild = n;
        } else {
            At(owner.LastChild).NextSibling = n;
        }
        owner.LastChild = n;
    } else {
        // The top-level chain only ever grows here, so remembering its end gives the same chain
        // as walking it from node 0, without the walk.
        if (LastTopNode != kNoNode) {
            At(LastTopNode).NextSibling = n;
        }
        LastTopNode = n;
    }
    NodeCount = n + 1;
    return n;
}

std::int32_t TVmAVIFileReader::FindChild(std::int32_t parent, FourCC id) const {
    std::int32_t r;
    if (parent == kNoNode) {
        r = NodeCount > 0 ? 0 : kNoNode;
    } else if (IsNode(parent)) {
        r = At(parent).FirstChild;
    } else {
        return kNoNode;
    }
    while (r != kNoNode && At(r).Id != id) {
        r = At(r).NextSibling;
    }
    return r;
}

std::int32_t TVmAVIFileReader::FindNext(std::int32_t node, FourCC id) const {
    if (!IsNode(node)) {
        return kNoNode;
    }
    std::int32_t r = At(node).NextSibling;
    while (r != kNoNode && At(r).Id != id) {
        r = At(r).NextSibling;
    }
    return r;
}

std::int32_t TVmAVIFileReader::FindList(std::int32_t parent, FourCC id, FourCC listType) const {
    std::int32_t r = FindChild(parent, id);
    while (r != kNoNode && At(r).ListType != listType) {
        r = FindNext(r, id);
    }
    return r;
}

std::int32_t TVmAVIFileReader::FindNextList(std::int32_t node, FourCC id, FourCC listType) const {
    std::int32_t r = FindNext(node, id);
    while (r != kNoNode && At(r).ListType != listType) {
        r = FindNext(r, id);
    }
    return r;
}

std::int32_t TVmAVIFileReader::GetNext(std::int32_t node) const {
    return IsNode(node) ? At(node).NextSibling : kNoNode;
}

std::int64_t TVmAVIFileReader::GetDataPos(std::int32_t node) const {
    return IsNode(node) ? At(node).DataPos : 0;
}

std::int64_t TVmAVIFileReader::GetDataSize(std::int32_t node) const {
    return IsNode(node) ? At(node).DataSize : 0;
}

FourCC TVmAVIFileReader::VideoHandler() const {
    return riff::Load32(VideoStreamHeader.data() + kHandlerOffset);
}

FourCC TVmAVIFileReader::VideoCompression() const {
    return riff::Load32(VideoFormat.data() + kCompressionOffset);
}

} // namespace vidtag
