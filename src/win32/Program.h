#pragma once

namespace vidtag {

// The program's whole life: the file named on the command line, the stored language, the main
// dialog until the user quits, the language stored again. Returns the exit code.
int RunProgram(const char* commandLine);

} // namespace vidtag
