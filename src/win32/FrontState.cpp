#include "FrontState.h"

namespace vidtag {

DWORD Language = 0;
std::array<std::string, VT_TEXT_COUNT + 1> Texts;
std::string FileName;
char* NameBuffer = nullptr;
std::string StatusText;
HWND DialogWindow = nullptr;
DWORD FilterIndex = 1;

HINSTANCE ResourceModule() {
    return ::GetModuleHandleA(nullptr);
}

} // namespace vidtag
