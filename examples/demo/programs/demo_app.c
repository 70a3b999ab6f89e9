/* The demo product's program: says hello and ends. */
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR command_line, int show) {
    (void)instance;
    (void)previous;
    (void)command_line;
    (void)show;
    MessageBoxW(NULL, L"\u6f14\u793a\u7a0b\u5e8f 1.0", L"\u6f14\u793a\u7a0b\u5e8f", MB_OK | MB_ICONINFORMATION);
    return 0;
}
