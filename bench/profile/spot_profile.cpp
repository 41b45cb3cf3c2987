// Instruction counts of a spot, for callgrind: the benchmark's two-pen and 32-pen frames detected a
// fixed number of times each, in functions of their own, without the timing runs and reports of
// tavori_bench (which callgrind would slow to minutes). A count does not move with the machine's load.
//   valgrind --tool=callgrind --toggle-collect='*detectFrame*' spot_profile [WIDTH HEIGHT [PENS [apart]]]
//   callgrind_annotate --inclusive=yes callgrind.out.*
// A sampling profiler (perf record -e cpu-clock) needs the frames detected more often than the
// rendering costs: give the calls as a fifth argument.
// The spot's cost is (Ir per 32-pen call - Ir per two-pen call) / 30; the program prints the calls.
// The benchmark's pens stand eight to a band of rows, which share the screening of their lit rows;
// with "apart" each pen has rows of its own, as one or two pens in use have.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "detector.h"
#include "scenes.h"
#include "synth.h"

namespace {

constexpr int kCalls = 200;

// Kept out of line and apart (noipa: no merging of the two alike bodies) so that callgrind counts
// each frame's calls apart.
__attribute__((noipa)) int detectFrame(tavori::irl::SpotDetector& det, const tavori::irl::ImageView& view) {
    tavori::irl::Spot out[tavori::irl::SpotDetector::kMaxSpots];
    return det.detect(view, tavori::irl::DetectParams{}, out);
}

// Its own call of detect: a call of detectFrame inside it would toggle the collection off there.
__attribute__((noipa)) int detectFrameMany(tavori::irl::SpotDetector& det, const tavori::irl::ImageView& view) {
    tavori::irl::Spot out[tavori::irl::SpotDetector::kMaxSpots];
    const int n = det.detect(view, tavori::irl::DetectParams{}, out);
    return n;
}

}  // namespace

int main(int argc, char** argv) {
    const int w = argc > 2 ? std::atoi(argv[1]) : 640, h = argc > 2 ? std::atoi(argv[2]) : 480;
    const int pens = argc > 3 ? std::atoi(argv[3]) : 32;
    const bool apart = argc > 4 && std::string(argv[4]) == "apart";
    const int calls = argc > 5 ? std::atoi(argv[5]) : kCalls;
    if (w < 64 || h < 64 || pens < 1 || pens > 32 || calls < 1) return 2;
    synth::Frame two(static_cast<uint32_t>(w), static_cast<uint32_t>(h)), many(static_cast<uint32_t>(w), static_cast<uint32_t>(h));
    synth::render(two, bench::twoPenScene(w, h));
    // The scene of the benchmark's DetectManyPens.
    synth::Scene sc;
    sc.background = 12;
    sc.gradientX = 20.0 / w;
    sc.noise = 2;
    for (int k = 0; k < pens; ++k)
        sc.spots.push_back({w * (0.06 + 0.11 * (k % 8)) + 0.3,
                            apart ? h * (0.03 + 0.94 * k / pens) + 0.6 : h * (0.15 + 0.23 * (k / 8)) + 0.6,
                            1.2 + 0.1 * (k % 4), 400.0 + 50 * (k % 5)});
    synth::render(many, sc);
    tavori::irl::SpotDetector det;
    det.configure(w, h);
    const tavori::irl::ImageView a{two.get()->pData, w, h, static_cast<std::ptrdiff_t>(two.stride())};
    const tavori::irl::ImageView b{many.get()->pData, w, h, static_cast<std::ptrdiff_t>(many.stride())};
    int na = 0, nb = 0;
    for (int i = 0; i < calls; ++i) na = detectFrame(det, a);
    for (int i = 0; i < calls; ++i) nb = detectFrameMany(det, b);
    std::printf("%dx%d: %d calls each; %d spots on the two-pen frame, %d on the %d-pen frame\n", w, h, calls, na, nb, pens);
    return na == 2 && nb == pens ? 0 : 1;
}
