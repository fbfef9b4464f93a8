#include "streams/Stream64.h"

#include <array>

namespace vidtag {

bool SeekTarget(std::int64_t offset, std::uint16_t origin, std::int64_t position, std::int64_t size,
                std::int64_t& target) {
    std::int64_t base = 0;
    switch (origin) {
    case 0:
        break;
    case 1:
        base = position;
        break;
    case 2:
        base = size;
        break;
    default:
        return false;
    }
    return !__builtin_add_overflow(base, offset, &target) && target >= 0;
}

void TStream64::SetSize(std::int64_t) {}

std::int64_t TStream64::GetPosition() {
    return Seek(0, 1);
}

void TStream64::SetPosition(std::int64_t position) {
    Seek(position, 0);
}

std::int64_t TStream64::GetSize() {
    const std::int64_t position = Seek(0, 1);
    const std::int64_t size = Seek(0, 2);
    Seek(position, 0);
    return size;
}

void THandleStream64::SetSize(std::int64_t newSize) {
    Seek(newSize, 0);
    os::Files().SetEndOfFile(Handle);
}

std::int64_t THandleStream64::Read(void* buffer, std::int64_t count) {
    return os::Files().Read(Handle, buffer, static_cast<std::uint32_t>(count));
}

std::int64_t THandleStream64::Write(const void* buffer, std::int64_t count) {
    return os::Files().Write(Handle, buffer, static_cast<std::uint32_t>(count));
}

std::int64_t THandleStream64::Seek(std::int64_t offset, std::uint16_t origin) {
    return os::Files().Seek(Handle, offset, origin);
}

bool THandleStream64::Flush() {
    return os::Files().Flush(Handle);
}

namespace {

constexpr std::array<os::Access, 3> kAccessByMode{os::Access::Read, os::Access::Write,
                                                  os::Access::ReadWrite};

// Sharing values 0 and 1 both mean exclusive.
constexpr std::array<os::Share, 5> kShareByMode{os::Share::None, os::Share::None, os::Share::Read,
                                                os::Share::Write, os::Share::ReadWrite};

os::FileHandle OpenByMode(const std::string& fileName, std::uint16_t mode) {
    if (mode == kCreateMode) {
        return os::Files().Create(fileName.c_str());
    }
    const unsigned access = mode & 3;
    const unsigned share = (mode & 0xF0) >> 4;
    // Values outside the tables would have no meaning; refuse them like a failed open.
    if (access >= kAccessByMode.size() || share >= kShareByMode.size()) {
        return os::InvalidHandle();
    }
    return os::Files().Open(fileName.c_str(), kAccessByMode[access], kShareByMode[share]);
}

} // namespace

TFileStream64::TFileStream64(const std::string& fileName, std::uint16_t mode)
    : THandleStream64(OpenByMode(fileName, mode)) {
    if (Handle == os::InvalidHandle()) {
        if (mode == kCreateMode) {
            throw EFCreateError("Cannot create file " + fileName);
        }
        throw EFOpenError("Cannot open file " + fileName);
    }
}

TFileStream64::~TFileStream64() {
    if (Handle != os::InvalidHandle()) {
        os::Files().Close(Handle);
    }
}

} // namespace vidtag
