#pragma once

#include <windows.h>

#include <commdlg.h>

namespace vidtag {

// The platform's open-file dialog; tests put a recorder here to see the request.
using GetOpenFileNameFunction = BOOL(WINAPI*)(LPOPENFILENAMEA);
extern GetOpenFileNameFunction GetOpenFileNameCall;

// Runs the enlarged open-file dialog; true when the user chose a file, whose full path is then
// in NameBuffer.
bool ShowOpenDialog();
// Always 0, so the platform's own handling runs as well.
UINT_PTR CALLBACK OpenDialogHook(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Moves the window to the middle of the work area with the given outer size.
void CenterOnWorkArea(HWND window, int width, int height);
// Moves and stretches one control of the dialog by pixels; a control the dialog lacks is left
// alone.
void MoveControl(HWND dialog, POINT origin, int id, int right, int down, int wider, int taller);

} // namespace vidtag
