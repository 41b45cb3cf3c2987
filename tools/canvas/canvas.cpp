// A canvas that draws mouse strokes and logs every mouse event it receives, one line each:
//   <timeGetTime ms> <event> <x> <y>      events: down up move rdown rup
// Used by the end-to-end tests and the demo to see what the driver's mouse did.
//   canvas.exe LOGFILE [--title TEXT]
#include <windows.h>
#include <mmsystem.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {
HANDLE g_log = INVALID_HANDLE_VALUE;
bool g_drawing = false;
POINT g_last{};

void Log(const char* event, LPARAM lParam) {
    POINT p{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    char line[96];
    int n = snprintf(line, sizeof(line), "%lu %s %ld %ld\r\n", static_cast<unsigned long>(timeGetTime()), event,
                     static_cast<long>(p.x), static_cast<long>(p.y));
    DWORD written = 0;
    if (g_log != INVALID_HANDLE_VALUE) WriteFile(g_log, line, static_cast<DWORD>(n), &written, nullptr);
}

void Stroke(HWND hwnd, LPARAM lParam, COLORREF colour, int width) {
    POINT p{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    HDC dc = GetDC(hwnd);
    HPEN pen = CreatePen(PS_SOLID, width, colour);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, g_last.x, g_last.y, nullptr);
    LineTo(dc, p.x, p.y);
    SelectObject(dc, old);
    DeleteObject(pen);
    ReleaseDC(hwnd, dc);
    g_last = p;
}

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_LBUTTONDOWN:
        Log("down", lParam);
        g_drawing = true;
        g_last = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        Stroke(hwnd, lParam, RGB(255, 230, 80), 5);
        return 0;
    case WM_LBUTTONUP:
        Log("up", lParam);
        g_drawing = false;
        return 0;
    case WM_MOUSEMOVE:
        Log("move", lParam);
        if (g_drawing && (wParam & MK_LBUTTON)) Stroke(hwnd, lParam, RGB(255, 230, 80), 5);
        return 0;
    case WM_RBUTTONDOWN:
        Log("rdown", lParam);
        g_last = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        Stroke(hwnd, lParam, RGB(255, 60, 60), 14);
        return 0;
    case WM_RBUTTONUP:
        Log("rup", lParam);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: canvas LOGFILE [--title TEXT]\n");
        return 2;
    }
    std::string title = "Tavori canvas";
    for (int i = 2; i + 1 < argc; ++i)
        if (strcmp(argv[i], "--title") == 0) title = argv[++i];
    g_log = CreateFileA(argv[1], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (g_log == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "canvas: cannot write %s\n", argv[1]);
        return 1;
    }
    timeBeginPeriod(1);
    WNDCLASSA wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = "TavoriCanvas";
    RegisterClassA(&wc);
    // The primary screen but its last row, on top: every pen position but that row lands on the canvas.
    // A window in front that covers the whole screen makes Wine grab X's pointer, and X then refuses
    // every other program's moves: its pointer would stay where the driver put it before the canvas
    // came, and come back as a stray move in the middle of a stroke whenever X reports it.
    HWND hwnd = CreateWindowExA(WS_EX_TOPMOST, wc.lpszClassName, title.c_str(), WS_POPUP | WS_VISIBLE, 0, 0,
                                GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN) - 1, nullptr, nullptr,
                                wc.hInstance, nullptr);
    SetForegroundWindow(hwnd);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    CloseHandle(g_log);
    return 0;
}
