// The scene is compared as edge strength (|d/dx| + |d/dy| of the grey image, on cells of 4 x 4
// camera pixels for a 640 x 480 camera): edges of the room and the screen's frame stay where they
// are whatever the exposure does to their brightness, and a gain and an offset are fitted besides.
// The screen's inside and a margin around it are left out altogether rather than down-weighted: a
// slide's own edges, and the screen's border itself (there only while the slide is lit to its
// edge), are content, and a small weight on a large area still pulls the estimate.
//
// The match: Gauss-Newton over shift, turn, size, gain and offset on a few hundred edge cells of
// the reference, from no move at all; only when that does not find the scene, first normalised
// correlation over whole shifts of cells twice as large (+-32 camera pixels). Phase correlation
// would need the whole grid, windowed, and would see the masked screen as structure of its own;
// the fit here costs about seven detector calls, once every few seconds.
#include "SceneDrift.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "mapping.h"

namespace tavori::irl {
namespace {

constexpr int kTargetCells = 160;         // cells across: the scale follows the camera's width
constexpr int kBorder = 3;                // cells at the grid's edge that never count
constexpr double kScreenMargin = 0.04;    // of the screen's size, left out around it
constexpr int kMinEdgeCells = 60;         // structure to watch: edge cells outside the screen
constexpr float kMinStructure = 6.0f;     // grey levels of edge strength: above camera noise
constexpr double kMinCorrelation = 0.5;   // the structure found again
constexpr int kCoarseRange = 4;           // +-cells of the half grid: +-8 cells
constexpr int kMaxSide = 4096;
constexpr size_t kFitCells = 600;          // edge cells the fine fit uses at most

using Grid = std::vector<float>;

bool FrameFits(const SCapFrame& f) {
    if (!f.pData || f.nBitCount != 24 || f.nWidth < 32 || f.nHeight < 32) return false;
    if (f.nWidth > 16384 || f.nHeight > 16384) return false;
    return static_cast<uint64_t>(SCapFrameStride(f.nWidth)) * f.nHeight <= f.nSize;
}

// Mean green of each scale x scale cell (an infrared camera's channels are alike), then its edge
// strength, then a 3 x 3 box: smooth enough for the Gauss-Newton steps to see a cell or two away.
void EdgeGrid(const SCapFrame& f, int s, int W, int H, Grid& edges) {
    Grid grey(static_cast<size_t>(W) * H, 0.0f);
    const uint32_t stride = SCapFrameStride(f.nWidth);
    std::vector<uint32_t> sums(static_cast<size_t>(W));
    // Two rows and two columns of each cell are read (every other one from a quarter in): the
    // lens blurs more than that leaves out, and it is a quarter of the reading.
    const int step = std::max(1, s / 2), samples = s / step;
    const float norm = 1.0f / static_cast<float>(samples * samples);
    for (int cy = 0; cy < H; ++cy) {
        std::fill(sums.begin(), sums.end(), 0u);
        for (int r = 0; r < samples; ++r) {
            const uint8_t* row = f.pData + static_cast<size_t>(cy * s + r * step + step / 2) * stride + 1;
            for (int cx = 0; cx < W; ++cx) {
                uint32_t acc = 0;
                for (int k = 0; k < samples; ++k) acc += row[3 * (cx * s + k * step + step / 2)];
                sums[static_cast<size_t>(cx)] += acc;
            }
        }
        float* g = grey.data() + static_cast<size_t>(cy) * W;
        for (int cx = 0; cx < W; ++cx) g[cx] = static_cast<float>(sums[static_cast<size_t>(cx)]) * norm;
    }
    Grid e(grey.size(), 0.0f);
    for (int y = 1; y + 1 < H; ++y)
        for (int x = 1; x + 1 < W; ++x) {
            const float* g = grey.data() + static_cast<size_t>(y) * W + x;
            e[static_cast<size_t>(y) * W + x] = std::fabs(g[1] - g[-1]) + std::fabs(g[W] - g[-W]);
        }
    // The box, separably: along rows into `grey` (free by now), then down the columns.
    for (int y = 0; y < H; ++y)
        for (int x = 1; x + 1 < W; ++x) {
            const float* r = e.data() + static_cast<size_t>(y) * W + x;
            grey[static_cast<size_t>(y) * W + x] = r[-1] + r[0] + r[1];
        }
    edges.assign(e.size(), 0.0f);
    for (int y = 1; y + 1 < H; ++y)
        for (int x = 1; x + 1 < W; ++x) {
            const float* c = grey.data() + static_cast<size_t>(y) * W + x;
            edges[static_cast<size_t>(y) * W + x] = (c[-W] + c[0] + c[W]) * (1.0f / 9.0f);
        }
}

// Half the size: each cell the mean of four, counted only when all four count.
void Halve(const Grid& g, const std::vector<uint8_t>& w, int W, int H, Grid& out, std::vector<uint8_t>& outW) {
    const int w2 = W / 2, h2 = H / 2;
    out.assign(static_cast<size_t>(w2) * h2, 0.0f);
    outW.assign(out.size(), 0);
    for (int y = 0; y < h2; ++y)
        for (int x = 0; x < w2; ++x) {
            const size_t a = static_cast<size_t>(2 * y) * W + 2 * x;
            out[static_cast<size_t>(y) * w2 + x] = 0.25f * (g[a] + g[a + 1] + g[a + W] + g[a + W + 1]);
            outW[static_cast<size_t>(y) * w2 + x] = w[a] & w[a + 1] & w[a + W] & w[a + W + 1];
        }
}

// The counted cells of a grid, as positions: the searches visit only these.
struct Cell {
    int32_t x, y;
    float a;
};
std::vector<Cell> Counted(const Grid& g, const std::vector<uint8_t>& w, int W, int H) {
    std::vector<Cell> cells;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            if (w[static_cast<size_t>(y) * W + x]) cells.push_back({x, y, g[static_cast<size_t>(y) * W + x]});
    return cells;
}

// Normalised correlation of the reference's counted cells with the frame shifted by (u, v).
double Correlation(const std::vector<Cell>& ref, const Grid& cur, int W, int H, int u, int v) {
    double sa = 0, sb = 0, sab = 0, saa = 0, sbb = 0;
    int n = 0;
    for (const Cell& c : ref) {
        const int x = c.x + u, y = c.y + v;
        if (x < 0 || y < 0 || x >= W || y >= H) continue;
        const double p = c.a, q = cur[static_cast<size_t>(y) * W + x];
        sa += p, sb += q, sab += p * q, saa += p * p, sbb += q * q, ++n;
    }
    if (n < 16) return -1;
    const double va = saa - sa * sa / n, vb = sbb - sb * sb / n;
    return va > 1e-9 && vb > 1e-9 ? (sab - sa * sb / n) / std::sqrt(va * vb) : -1;
}

// The best integer shift within +-range of (u0, v0).
void BestShift(const std::vector<Cell>& ref, const Grid& cur, int W, int H, int u0, int v0, int range, int& bu, int& bv,
               double& best) {
    best = -2;
    bu = u0, bv = v0;
    for (int v = v0 - range; v <= v0 + range; ++v)
        for (int u = u0 - range; u <= u0 + range; ++u) {
            const double c = Correlation(ref, cur, W, H, u, v);
            if (c > best) best = c, bu = u, bv = v;
        }
}

float Bilinear(const Grid& g, int W, double x, double y) {
    const int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
    const float fx = static_cast<float>(x - x0), fy = static_cast<float>(y - y0);
    const float* p = g.data() + static_cast<size_t>(y0) * W + x0;
    return (p[0] * (1 - fx) + p[1] * fx) * (1 - fy) + (p[W] * (1 - fx) + p[W + 1] * fx) * fy;
}

// The cells the fine fit uses: counted ones on an edge's flank, where the edge strength changes.
std::vector<uint32_t> EdgeCells(const SceneReference& ref) {
    const int W = ref.width, H = ref.height;
    std::vector<uint32_t> cells;
    float peak = 0;
    for (size_t i = 0; i < ref.edges.size(); ++i)
        if (ref.weight[i]) peak = std::max(peak, ref.edges[i]);
    const float floor = std::max(0.15f * peak, 1.0f);
    for (int y = 1; y + 1 < H; ++y)
        for (int x = 1; x + 1 < W; ++x) {
            const size_t i = static_cast<size_t>(y) * W + x;
            if (!ref.weight[i]) continue;
            const float* e = ref.edges.data() + i;
            if (std::fabs(e[1] - e[-1]) + std::fabs(e[W] - e[-W]) >= floor) cells.push_back(static_cast<uint32_t>(i));
        }
    return cells;
}

uint32_t Fnv(const uint8_t* p, size_t n, uint32_t h = 2166136261u) {
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 16777619u;
    return h;
}

// The fine fit: cur(warp(q)) = a ref(q) + b over the edge cells q, with
// warp(q) = q + d + t perp(q - c) / R + k (q - c) / R; p = dx, dy (cells), t, k, a, b.
struct Fine {
    const SceneReference& ref;
    const std::vector<uint32_t>& cells;
    const Grid &cur, &gx, &gy;
    int W, H;

    bool Warp(const double* p, uint32_t i, double& wx, double& wy, double& qx, double& qy) const {
        const double cx = 0.5 * (W - 1), cy = 0.5 * (H - 1), R = 0.5 * W;
        qx = (static_cast<int>(i % static_cast<uint32_t>(W)) - cx) / R;
        qy = (static_cast<int>(i / static_cast<uint32_t>(W)) - cy) / R;
        wx = cx + qx * R + p[0] - p[2] * qy + p[3] * qx;
        wy = cy + qy * R + p[1] + p[2] * qx + p[3] * qy;
        return wx >= 1 && wy >= 1 && wx < W - 2 && wy < H - 2;
    }
    // Gauss-Newton from p; true when it converged and the scene is found where it puts it.
    bool Fit(double* p) const {
        const double R = 0.5 * W;
        bool converged = false;
        for (int iter = 0; iter < 10 && !converged; ++iter) {
            double A[6][6] = {}, b[6] = {};
            int n = 0;
            for (uint32_t i : cells) {
                double wx, wy, qx, qy;
                if (!Warp(p, i, wx, wy, qx, qy)) continue;
                const double ex = Bilinear(gx, W, wx, wy), ey = Bilinear(gy, W, wx, wy);
                const double e = ref.edges[i];
                const double res = Bilinear(cur, W, wx, wy) - (p[4] * e + p[5]);
                const double j[6] = {ex, ey, -ex * qy + ey * qx, ex * qx + ey * qy, -e, -1};
                for (int r = 0; r < 6; ++r) {
                    for (int c = r; c < 6; ++c) A[r][c] += j[r] * j[c];
                    b[r] -= j[r] * res;
                }
                ++n;
            }
            if (n < kMinEdgeCells) return false;
            for (int r = 0; r < 6; ++r)
                for (int c = 0; c < r; ++c) A[r][c] = A[c][r];
            if (!solve(&A[0][0], b, 6, 1)) return false;
            for (int k = 0; k < 6; ++k) p[k] += b[k];
            if (std::fabs(p[0]) > W / 4.0 || std::fabs(p[1]) > H / 4.0 || std::fabs(p[2]) > 0.3 * R || std::fabs(p[3]) > 0.3 * R)
                return false;
            converged = std::fabs(b[0]) + std::fabs(b[1]) + std::fabs(b[2]) + std::fabs(b[3]) < 0.02;
        }
        double sa = 0, sb = 0, sab = 0, saa = 0, sbb = 0;
        int n = 0;
        for (uint32_t i : cells) {
            double wx, wy, qx, qy;
            if (!Warp(p, i, wx, wy, qx, qy)) continue;
            const double a = ref.edges[i], c = Bilinear(cur, W, wx, wy);
            sa += a, sb += c, sab += a * c, saa += a * a, sbb += c * c, ++n;
        }
        if (!converged || n < kMinEdgeCells) return false;
        const double va = saa - sa * sa / n, vb = sbb - sb * sb / n;
        return va > 1e-9 && vb > 1e-9 && (sab - sa * sb / n) / std::sqrt(va * vb) >= kMinCorrelation;
    }
};

}  // namespace

bool SceneReference::Usable() const {
    const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
    return width >= 16 && height >= 16 && scale >= 1 && width <= kMaxSide && height <= kMaxSide &&
           static_cast<int64_t>(width) * scale <= cameraWidth && static_cast<int64_t>(height) * scale <= cameraHeight &&
           edges.size() == n && weight.size() == n;
}

uint32_t SceneCalibrationTag(const _SCalibration& cal) {
    // The points and the rectangle's size: what every place the record is kept in holds alike.
    const uint32_t count = std::min<uint32_t>(cal.lPtCount, 36);
    uint32_t words[3 + 72] = {cal.lWinWidth, cal.lWinHeight, count};
    for (uint32_t i = 0; i < count; ++i) words[3 + 2 * i] = cal.x[i], words[4 + 2 * i] = cal.y[i];
    return Fnv(reinterpret_cast<const uint8_t*>(words), sizeof words);
}

bool MakeSceneReference(const SCapFrame& frame, const _SCalibration& cal, SceneReference& out) {
    out = SceneReference{};
    if (!FrameFits(frame)) return false;
    const int cw = static_cast<int>(frame.nWidth), ch = static_cast<int>(frame.nHeight);
    MappingOptions fast;
    fast.withinRounding = false;
    CameraMapping mapping;
    if (!mapping.fit(cal, cw, ch, fast)) return false;
    SceneReference r;
    r.scale = std::max(1, cw / kTargetCells);
    r.width = cw / r.scale, r.height = ch / r.scale;
    r.cameraWidth = cw, r.cameraHeight = ch;
    r.calibrationTag = SceneCalibrationTag(cal);
    const double sw = mapping.screenWidth(), sh = mapping.screenHeight();
    const double corner[8] = {-0.5, -0.5, sw - 0.5, -0.5, sw - 0.5, sh - 0.5, -0.5, sh - 0.5};
    for (int k = 0; k < 4; ++k) {
        double x = 0, y = 0;
        if (!mapping.project(corner[2 * k], corner[2 * k + 1], x, y)) return false;
        r.corners[2 * k] = static_cast<float>(x), r.corners[2 * k + 1] = static_cast<float>(y);
    }
    EdgeGrid(frame, r.scale, r.width, r.height, r.edges);
    r.weight.assign(r.edges.size(), 0);
    const double mx = kScreenMargin * sw, my = kScreenMargin * sh;
    for (int y = kBorder; y < r.height - kBorder; ++y)
        for (int x = kBorder; x < r.width - kBorder; ++x) {
            double sx = 0, sy = 0;
            const double px = (x + 0.5) * r.scale - 0.5, py = (y + 0.5) * r.scale - 0.5;
            // A place the mapping cannot take back lies far from the screen.
            const bool onScreen = mapping.map(px, py, sx, sy) && sx > -mx && sx < sw + mx && sy > -my && sy < sh + my;
            r.weight[static_cast<size_t>(y) * r.width + x] = onScreen ? 0 : 1;
        }
    float peak = 0;
    for (size_t i = 0; i < r.edges.size(); ++i)
        if (r.weight[i]) peak = std::max(peak, r.edges[i]);
    if (peak < kMinStructure || static_cast<int>(EdgeCells(r).size()) < kMinEdgeCells) return false;
    out = std::move(r);
    return true;
}

SceneShift MeasureSceneShift(const SceneReference& ref, const SCapFrame& frame) {
    SceneShift result;
    if (!ref.Usable() || !FrameFits(frame) || static_cast<int>(frame.nWidth) != ref.cameraWidth ||
        static_cast<int>(frame.nHeight) != ref.cameraHeight)
        return result;
    const int W = ref.width, H = ref.height;
    Grid cur;
    EdgeGrid(frame, ref.scale, W, H, cur);

    // Neighbouring edge cells say nearly the same: a thousand or so spread over the scene suffice.
    std::vector<uint32_t> cells = EdgeCells(ref);
    if (cells.size() > kFitCells) {
        const size_t step = (cells.size() + kFitCells - 1) / kFitCells;
        size_t kept = 0;
        for (size_t i = 0; i < cells.size(); i += step) cells[kept++] = cells[i];
        cells.resize(kept);
    }
    Grid gx(cur.size(), 0.0f), gy(cur.size(), 0.0f);
    for (int y = 1; y + 1 < H; ++y)
        for (int x = 1; x + 1 < W; ++x) {
            const size_t i = static_cast<size_t>(y) * W + x;
            gx[i] = 0.5f * (cur[i + 1] - cur[i - 1]);
            gy[i] = 0.5f * (cur[i + W] - cur[i - W]);
        }
    const Fine fine{ref, cells, cur, gx, gy, W, H};
    // A camera that stays (nearly always): the fit from no move at all. Only when that finds the
    // scene elsewhere, or not at all, the search over larger moves, then the fit from there.
    double p[6] = {0, 0, 0, 0, 1, 0};
    if (!fine.Fit(p) || std::fabs(p[0]) > 1.5 || std::fabs(p[1]) > 1.5) {
        Grid r2, c2;
        std::vector<uint8_t> w2, ones(cur.size(), 1), o2;  // the frame's own weights are unused
        Halve(ref.edges, ref.weight, W, H, r2, w2);
        Halve(cur, ones, W, H, c2, o2);
        int u = 0, v = 0;
        double best = 0;
        BestShift(Counted(r2, w2, W / 2, H / 2), c2, W / 2, H / 2, 0, 0, kCoarseRange, u, v, best);
        if (best < kMinCorrelation) return result;
        const double from[6] = {2.0 * u, 2.0 * v, 0, 0, 1, 0};
        std::copy(from, from + 6, p);
        if (!fine.Fit(p)) return result;
    }
    const double cx = 0.5 * (W - 1), cy = 0.5 * (H - 1), R = 0.5 * W;

    const double s = ref.scale;
    result.measured = true;
    result.dx = p[0] * s, result.dy = p[1] * s;
    result.angle = p[2] / R, result.scale = p[3] / R;
    // A corner's move: the same warp in camera pixels about the image's centre.
    const double ccx = (cx + 0.5) * s - 0.5, ccy = (cy + 0.5) * s - 0.5;
    for (int k = 0; k < 4; ++k) {
        const double qx = ref.corners[2 * k] - ccx, qy = ref.corners[2 * k + 1] - ccy;
        const double mx = result.dx - result.angle * qy + result.scale * qx;
        const double my = result.dy + result.angle * qx + result.scale * qy;
        result.worst = std::max(result.worst, std::hypot(mx, my));
    }
    return result;
}

// ---- File form ----------------------------------------------------------------------------
// "TVSR", version, the header's numbers, the corners, edges in 1/16 grey levels (16 bits), the
// weights, then an FNV-1a checksum of everything before it. Little-endian throughout.

namespace {
constexpr uint32_t kMagic = 0x52535654u;  // "TVSR"
constexpr uint32_t kVersion = 1;
constexpr size_t kHeaderWords = 8;

void Put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int k = 0; k < 4; ++k) b.push_back(static_cast<uint8_t>(v >> (8 * k)));
}
uint32_t Get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}
}  // namespace

std::vector<uint8_t> SerializeSceneReference(const SceneReference& ref) {
    std::vector<uint8_t> b;
    if (!ref.Usable()) return b;
    const uint32_t header[kHeaderWords] = {kMagic, kVersion, static_cast<uint32_t>(ref.width), static_cast<uint32_t>(ref.height),
                                           static_cast<uint32_t>(ref.scale), static_cast<uint32_t>(ref.cameraWidth),
                                           static_cast<uint32_t>(ref.cameraHeight), ref.calibrationTag};
    for (uint32_t w : header) Put32(b, w);
    for (float c : ref.corners) {
        uint32_t w;
        std::memcpy(&w, &c, 4);
        Put32(b, w);
    }
    for (float e : ref.edges) {
        const auto q = static_cast<uint16_t>(std::clamp(std::lround(e * 16.0f), 0L, 65535L));
        b.push_back(static_cast<uint8_t>(q)), b.push_back(static_cast<uint8_t>(q >> 8));
    }
    b.insert(b.end(), ref.weight.begin(), ref.weight.end());
    Put32(b, Fnv(b.data(), b.size()));
    return b;
}

bool ParseSceneReference(const uint8_t* data, size_t size, SceneReference& out) {
    out = SceneReference{};
    const size_t fixed = 4 * (kHeaderWords + 8);
    if (!data || size < fixed + 4 || Get32(data) != kMagic || Get32(data + 4) != kVersion) return false;
    if (Get32(data + size - 4) != Fnv(data, size - 4)) return false;
    SceneReference r;
    const uint32_t w = Get32(data + 8), h = Get32(data + 12);
    if (w > kMaxSide || h > kMaxSide) return false;
    const size_t cells = static_cast<size_t>(w) * h;
    if (size != fixed + 3 * cells + 4) return false;
    r.width = static_cast<int32_t>(w), r.height = static_cast<int32_t>(h);
    r.scale = static_cast<int32_t>(std::min<uint32_t>(Get32(data + 16), 1024));
    r.cameraWidth = static_cast<int32_t>(std::min<uint32_t>(Get32(data + 20), 16384));
    r.cameraHeight = static_cast<int32_t>(std::min<uint32_t>(Get32(data + 24), 16384));
    r.calibrationTag = Get32(data + 28);
    for (int k = 0; k < 8; ++k) {
        const uint32_t word = Get32(data + 4 * (kHeaderWords + k));
        std::memcpy(&r.corners[k], &word, 4);
        if (!std::isfinite(r.corners[k])) return false;
    }
    const uint8_t* e = data + fixed;
    r.edges.resize(cells);
    for (size_t i = 0; i < cells; ++i) r.edges[i] = static_cast<float>(e[2 * i] | e[2 * i + 1] << 8) / 16.0f;
    r.weight.assign(e + 2 * cells, e + 3 * cells);
    for (uint8_t& m : r.weight) m = m ? 1 : 0;
    if (!r.Usable()) return false;
    out = std::move(r);
    return true;
}

}  // namespace tavori::irl
