#include "output/TuioSender.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstring>

#include "config/Settings.h"
#include "win/Trace.h"

namespace {
constexpr int kMaxPens = 64;

uint64_t UnixMs() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    const uint64_t since1601 = (static_cast<uint64_t>(ft.dwHighDateTime) << 32 | ft.dwLowDateTime) / 10000;
    return since1601 - 11644473600000ull;
}

// "Tavori@<computer name>": receivers tell several drivers on one network apart by it.
std::string SourceName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    if (!GetComputerNameA(name, &size)) name[0] = 0;
    return std::string("Tavori@") + (name[0] ? name : "localhost");
}

// The virtual desktop, the rectangle that TUIO's 0..1 spans.
RECT VirtualDesktop() {
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    return RECT{left, top, left + GetSystemMetrics(SM_CXVIRTUALSCREEN), top + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

}  // namespace

std::unique_ptr<CTuioSender> CTuioSender::Create() {
    const CSystemSettings& s = g_Settings;
    if (!s.Tuio) return nullptr;
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
        TRACE("TUIO off: Winsock did not start");
        return nullptr;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(s.TuioPort);
    SOCKET sock = INVALID_SOCKET;
    if (getaddrinfo(s.TuioHost.c_str(), port.c_str(), &hints, &found) == 0 && found &&
        found->ai_addrlen <= sizeof(sockaddr_in))
        sock = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    u_long nonBlocking = 1;
    if (sock == INVALID_SOCKET || ioctlsocket(sock, FIONBIO, &nonBlocking) != 0) {
        TRACE("TUIO off: no socket for %s:%d", s.TuioHost.c_str(), s.TuioPort);
        if (sock != INVALID_SOCKET) closesocket(sock);
        if (found) freeaddrinfo(found);
        WSACleanup();
        return nullptr;
    }
    TRACE("TUIO to %s:%d", s.TuioHost.c_str(), s.TuioPort);
    std::unique_ptr<CTuioSender> sender(
        new CTuioSender(static_cast<uintptr_t>(sock), found->ai_addr, static_cast<int>(found->ai_addrlen), SourceName()));
    freeaddrinfo(found);
    return sender;
}

CTuioSender* CTuioSender::Instance() {
    static const std::unique_ptr<CTuioSender> sender = Create();
    return sender.get();
}

CTuioSender::CTuioSender(uintptr_t socket, const void* address, int addressSize, const std::string& source)
    : m_frames(source, FirstFrameSequence(UnixMs())), m_socket(socket), m_addressSize(addressSize) {
    std::memcpy(m_address, address, static_cast<size_t>(addressSize));
}

CTuioSender::~CTuioSender() {
    closesocket(static_cast<SOCKET>(m_socket));
    WSACleanup();
}

void CTuioSender::SendFrame(int camera, const _SDetectPoint* points, int count, int32_t originX, int32_t originY,
                            uint32_t nowMs) {
    // Pixel centres are whole numbers: the desktop spans from half a pixel before its first
    // pixel's centre to half a pixel after its last one's.
    const RECT d = VirtualDesktop();
    const float w = static_cast<float>(d.right - d.left), h = static_cast<float>(d.bottom - d.top);
    if (w <= 0 || h <= 0) return;
    TuioPen pens[kMaxPens];
    const int n = count < 0 ? 0 : (count > kMaxPens ? kMaxPens : count);
    for (int i = 0; i < n; ++i)
        pens[i] = {points[i].id, (static_cast<float>(points[i].x + originX - d.left) + 0.5f) / w,
                   (static_cast<float>(points[i].y + originY - d.top) + 0.5f) / h};

    std::lock_guard<std::mutex> lock(m_lock);
    const size_t packets = m_frames.Frame(camera, pens, static_cast<size_t>(n), nowMs);
    for (size_t i = 0; i < packets; ++i) {
        const std::vector<uint8_t>& p = m_frames.Packet(i);
        if (sendto(static_cast<SOCKET>(m_socket), reinterpret_cast<const char*>(p.data()), static_cast<int>(p.size()), 0,
                   reinterpret_cast<const sockaddr*>(m_address), m_addressSize) == SOCKET_ERROR &&
            m_dropped++ % 1000 == 0)
            TRACE("TUIO packet dropped (error %d, %lu so far)", WSAGetLastError(), static_cast<unsigned long>(m_dropped));
    }
}
