#pragma once

#include "os/FileLayer.h"

#include <cstdint>

namespace vidtag::test {

// Counts the reads and seeks that reach the system, passing every call on to the native layer.
// It stands in front of the native layer from its construction until its destruction.
class CountingFileLayer final : public os::FileLayer {
  public:
    CountingFileLayer() : previous_(os::ReplaceFileLayer(this)) {}
    ~CountingFileLayer() override { os::ReplaceFileLayer(previous_); }
    CountingFileLayer(const CountingFileLayer&) = delete;
    CountingFileLayer& operator=(const CountingFileLayer&) = delete;

    std::int64_t Reads = 0;
    std::int64_t Seeks = 0;
    std::int64_t BytesRead = 0;

    std::int64_t Calls() const { return Reads + Seeks; }
    void ResetCounts() { Reads = Seeks = BytesRead = 0; }

    os::FileHandle Open(const char* name, os::Access access, os::Share share) override {
        return native_.Open(name, access, share);
    }
    os::FileHandle Create(const char* name) override { return native_.Create(name); }
    std::uint32_t Read(os::FileHandle handle, void* buffer, std::uint32_t count) override {
        ++Reads;
        const std::uint32_t done = native_.Read(handle, buffer, count);
        BytesRead += done;
        return done;
    }
    std::uint32_t Write(os::FileHandle handle, const void* buffer, std::uint32_t count) override {
        return native_.Write(handle, buffer, count);
    }
    std::int64_t Seek(os::FileHandle handle, std::int64_t offset, int origin) override {
        ++Seeks;
        return native_.Seek(handle, offset, origin);
    }
    bool SetEndOfFile(os::FileHandle handle) override { return native_.SetEndOfFile(handle); }
    bool Flush(os::FileHandle handle) override { return native_.Flush(handle); }
    void Close(os::FileHandle handle) override { native_.Close(handle); }
    bool GetAttributes(const char* name, os::Attributes& attributes) override {
        return native_.GetAttributes(name, attributes);
    }
    bool SetAttributes(const char* name, os::Attributes attributes) override {
        return native_.SetAttributes(name, attributes);
    }
    bool IsReadOnly(os::Attributes attributes) override { return native_.IsReadOnly(attributes); }
    os::Attributes WithoutReadOnly(os::Attributes attributes) override {
        return native_.WithoutReadOnly(attributes);
    }

  private:
    os::FileLayer& native_ = os::NativeFiles();
    os::FileLayer* previous_;
};

} // namespace vidtag::test
