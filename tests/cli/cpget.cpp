// cpget FILE: appends the console's output code page, which every program in the window shares,
// to FILE, away from the terminal's redrawing.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    std::FILE* out = argc > 1 ? std::fopen(argv[1], "a") : nullptr;
    if (out == nullptr) {
        return 2;
    }
    std::fprintf(out, "%u\n", ::GetConsoleOutputCP());
    return std::fclose(out) == 0 ? 0 : 2;
}
