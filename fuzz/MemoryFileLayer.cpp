#include "MemoryFileLayer.h"

#include "streams/Stream64.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

namespace vidtag::fuzz {

namespace {
// Handles count from here, clear of the standard descriptors and of InvalidHandle().
constexpr int kFirstHandle = 100;
constexpr os::Attributes kOwnerWrite = 0200;
} // namespace

MemoryFileLayer::MemoryFileLayer(std::string name, const std::uint8_t* data, std::size_t size)
    : Bytes(data, data + size), name_(std::move(name)), attributes_(0644),
      previous_(os::ReplaceFileLayer(this)) {}

MemoryFileLayer::~MemoryFileLayer() {
    os::ReplaceFileLayer(previous_);
}

MemoryFileLayer::OpenFile* MemoryFileLayer::Find(os::FileHandle handle) {
    const auto index = static_cast<std::size_t>(handle - kFirstHandle);
    if (handle < kFirstHandle || index >= open_.size() || !open_[index].InUse) {
        return nullptr;
    }
    return &open_[index];
}

os::FileHandle MemoryFileLayer::Open(const char* name, os::Access access, os::Share) {
    if (name_ != name || (access != os::Access::Read && IsReadOnly(attributes_))) {
        return os::InvalidHandle();
    }
    auto free =
        std::find_if(open_.begin(), open_.end(), [](const OpenFile& f) { return !f.InUse; });
    if (free == open_.end()) {
        free = open_.insert(open_.end(), OpenFile{});
    }
    *free = OpenFile{true, access, 0};
    return kFirstHandle + static_cast<int>(free - open_.begin());
}

os::FileHandle MemoryFileLayer::Create(const char*) {
    return os::InvalidHandle();
}

std::uint32_t MemoryFileLayer::Read(os::FileHandle handle, void* buffer, std::uint32_t count) {
    OpenFile* file = Find(handle);
    const auto size = static_cast<std::int64_t>(Bytes.size());
    if (file == nullptr || file->Mode == os::Access::Write || file->Position >= size) {
        return 0;
    }
    const std::int64_t moved = std::min<std::int64_t>(count, size - file->Position);
    std::memcpy(buffer, Bytes.data() + file->Position, static_cast<std::size_t>(moved));
    file->Position += moved;
    return static_cast<std::uint32_t>(moved);
}

std::uint32_t MemoryFileLayer::Write(os::FileHandle handle, const void* buffer,
                                     std::uint32_t count) {
    ++WriteCalls;
    OpenFile* file = Find(handle);
    if (file == nullptr || file->Mode == os::Access::Read || count == 0) {
        return 0;
    }
    const std::int64_t end = file->Position + count;
    // Far beyond what the fuzzer feeds: as a full disk would, move nothing.
    if (end > std::numeric_limits<std::int32_t>::max()) {
        return 0;
    }
    if (static_cast<std::size_t>(end) > Bytes.size()) {
        Bytes.resize(static_cast<std::size_t>(end));
    }
    std::memcpy(Bytes.data() + file->Position, buffer, count);
    file->Position = end;
    return count;
}

std::int64_t MemoryFileLayer::Seek(os::FileHandle handle, std::int64_t offset, int origin) {
    OpenFile* file = Find(handle);
    std::int64_t target = 0;
    if (file == nullptr || origin < 0 ||
        !SeekTarget(offset, static_cast<std::uint16_t>(origin), file->Position,
                    static_cast<std::int64_t>(Bytes.size()), target)) {
        return -1;
    }
    file->Position = target;
    return target;
}

bool MemoryFileLayer::SetEndOfFile(os::FileHandle handle) {
    OpenFile* file = Find(handle);
    if (file == nullptr || file->Mode == os::Access::Read ||
        file->Position > std::numeric_limits<std::int32_t>::max()) {
        return false;
    }
    Bytes.resize(static_cast<std::size_t>(file->Position));
    return true;
}

bool MemoryFileLayer::Flush(os::FileHandle handle) {
    ++Flushes;
    return Find(handle) != nullptr;
}

void MemoryFileLayer::Close(os::FileHandle handle) {
    if (OpenFile* file = Find(handle)) {
        file->InUse = false;
    }
}

bool MemoryFileLayer::GetAttributes(const char* name, os::Attributes& attributes) {
    if (name_ != name) {
        return false;
    }
    attributes = attributes_;
    return true;
}

bool MemoryFileLayer::SetAttributes(const char* name, os::Attributes attributes) {
    if (name_ != name) {
        return false;
    }
    attributes_ = attributes;
    return true;
}

bool MemoryFileLayer::IsReadOnly(os::Attributes attributes) {
    return (attributes & kOwnerWrite) == 0;
}

os::Attributes MemoryFileLayer::WithoutReadOnly(os::Attributes attributes) {
    return attributes | kOwnerWrite;
}

} // namespace vidtag::fuzz
