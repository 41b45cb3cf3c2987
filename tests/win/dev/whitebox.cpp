// whitebox X Y W H MS: shows a white topmost borderless window at desktop (X, Y), W x H pixels,
// for MS milliseconds, then exits 0. Exit code 2 for bad arguments.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 6) return 2;
    int v[5];
    for (int i = 0; i < 5; ++i) {
        char* end = nullptr;
        const long n = std::strtol(argv[i + 1], &end, 10);
        if (*end != '\0' || n < -100000 || n > 100000) return 2;
        v[i] = static_cast<int>(n);
    }
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = "TavoriWhiteBox";
    if (!RegisterClassA(&wc)) return 1;
    HWND w = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, wc.lpszClassName, "", WS_POPUP | WS_VISIBLE, v[0],
                             v[1], v[2], v[3], nullptr, nullptr, wc.hInstance, nullptr);
    if (!w) return 1;
    UpdateWindow(w);
    const DWORD end = GetTickCount() + static_cast<DWORD>(v[4]);
    while (static_cast<LONG>(end - GetTickCount()) > 0) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(5);
    }
    DestroyWindow(w);
    return 0;
}
