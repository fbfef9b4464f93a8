#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace vidtag::test {

// What a test does with one modal window once that window runs its own message loop.
using WindowStep = std::function<void(HWND)>;

// Runs the program with this command line. Each dialog window that becomes active (the main
// dialog, message boxes, the open-file dialog) is handed to the next step in order, from a timer
// that fires inside that window's own loop, as Wine's user32 and comdlg32 tests drive theirs.
// Returns how many windows appeared with no step left; those are closed.
int RunWithSteps(const std::string& commandLine, std::vector<WindowStep> steps);
// The same for any code that opens modal windows.
int DriveWindows(const std::function<void()>& body, std::vector<WindowStep> steps);

// What the main dialog shows.
struct MainView {
    std::string File;
    std::string Codec;
    std::string Targets; // entries joined with '|'
    int Selected;
    bool ListEnabled;
    bool LabelEnabled;
    bool SaveEnabled;
};
MainView Look(HWND dialog);
// Starts the program, looks at the main dialog and quits.
MainView LookAtStart(const std::string& commandLine);
// Starts the program without a file, picks this one (UTF-8) in the open-file dialog, looks at
// the main dialog and quits.
MainView LookAfterOpening(const std::string& path);

// Window and control texts read as UTF-16 and returned as UTF-8, so that a test sees what the
// screen shows whatever the process's code page.
std::string ToUtf8(const std::wstring& text);
std::string WindowText(HWND window);
std::string ItemText(HWND dialog, int id);
std::string ComboEntries(HWND dialog, int id); // entries joined with '|'

// A message box's text, caption and icon ("warning", "information", "error", "question", "none"
// or "other"); the box is then closed with OK.
struct BoxSeen {
    std::string Text;
    std::string Caption;
    std::string Icon;
};
WindowStep AnswerBox(BoxSeen& seen);

// Presses a button or menu entry of a dialog the way the user's click arrives.
void Command(HWND dialog, int id);
void SysCommand(HWND dialog, int id);

// A quoted command line for the program with one argument.
std::string CommandLineFor(const std::string& argument);

} // namespace vidtag::test
