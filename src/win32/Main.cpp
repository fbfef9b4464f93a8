#include "Program.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return vidtag::RunProgram(::GetCommandLineA());
}
