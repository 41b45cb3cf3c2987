// Started by wine-env. Its optional argument names a file created once its window exists: by then
// this process, not a test, has started Wine's services and desktop, so none of those long-lived
// processes holds a test's output pipes open (ctest waits for them until its time-out). The network
// service that Winsock's first datagram starts is one of them.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <string>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR cmdLine, int) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = instance;
    wc.lpszClassName = "TavoriTestKeepAlive";
    RegisterClassA(&wc);
    CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
    WSADATA wsa;
    addrinfo* to = nullptr;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) == 0 && getaddrinfo("127.0.0.1", "9", nullptr, &to) == 0) {
        const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        sendto(s, "", 0, 0, to->ai_addr, static_cast<int>(to->ai_addrlen));
        closesocket(s);
        freeaddrinfo(to);
    }
    std::string ready = cmdLine ? cmdLine : "";
    if (ready.size() >= 2 && ready.front() == '"' && ready.back() == '"') ready = ready.substr(1, ready.size() - 2);
    if (!ready.empty()) {
        HANDLE file = CreateFileA(ready.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    return 0;
}
