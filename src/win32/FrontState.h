#pragma once

#include "texts/LocalizedTexts.h"

#include <windows.h>

#include <array>
#include <cstddef>
#include <string>

namespace vidtag {

constexpr std::size_t kNameBufferSize = 2048;

// Front-end state for the whole run; texts are in the process's active code page.
extern DWORD Language;                                   // 0 English, 1 Russian
extern std::array<std::string, VT_TEXT_COUNT + 1> Texts; // numbered 1 to VT_TEXT_COUNT
extern std::string FileName;
extern char* NameBuffer; // kNameBufferSize bytes
extern std::string StatusText;
extern HWND DialogWindow;
extern DWORD FilterIndex;

// The module whose resources the front end loads: the program itself.
HINSTANCE ResourceModule();

} // namespace vidtag
