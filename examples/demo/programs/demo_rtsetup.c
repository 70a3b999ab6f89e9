/* The demo's runtime component package: a setup program that has nothing to
 * install and ends at once with success, as a silent redistributable would
 * when its runtime is already present. */
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR command_line, int show) {
    (void)instance;
    (void)previous;
    (void)command_line;
    (void)show;
    return 0;
}
