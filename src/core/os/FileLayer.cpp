#include "os/FileLayer.h"

namespace vidtag::os {

namespace {
FileLayer* current = nullptr;
}

FileHandle FileLayer::OpenAppend(const char* name) {
    return NativeFiles().OpenAppend(name);
}

bool FileLayer::Lock(FileHandle handle, int timeoutMs) {
    return NativeFiles().Lock(handle, timeoutMs);
}

void FileLayer::Unlock(FileHandle handle) {
    NativeFiles().Unlock(handle);
}

bool FileLayer::Identify(FileHandle handle, FileIdentity& identity) {
    return NativeFiles().Identify(handle, identity);
}

bool FileLayer::GetModifiedTime(FileHandle handle, FileTime& time) {
    return NativeFiles().GetModifiedTime(handle, time);
}

bool FileLayer::SetModifiedTime(FileHandle handle, FileTime time) {
    return NativeFiles().SetModifiedTime(handle, time);
}

Attributes FileLayer::AfterWriting(Attributes attributes) {
    return NativeFiles().AfterWriting(attributes);
}

bool FileLayer::Rename(const char* from, const char* to) {
    return NativeFiles().Rename(from, to);
}

bool FileLayer::TakeOwnerOf(FileHandle handle, const char* model) {
    return NativeFiles().TakeOwnerOf(handle, model);
}

FileLayer& Files() {
    return current != nullptr ? *current : NativeFiles();
}

FileLayer* ReplaceFileLayer(FileLayer* layer) {
    FileLayer* previous = current;
    current = layer;
    return previous;
}

} // namespace vidtag::os
