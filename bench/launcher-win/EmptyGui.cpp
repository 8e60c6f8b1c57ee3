// The baseline: a GUI-subsystem program linked like morv.exe that does
// nothing at all.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    return 0;
}
