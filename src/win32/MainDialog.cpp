#include "MainDialog.h"

#include "CodePage.h"
#include "FrontState.h"
#include "OpenDialog.h"
#include "engine/Engine.h"
#include "resources/ResourceIds.h"

#include <shellapi.h>

#include <vector>

namespace vidtag {

ShellExecuteFunction ShellExecuteCall = ::ShellExecuteA;

namespace {

// The dialog is blocked while the engine runs, and a damaged file of several GB takes seconds:
// the wait cursor shows that work is going on. No message is handled meanwhile, so nothing
// puts the arrow back before the destructor does.
class WaitCursor {
  public:
    WaitCursor() : previous_(::SetCursor(::LoadCursorA(nullptr, IDC_WAIT))) {}
    ~WaitCursor() { ::SetCursor(previous_); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

  private:
    HCURSOR previous_;
};

// Only A to Z: Cyrillic letters and multi-byte sequences must pass through untouched.
std::string BracketedLower(const std::string& text) {
    std::string result = "[";
    for (char c : text) {
        result += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return result + "]";
}

HWND Item(int id) {
    return ::GetDlgItem(DialogWindow, id);
}

std::string OriginalEntry(CodecKind kind) {
    return std::string(CodecNames[kind]) + " " + Texts[10];
}

// The kind whose entry text this is, or 0 when none matches.
CodecKind KindOfEntry(const std::string& entry) {
    for (CodecKind kind = kFirstKind; kind <= kLastKind; ++kind) {
        if (entry == CodecNames[kind] || entry == OriginalEntry(kind)) {
            return kind;
        }
    }
    return kNoKind;
}

std::string SelectedEntry() {
    const HWND list = Item(IDC_TARGET_LIST);
    const LRESULT index = ::SendMessageA(list, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) {
        return {};
    }
    const LRESULT length = ::SendMessageA(list, CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR) {
        return {};
    }
    std::vector<char> text(static_cast<std::size_t>(length) + 1);
    ::SendMessageA(list, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    return text.data();
}

ConversionStatus RunEngine(CodecKind kind) {
    const WaitCursor busy;
    return ProcessFile(ActiveCodePageToUtf8(FileName), kind);
}

void Analyse() {
    RunEngine(kNoKind);
    RefreshDialog();
}

void OnOpen() {
    if (ShowOpenDialog()) {
        FileName = NameBuffer;
        Analyse();
    }
}

void OnSave() {
    const CodecKind kind = KindOfEntry(SelectedEntry());
    if (kind == kNoKind) {
        return;
    }
    if (RunEngine(kind) == kStatusCannotWrite) {
        ::MessageBoxA(DialogWindow, Texts[4].c_str(), Texts[9].c_str(), MB_ICONWARNING);
    }
    RefreshDialog();
}

void ChooseLanguage(DWORD language) {
    Language = language;
    const HMENU menu = ::GetSystemMenu(DialogWindow, FALSE);
    ::CheckMenuItem(menu, kMenuEnglish, language == 0 ? MF_CHECKED : MF_UNCHECKED);
    ::CheckMenuItem(menu, kMenuRussian, language == 1 ? MF_CHECKED : MF_UNCHECKED);
    ::MessageBoxA(DialogWindow, Texts[13].c_str(), "Vidtag", MB_ICONINFORMATION);
}

void AppendSystemMenu() {
    const HMENU menu = ::GetSystemMenu(DialogWindow, FALSE);
    ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(menu, MF_STRING | (Language == 0 ? MF_CHECKED : 0), kMenuEnglish, "English");
    ::AppendMenuA(menu, MF_STRING | (Language == 1 ? MF_CHECKED : 0), kMenuRussian, "Russian");
    ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(menu, MF_STRING, kMenuWebPage, Texts[14].c_str());
}

void SetIcons() {
    const auto load = [](int size) {
        return ::LoadImageA(ResourceModule(), MAKEINTRESOURCEA(IDI_VIDTAG), IMAGE_ICON, size, size,
                            LR_DEFAULTCOLOR);
    };
    ::SendMessageA(DialogWindow, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(load(32)));
    ::SendMessageA(DialogWindow, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(load(16)));
}

void OnInitDialog(HWND window) {
    DialogWindow = window;
    Analyse();
    AppendSystemMenu();
    SetIcons();
}

void OnCommand(WORD id) {
    switch (id) {
    case IDC_QUIT:
        ::EndDialog(DialogWindow, IDC_QUIT);
        break;
    case IDC_OPEN:
        OnOpen();
        break;
    case IDC_SAVE:
        OnSave();
        break;
    default:
        break;
    }
}

void OnSysCommand(WORD id) {
    switch (id) {
    case kMenuEnglish:
        ChooseLanguage(0);
        break;
    case kMenuRussian:
        ChooseLanguage(1);
        break;
    case kMenuWebPage:
        ShellExecuteCall(DialogWindow, "open", Language == 1 ? kWebPageRussian : kWebPageEnglish,
                         "", "", SW_SHOWDEFAULT);
        break;
    default:
        break;
    }
}

} // namespace

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(window);
        return TRUE;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        break;
    case WM_SYSCOMMAND:
        OnSysCommand(LOWORD(wParam));
        break;
    default:
        break;
    }
    return FALSE;
}

void RefreshDialog() {
    const HWND list = Item(IDC_TARGET_LIST);
    ::SendMessageA(list, CB_RESETCONTENT, 0, 0);
    ::EnableWindow(list, FALSE);
    ::EnableWindow(Item(IDC_TARGET_LABEL), FALSE);
    ::EnableWindow(Item(IDC_SAVE), FALSE);

    if (FileName.empty()) {
        ::SetDlgItemTextA(DialogWindow, IDC_FILE_FIELD, BracketedLower(Texts[7]).c_str());
        ::SetDlgItemTextA(DialogWindow, IDC_CODEC_FIELD, BracketedLower(Texts[8]).c_str());
        return;
    }

    const int textNumber = StatusTextNumber(EngineState.Status, EngineState.CurrentKind);
    if (textNumber != 0) {
        StatusText = Texts[textNumber];
    } else {
        const TargetList& targets = OfferedTargets(EngineState.CurrentKind);
        ::EnableWindow(list, TRUE);
        ::EnableWindow(Item(IDC_TARGET_LABEL), TRUE);
        for (CodecKind kind : targets.View()) {
            AddTargetItem(kind);
        }
        if (targets.Locked) {
            ::EnableWindow(list, FALSE);
            ::EnableWindow(Item(IDC_TARGET_LABEL), FALSE);
        }
        ::EnableWindow(Item(IDC_SAVE), TRUE);
        StatusText = CodecNames[EngineState.CurrentKind];
    }

    ::SetDlgItemTextA(DialogWindow, IDC_CODEC_FIELD, StatusText.c_str());
    ::SendMessageA(list, CB_SETCURSEL, 0, 0);
    ::SetDlgItemTextA(DialogWindow, IDC_FILE_FIELD, FileName.c_str());
}

void AddTargetItem(CodecKind kind) {
    const std::string entry =
        kind == EngineState.OriginalKind ? OriginalEntry(kind) : std::string(CodecNames[kind]);
    ::SendMessageA(::GetDlgItem(DialogWindow, IDC_TARGET_LIST), CB_ADDSTRING, 0,
                   reinterpret_cast<LPARAM>(entry.c_str()));
}

} // namespace vidtag
