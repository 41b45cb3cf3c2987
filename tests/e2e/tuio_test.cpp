// TUIO as an independent receiver on the host sees it: oscdump (liblo-tools) on Linux, the driver
// under Wine sending to it.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "VirtualRig.h"

using namespace e2e;

namespace {
// The bundles oscdump printed ("<time> /tuio/2Dcur <tags> "<command>" <arguments>"), each from its
// source to its fseq; a message as "command tags" and its numbers.
using Message = std::pair<std::string, std::vector<double>>;
std::vector<std::vector<Message>> Bundles(const std::string& file) {
    std::ifstream in(file);
    std::vector<std::vector<Message>> out;
    for (std::string line, time, address, tags, command; std::getline(in, line);) {
        std::istringstream words(line);
        Message m;
        words >> time >> address >> tags >> command;
        m.first = command.substr(1, command.size() - 2) + " " + tags;
        for (double v; words >> v;) m.second.push_back(v);
        if (m.first == "source ss" || out.empty()) out.emplace_back();
        out.back().push_back(m);
    }
    return out;
}

// A bundle after the first `from` whose alive list has `count` sessions.
bool WaitForAlive(const std::string& file, size_t count, size_t from) {
    return WaitFor([&] {
        const auto b = Bundles(file);
        return std::any_of(b.begin() + static_cast<long>(std::min(from, b.size())), b.end(),
                           [&](const auto& m) { return m.size() > 1 && m[1].second.size() == count; });
    }, 5000);
}
}  // namespace

TEST(Tuio, AStrokeAndTwoPensReachAReceiverOnTheHost) {
    if (GetFileAttributesA("Z:\\usr\\bin\\oscdump") == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "oscdump is not installed on the host (Debian's liblo-tools; ./run setup installs it)";
    Rig d;
    const std::string dump = d.folder.Path("oscdump.txt");
    struct Receiver {
        std::string file;
        ~Receiver() { RunOnHost(TAVORI_OSC_RECEIVER " stop " + file); }
    } receiver{HostPath(dump)};
    RunOnHost(TAVORI_OSC_RECEIVER " start " + receiver.file);
    int port = 0;
    ASSERT_TRUE(WaitFor([&] { return bool(std::ifstream(dump + ".port") >> port); }, 10000)) << "oscdump did not start";
    ASSERT_TRUE(d.Start(("[System]\r\nSetPtCount=25\r\nSearchPtType=1\r\nTuio=1\r\nTuioPort=" + std::to_string(port)).c_str()));

    // A stroke from (400, 300) to (1400, 800), lifted; then two pens at once, lifted.
    const size_t from = Bundles(dump).size();
    d.pen.Down(400, 300);
    ASSERT_TRUE(WaitForAlive(dump, 1, from)) << "no contact for the pen";
    d.pen.Stroke(420, 310, 20, 10, 49);
    d.pen.Up();
    ASSERT_TRUE(WaitForAlive(dump, 0, from)) << "no empty alive after the lift";
    const size_t pairFrom = Bundles(dump).size();
    for (int i = 0; i < 2; ++i) d.pen.Set(i, true, 500 + 800 * i, 500);
    ASSERT_TRUE(WaitForAlive(dump, 2, pairFrom)) << "no two contacts for two pens";
    for (int i = 0; i < 2; ++i) d.pen.Set(i, false, 500 + 800 * i, 500);
    ASSERT_TRUE(WaitForAlive(dump, 0, pairFrom)) << "no empty alive after the two pens lifted";

    // Every bundle: source, alive, sets, fseq; the stroke's sets on the pen's path, TUIO's 0..1 back
    // in desktop pixels (pixel centres at whole numbers); the two pens' sessions distinct.
    const auto bundles = Bundles(dump);
    const double w = GetSystemMetrics(SM_CXVIRTUALSCREEN), h = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    double sum = 0;
    int sets = 0;
    for (size_t i = 0; i < bundles.size(); ++i) {
        const auto& b = bundles[i];
        ASSERT_GE(b.size(), 3u);
        EXPECT_EQ(b[1].first, "alive s" + std::string(b[1].second.size(), 'i'));
        EXPECT_EQ(b.back().first, "fseq si");
        EXPECT_TRUE(b[1].second.size() != 2 || b[1].second[0] != b[1].second[1]) << "two pens, one session";
        for (size_t k = 2; k + 1 < b.size(); ++k) {
            ASSERT_EQ(b[k].first, "set sifffff");
            const double x = b[k].second[1] * w - 0.5 - 400, y = b[k].second[2] * h - 0.5 - 300;
            const double t = std::clamp((x * 1000 + y * 500) / (1000.0 * 1000 + 500 * 500), 0.0, 1.0);
            if (i >= from && i < pairFrom) sum += std::hypot(x - t * 1000, y - t * 500), ++sets;
        }
    }
    ASSERT_GT(sets, 20);
    printf("%d sets of the stroke, %.2f px from the pen's path on average\n", sets, sum / sets);
    EXPECT_LE(sum / sets, 1.0);
}
