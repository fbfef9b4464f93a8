#include "Program.h"

#include "FrontState.h"
#include "MainDialog.h"
#include "Settings.h"

#include <windows.h>

#include <cstdio>

namespace vidtag {

int RunProgram(const char* commandLine) {
    if (NameBuffer == nullptr) {
        // Lives until the process ends: the open-file dialog and Save share it.
        NameBuffer = new char[kNameBufferSize]();
    }
    FileName = FirstArgument(commandLine);
    ReadSettings();
    std::snprintf(NameBuffer, 256, "Main%lu", static_cast<unsigned long>(Language));
    ::DialogBoxParamA(ResourceModule(), NameBuffer, nullptr, MainDialogProc, 0);
    WriteSettings();
    return 0;
}

} // namespace vidtag
