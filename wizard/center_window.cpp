#include "wizard/center_window.h"

bool CenterWindow(HWND window, int* x, int* y, int* width, int* height) {
    RECT frame;
    if (!GetWindowRect(window, &frame)) return false;

    RECT area;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0)) {
        area.left = 0;
        area.top = 0;
        area.right = GetSystemMetrics(SM_CXSCREEN);
        area.bottom = GetSystemMetrics(SM_CYSCREEN);
    }

    *width = frame.right - frame.left;
    *height = frame.bottom - frame.top;
    // Integer division truncates toward zero, also for a negative margin.
    *x = area.left + (area.right - *width - area.left) / 2;
    *y = area.top + (area.bottom - *height - area.top) / 2;
    return true;
}
