// The TUIO output's cost per camera frame: building the frame's bundle and sending it as a
// non-blocking UDP datagram, against the detector's own time on a 640x480 frame.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "output/TuioFrames.h"
#include "summary.h"

namespace {
constexpr int kPens = 2;

// Two pens moving every frame: each frame changes, so each builds and sends a bundle.
void TuioFrame(benchmark::State& state, bool send) {
    CTuioFrames frames("Tavori@bench", FirstFrameSequence(0));
    // A receiver of our own on loopback (never read: once its buffer is full the system drops,
    // as it would for a receiver that fell behind).
    const int rx = socket(AF_INET, SOCK_DGRAM, 0), tx = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof to;
    bind(rx, reinterpret_cast<sockaddr*>(&to), size);
    getsockname(rx, reinterpret_cast<sockaddr*>(&to), &size);
    fcntl(tx, F_SETFL, O_NONBLOCK);
    uint32_t ms = 0;
    TuioPen pens[kPens];
    for (auto _ : state) {
        ms += 16;
        for (int i = 0; i < kPens; ++i) pens[i] = {i, static_cast<float>(ms % 1000) / 1000.0f, 0.25f + 0.5f * static_cast<float>(i)};
        const size_t n = frames.Frame(0, pens, kPens, ms);
        for (size_t i = 0; i < n && send; ++i)
            benchmark::DoNotOptimize(sendto(tx, frames.Packet(i).data(), frames.Packet(i).size(), 0,
                                            reinterpret_cast<const sockaddr*>(&to), sizeof to));
        benchmark::DoNotOptimize(n);
    }
    close(rx);
    close(tx);
}

const bool registered = [] {
    benchmark::RegisterBenchmark("tuio/BuildFrame/2pens", TuioFrame, false);
    benchmark::RegisterBenchmark("tuio/BuildAndSendFrame/2pens", TuioFrame, true);
    return true;
}();
}  // namespace

TAVORI_BENCH_REPORT(tuioReport) {
    const std::string area = "tuio";
    const double build = bench::nsPerIteration("tuio/BuildFrame/2pens");
    const double sent = bench::nsPerIteration("tuio/BuildAndSendFrame/2pens");
    const double detector = bench::nsPerIteration("irlight/FindWinPoint/640x480");
    if (build <= 0 || sent <= 0 || detector <= 0) return;
    bench::note(area, "a camera frame of two moving pens; sent as a non-blocking datagram to a loopback receiver");
    bench::record(area, "build a frame", build / 1000, "us", build / detector, "IRLFindWinPoint 640x480");
    bench::record(area, "build and send a frame", sent / 1000, "us", sent / detector, "IRLFindWinPoint 640x480");
}
