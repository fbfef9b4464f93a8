#pragma once

#include "codecs/CodecCatalog.h"

#include <windows.h>

namespace vidtag {

// System-menu commands appended to the main dialog's window menu.
constexpr UINT kMenuEnglish = 2000;
constexpr UINT kMenuRussian = 2001;
constexpr UINT kMenuWebPage = 2002;

inline constexpr const char* kWebPageEnglish = "https://vidtag.org/";
inline constexpr const char* kWebPageRussian = "https://vidtag.org/ru/";

// The shell call that opens the web page; tests put a recorder here instead of a browser.
using ShellExecuteFunction = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
extern ShellExecuteFunction ShellExecuteCall;

// True for the initialisation message only, so the platform's own handling always runs too.
INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Redraws the fields, the target list and the enabled states from FileName and EngineState.
void RefreshDialog();
void AddTargetItem(CodecKind kind);

} // namespace vidtag
