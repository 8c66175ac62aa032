// Places a dialog in the middle of the work area (the screen without the task
// bar). Used by all three dialogs of the program.
#pragma once

#include <windows.h>

// Computes the centred origin and the window's own size; the caller moves the
// window. False when the window's rectangle cannot be read; the outputs are
// then left alone. Nothing is clamped: a window larger than the work area gets
// an origin before the area's start.
bool CenterWindow(HWND window, int* x, int* y, int* width, int* height);
