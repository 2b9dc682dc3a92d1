#include "dialogs/dialogs.h"

void CenterOnScreen(HWND window) {
    RECT rect;
    if (!GetWindowRect(window, &rect)) return;
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    // Each size is halved on its own, so an odd window lands one pixel further
    // right or down than (screen - window) / 2 would put it.
    const int x = GetSystemMetrics(SM_CXSCREEN) / 2 - width / 2;
    const int y = GetSystemMetrics(SM_CYSCREEN) / 2 - height / 2;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}
