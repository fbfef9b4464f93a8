#include "OpenDialog.h"

#include "FrontState.h"

#include <commdlg.h>

#include <cstddef>
#include <cstring>
#include <string>

namespace vidtag {

GetOpenFileNameFunction GetOpenFileNameCall = ::GetOpenFileNameA;

namespace {

constexpr int kExtraWidth = 200;
constexpr int kExtraHeight = 100;
constexpr DWORD kOpenFlags =
    OFN_HIDEREADONLY | OFN_ENABLEHOOK | OFN_FILEMUSTEXIST | OFN_EXPLORER | OFN_LONGNAMES;

// The older layout, without the fields later versions added at the end: every version of the
// platform accepts it.
constexpr DWORD kRequestSize = offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR);
static_assert(sizeof(void*) != 4 || kRequestSize == 76);

struct ControlShift {
    int Id;
    int Right;
    int Down;
    int Wider;
    int Taller;
};

// File list, the two labels, the name and type boxes, Open and Cancel.
constexpr ControlShift kLayout[] = {
    {1120, 0, 0, 200, 100},      {1089, 0, 100, 0, 0},   {1090, 0, 100, 0, 0},
    {1152, 0, 100, 170, 0},      {1136, 0, 100, 170, 0}, {IDOK, 180, 100, 25, 0},
    {IDCANCEL, 180, 100, 25, 0},
};

void Enlarge(HWND dialog) {
    RECT frame{};
    ::GetWindowRect(dialog, &frame);
    CenterOnWorkArea(dialog, frame.right - frame.left + kExtraWidth,
                     frame.bottom - frame.top + kExtraHeight);
    // Controls are placed in client coordinates; taking the client origin from the window
    // itself keeps them exact whatever frame and caption the system draws.
    POINT origin{0, 0};
    ::ClientToScreen(dialog, &origin);
    for (const ControlShift& shift : kLayout) {
        MoveControl(dialog, origin, shift.Id, shift.Right, shift.Down, shift.Wider, shift.Taller);
    }
}

std::string FilterString() {
    std::string filter = Texts[11] + " (*.avi)";
    filter += '\0';
    filter += "*.AVI";
    filter += '\0';
    filter += Texts[12];
    filter += '\0';
    filter += "*.*";
    filter += '\0';
    return filter; // c_str() adds the second closing NUL
}

} // namespace

bool ShowOpenDialog() {
    const std::string filter = FilterString();
    const std::size_t length = std::min(FileName.size(), kNameBufferSize - 1);
    std::memcpy(NameBuffer, FileName.data(), length);
    NameBuffer[length] = '\0';

    OPENFILENAMEA request{};
    request.lStructSize = kRequestSize;
    request.hwndOwner = nullptr;
    request.hInstance = ResourceModule();
    request.lpstrFilter = filter.c_str();
    request.nFilterIndex = FilterIndex;
    request.lpstrFile = NameBuffer;
    // The whole buffer: in UTF-8 a path of 255 characters can take far more than 255 bytes.
    request.nMaxFile = kNameBufferSize;
    request.lpstrTitle = Texts[1].c_str();
    request.Flags = kOpenFlags;
    request.lpfnHook = OpenDialogHook;
    return GetOpenFileNameCall(&request) != FALSE;
}

UINT_PTR CALLBACK OpenDialogHook(HWND window, UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_NOTIFY) {
        return 0;
    }
    const auto* notify = reinterpret_cast<const OFNOTIFYA*>(lParam);
    switch (notify->hdr.code) {
    case CDN_TYPECHANGE:
        FilterIndex = notify->lpOFN->nFilterIndex;
        break;
    case CDN_INITDONE:
        Enlarge(::GetParent(window));
        break;
    default:
        break;
    }
    return 0;
}

void CenterOnWorkArea(HWND window, int width, int height) {
    RECT work{};
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    // A task bar on the left or at the top moves the work area's origin off the screen's.
    const int x = work.left + (work.right - work.left - width) / 2;
    const int y = work.top + (work.bottom - work.top - height) / 2;
    ::MoveWindow(window, x, y, width, height, TRUE);
}

void MoveControl(HWND dialog, POINT origin, int id, int right, int down, int wider, int taller) {
    const HWND control = ::GetDlgItem(dialog, id);
    if (control == nullptr) {
        return;
    }
    RECT box{};
    ::GetWindowRect(control, &box);
    ::MoveWindow(control, box.left - origin.x + right, box.top - origin.y + down,
                 box.right - box.left + wider, box.bottom - box.top + taller, TRUE);
}

} // namespace vidtag
