#pragma once

#include "os/FileLayer.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vidtag::fuzz {

// One file held in memory under one name, standing in front of the native layer for as long as
// it lives, so that the engine converts without a system call. It answers as a POSIX file does:
// reads stop at the end, a seek may go past it and a write there extends the file with zeros, a
// seek before the start fails with -1; a handle moves only what its access allows. Every other
// name does not exist.
class MemoryFileLayer final : public os::FileLayer {
  public:
    MemoryFileLayer(std::string name, const std::uint8_t* data, std::size_t size);
    ~MemoryFileLayer() override;
    MemoryFileLayer(const MemoryFileLayer&) = delete;
    MemoryFileLayer& operator=(const MemoryFileLayer&) = delete;

    std::vector<std::uint8_t> Bytes;
    int WriteCalls = 0; // every write asked for, whether or not it moved anything
    int Flushes = 0;

    os::FileHandle Open(const char* name, os::Access access, os::Share share) override;
    os::FileHandle Create(const char* name) override;
    std::uint32_t Read(os::FileHandle handle, void* buffer, std::uint32_t count) override;
    std::uint32_t Write(os::FileHandle handle, const void* buffer, std::uint32_t count) override;
    std::int64_t Seek(os::FileHandle handle, std::int64_t offset, int origin) override;
    bool SetEndOfFile(os::FileHandle handle) override;
    bool Flush(os::FileHandle handle) override;
    void Close(os::FileHandle handle) override;
    bool GetAttributes(const char* name, os::Attributes& attributes) override;
    bool SetAttributes(const char* name, os::Attributes attributes) override;
    bool IsReadOnly(os::Attributes attributes) override;
    os::Attributes WithoutReadOnly(os::Attributes attributes) override;

  private:
    struct OpenFile {
        bool InUse = false;
        os::Access Mode = os::Access::Read;
        std::int64_t Position = 0;
    };

    OpenFile* Find(os::FileHandle handle);

    std::string name_;
    os::Attributes attributes_;
    std::vector<OpenFile> open_;
    os::FileLayer* previous_;
};

} // namespace vidtag::fuzz
