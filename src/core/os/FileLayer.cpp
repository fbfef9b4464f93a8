#include "FileLayer.h"

namespace vidtag::os {

namespace {
FileLayer* current = nullptr;
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
