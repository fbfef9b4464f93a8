#include "DialogDriver.h"

#include "Program.h"
#include "resources/ResourceIds.h"

#include <deque>
#include <set>

namespace vidtag::test {

namespace {

std::deque<WindowStep> Steps;
std::deque<HWND> Pending;
std::set<HWND> Seen;
int Unexpected = 0;

void CALLBACK RunNextStep(HWND, UINT, UINT_PTR timer, DWORD) {
    ::KillTimer(nullptr, timer);
    if (Pending.empty()) {
        return;
    }
    const HWND window = Pending.front();
    Pending.pop_front();
    if (Steps.empty()) {
        ++Unexpected;
        ::PostMessageA(window, WM_CLOSE, 0, 0);
        return;
    }
    const WindowStep step = std::move(Steps.front());
    Steps.pop_front();
    step(window);
}

LRESULT CALLBACK WatchActivation(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        const auto window = reinterpret_cast<HWND>(wParam);
        char className[16] = {};
        ::GetClassNameA(window, className, sizeof className);
        if (std::string(className) == "#32770" && Seen.insert(window).second) {
            Pending.push_back(window);
            ::SetTimer(nullptr, 0, 20, RunNextStep);
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// The system icon that a message box shows, by the name of its style.
std::string IconOf(HWND box) {
    for (HWND child = ::GetWindow(box, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        char className[16] = {};
        ::GetClassNameA(child, className, sizeof className);
        if (::lstrcmpiA(className, "Static") != 0 ||
            (::GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) {
            continue;
        }
        const auto shown = reinterpret_cast<HICON>(::SendMessageA(child, STM_GETICON, 0, 0));
        for (const auto& [icon, name] : {std::pair{IDI_WARNING, "warning"},
                                         {IDI_INFORMATION, "information"},
                                         {IDI_ERROR, "error"},
                                         {IDI_QUESTION, "question"}}) {
            if (shown == ::LoadIcon(nullptr, icon)) {
                return name;
            }
        }
        return shown == nullptr ? "none" : "other";
    }
    return "none";
}

} // namespace

std::string ToUtf8(const std::wstring& text) {
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, result.data(), size, nullptr, nullptr);
    result.resize(result.empty() ? 0 : result.size() - 1);
    return result;
}

int RunWithSteps(const std::string& commandLine, std::vector<WindowStep> steps) {
    return DriveWindows([&commandLine] { RunProgram(commandLine.c_str()); }, std::move(steps));
}

int DriveWindows(const std::function<void()>& body, std::vector<WindowStep> steps) {
    Steps.assign(steps.begin(), steps.end());
    Pending.clear();
    Seen.clear();
    Unexpected = 0;
    const HHOOK hook =
        ::SetWindowsHookExA(WH_CBT, WatchActivation, nullptr, ::GetCurrentThreadId());
    body();
    ::UnhookWindowsHookEx(hook);
    return Unexpected + static_cast<int>(Steps.size());
}

std::string WindowText(HWND window) {
    wchar_t buffer[2048] = {};
    ::GetWindowTextW(window, buffer, 2048);
    return ToUtf8(buffer);
}

std::string ItemText(HWND dialog, int id) {
    return WindowText(::GetDlgItem(dialog, id));
}

std::string ComboEntries(HWND dialog, int id) {
    const HWND combo = ::GetDlgItem(dialog, id);
    const LRESULT count = ::SendMessageW(combo, CB_GETCOUNT, 0, 0);
    std::string joined;
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t buffer[512] = {};
        ::SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buffer));
        if (i > 0) {
            joined += '|';
        }
        joined += ToUtf8(buffer);
    }
    return joined;
}

MainView Look(HWND dialog) {
    return {ItemText(dialog, IDC_FILE_FIELD),
            ItemText(dialog, IDC_CODEC_FIELD),
            ComboEntries(dialog, IDC_TARGET_LIST),
            static_cast<int>(::SendDlgItemMessageA(dialog, IDC_TARGET_LIST, CB_GETCURSEL, 0, 0)),
            ::IsWindowEnabled(::GetDlgItem(dialog, IDC_TARGET_LIST)) != FALSE,
            ::IsWindowEnabled(::GetDlgItem(dialog, IDC_TARGET_LABEL)) != FALSE,
            ::IsWindowEnabled(::GetDlgItem(dialog, IDC_SAVE)) != FALSE};
}

MainView LookAtStart(const std::string& commandLine) {
    MainView view{};
    RunWithSteps(commandLine, {[&view](HWND d) {
                     view = Look(d);
                     Command(d, IDC_QUIT);
                 }});
    return view;
}

MainView LookAfterOpening(const std::string& path) {
    // Typed as UTF-16, so that the name arrives whole whatever the process's code page.
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 1), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), size);
    MainView view{};
    RunWithSteps("Vidtag.exe", {[&view](HWND d) {
                                    Command(d, IDC_OPEN);
                                    view = Look(d);
                                    Command(d, IDC_QUIT);
                                },
                                [&wide](HWND open) {
                                    ::SetDlgItemTextW(open, 1152, wide.c_str());
                                    ::PostMessageW(open, WM_COMMAND, IDOK, 0);
                                }});
    return view;
}

WindowStep AnswerBox(BoxSeen& seen) {
    return [&seen](HWND box) {
        seen.Text = ItemText(box, 0xFFFF);
        seen.Caption = WindowText(box);
        seen.Icon = IconOf(box);
        ::PostMessageA(box, WM_COMMAND, IDOK, 0);
    };
}

void Command(HWND dialog, int id) {
    ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

void SysCommand(HWND dialog, int id) {
    ::SendMessageA(dialog, WM_SYSCOMMAND, static_cast<WPARAM>(id), 0);
}

std::string CommandLineFor(const std::string& argument) {
    return "\"C:\\Program Files\\Vidtag\\Vidtag.exe\" \"" + argument + "\"";
}

} // namespace vidtag::test
