// TUIO as an independent receiver on the host sees it: oscdump (liblo-tools) listening on Linux, the
// driver under Wine sending to it.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "DriverHarness.h"
#include "VirtualRig.h"

using namespace e2e;

namespace {
// One message as oscdump prints it: "<time tag> /tuio/2Dcur <type tags> "<command>" <arguments>".
struct Message {
    std::string address, tags, command;
    std::vector<double> args;
};

// oscdump on the host on a free UDP port, its lines in a file; ended with the object.
class HostReceiver {
public:
    explicit HostReceiver(const std::string& file) : m_file(file) {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        m_socket = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof a;
        bind(m_socket, reinterpret_cast<sockaddr*>(&a), size);
        getsockname(m_socket, reinterpret_cast<sockaddr*>(&a), &size);
        m_to = a;
        port = ntohs(a.sin_port);
        closesocket(m_socket);  // the port is oscdump's now; this socket only sends
        m_socket = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        RunOnHost(TAVORI_OSC_RECEIVER " start " + std::to_string(port) + " " + HostPath(m_file));
    }
    ~HostReceiver() {
        RunOnHost(TAVORI_OSC_RECEIVER " stop " + HostPath(m_file));
        WaitFor([&] { return GetFileAttributesA((m_file + ".pid").c_str()) == INVALID_FILE_ATTRIBUTES; }, 5000);
        closesocket(m_socket);
        WSACleanup();
    }
    // oscdump answers: a probe of ours comes out in its lines.
    bool Listening() {
        static const char probe[] = "/probe\0\0,\0\0\0";
        return WaitFor([&] {
            sendto(m_socket, probe, sizeof probe - 1, 0, reinterpret_cast<const sockaddr*>(&m_to), sizeof m_to);
            Sleep(50);
            return !Messages().empty();
        }, 5000);
    }
    // Every whole line so far, read as a message.
    std::vector<Message> Messages() const {
        std::ifstream in(m_file, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<Message> out;
        std::istringstream lines(text.substr(0, text.rfind('\n') + 1));
        for (std::string line; std::getline(lines, line);) {
            std::istringstream words(line);
            Message m;
            std::string time, command;
            words >> time >> m.address >> m.tags >> command;
            m.command = command.size() >= 2 ? command.substr(1, command.size() - 2) : command;
            for (double v; words >> v;) m.args.push_back(v);
            out.push_back(m);
        }
        return out;
    }
    int port = 0;

private:
    std::string m_file;
    SOCKET m_socket;
    sockaddr_in m_to{};
};

// The driver's bundles (the probe left out): each one message list, from "source" to "fseq".
std::vector<std::vector<Message>> Bundles(const std::vector<Message>& messages) {
    std::vector<std::vector<Message>> out;
    for (const Message& m : messages) {
        if (m.address != "/tuio/2Dcur") continue;
        if (m.command == "source" || out.empty()) out.emplace_back();
        out.back().push_back(m);
    }
    return out;
}

// TUIO's 0..1 back in desktop pixels (pixel centres at whole numbers).
double PixelX(double x) { return x * GetSystemMetrics(SM_CXVIRTUALSCREEN) - 0.5 + GetSystemMetrics(SM_XVIRTUALSCREEN); }
double PixelY(double y) { return y * GetSystemMetrics(SM_CYVIRTUALSCREEN) - 0.5 + GetSystemMetrics(SM_YVIRTUALSCREEN); }

double DistanceToSegment(double x, double y, double x0, double y0, double x1, double y1) {
    const double dx = x1 - x0, dy = y1 - y0;
    const double t = std::clamp(((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(x - x0 - t * dx, y - y0 - t * dy);
}

// The bundles after the first `from` until one whose alive list has `count` sessions.
bool WaitForAlive(const HostReceiver& r, size_t count, size_t from, DWORD timeoutMs = 5000) {
    return WaitFor([&] {
        const auto bundles = Bundles(r.Messages());
        for (size_t i = from; i < bundles.size(); ++i)
            if (bundles[i].size() > 1 && bundles[i][1].args.size() == count) return true;
        return false;
    }, timeoutMs);
}
}  // namespace

TEST(Tuio, AStrokeAndTwoPensReachAReceiverOnTheHost) {
    if (GetFileAttributesA("Z:\\usr\\bin\\oscdump") == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "oscdump is not installed on the host (Debian's liblo-tools; ./run setup installs it)";
    PenControl pen;
    CalibratedDriver d;
    HostReceiver receiver(d.folder.Path("oscdump.txt"));
    ASSERT_TRUE(receiver.Listening()) << "oscdump did not start";
    const std::string settings = "[System]\r\nSetPtCount=25\r\nSearchPtType=1\r\nTuio=1\r\nTuioPort=" +
                                 std::to_string(receiver.port) + "\r\n";
    ASSERT_TRUE(d.Start(settings.c_str()));
    ASSERT_TRUE(d.WaitUntilDetecting());

    // A stroke across the screen, then lifted.
    const double x0 = 400, y0 = 300, x1 = 1400, y1 = 800;
    size_t from = Bundles(receiver.Messages()).size();
    pen.Down(x0, y0);
    ASSERT_TRUE(WaitForAlive(receiver, 1, from)) << "no contact for the pen";
    for (int i = 1; i <= 50; ++i) {
        pen.Down(x0 + (x1 - x0) * i / 50, y0 + (y1 - y0) * i / 50);
        Sleep(20);
    }
    Sleep(200);
    pen.Up();
    ASSERT_TRUE(WaitForAlive(receiver, 0, from)) << "no empty alive after the lift";

    // Two pens at once, then both lifted.
    const size_t pairFrom = Bundles(receiver.Messages()).size();
    const double pens[2][2] = {{500, 500}, {1300, 650}};
    for (int i = 0; i < 2; ++i) pen.Set(i, true, pens[i][0], pens[i][1]);
    ASSERT_TRUE(WaitForAlive(receiver, 2, pairFrom)) << "no two contacts for two pens";
    Sleep(300);
    for (int i = 0; i < 2; ++i) pen.Set(i, false, pens[i][0], pens[i][1]);
    ASSERT_TRUE(WaitForAlive(receiver, 0, pairFrom)) << "no empty alive after the two pens lifted";

    const auto bundles = Bundles(receiver.Messages());
    // Every bundle: source, alive, sets, fseq, with their type tags; fseq never goes back.
    double lastFseq = 0;
    for (const auto& b : bundles) {
        ASSERT_GE(b.size(), 3u);
        EXPECT_EQ(b[0].command + " " + b[0].tags, "source ss");
        EXPECT_EQ(b[1].command + " " + b[1].tags, "alive s" + std::string(b[1].args.size(), 'i'));
        for (size_t i = 2; i + 1 < b.size(); ++i) EXPECT_EQ(b[i].command + " " + b[i].tags, "set sifffff");
        EXPECT_EQ(b.back().command + " " + b.back().tags, "fseq si");
        EXPECT_GE(b.back().args.at(0), lastFseq);
        lastFseq = b.back().args.at(0);
    }
    // The stroke: its sets lie on the pen's path.
    double sum = 0;
    int sets = 0;
    std::map<int, std::vector<double>> lastSet;  // of the two pens: session -> x, y
    for (size_t i = from; i < bundles.size(); ++i)
        for (const Message& m : bundles[i]) {
            if (m.command != "set") continue;
            if (i < pairFrom) {
                sum += DistanceToSegment(PixelX(m.args[1]), PixelY(m.args[2]), x0, y0, x1, y1);
                ++sets;
            } else {
                lastSet[static_cast<int>(m.args[0])] = {PixelX(m.args[1]), PixelY(m.args[2])};
            }
        }
    ASSERT_GT(sets, 20);
    printf("%d sets of the stroke, %.2f px from the pen's path on average\n", sets, sum / sets);
    EXPECT_LE(sum / sets, 1.0);
    // The two pens: each ends where it is held, in a session of its own.
    int sessionOf[2] = {-1, -1};
    for (const auto& [session, p] : lastSet)
        for (int i = 0; i < 2; ++i)
            if (std::hypot(p[0] - pens[i][0], p[1] - pens[i][1]) <= 2.0) sessionOf[i] = session;
    EXPECT_NE(sessionOf[0], -1) << "no contact at the first pen";
    EXPECT_NE(sessionOf[1], -1) << "no contact at the second pen";
    EXPECT_NE(sessionOf[0], sessionOf[1]);
    d.Quit();
}
