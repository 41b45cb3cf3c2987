#include "VcamModel.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace tavori::vcam {
namespace {

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

std::vector<std::string> Split(const std::string& s, bool (*isSep)(char)) {
    std::vector<std::string> parts;
    std::string cur;
    bool inToken = false;
    for (char ch : s) {
        if (isSep(ch)) {
            if (inToken) parts.push_back(cur);
            cur.clear();
            inToken = false;
        } else {
            cur += ch;
            inToken = true;
        }
    }
    if (inToken) parts.push_back(cur);
    return parts;
}

// Solves a (8 x 9 augmented) system by Gaussian elimination with partial pivoting.
bool Solve8(double a[8][9], double x[8]) {
    for (int c = 0; c < 8; ++c) {
        int p = c;
        for (int r = c + 1; r < 8; ++r)
            if (std::fabs(a[r][c]) > std::fabs(a[p][c])) p = r;
        if (!(std::fabs(a[p][c]) > 1e-12)) return false;
        if (p != c)
            for (int k = 0; k < 9; ++k) std::swap(a[p][k], a[c][k]);
        for (int r = c + 1; r < 8; ++r) {
            const double f = a[r][c] / a[c][c];
            for (int k = c; k < 9; ++k) a[r][k] -= f * a[c][k];
        }
    }
    for (int c = 7; c >= 0; --c) {
        double v = a[c][8];
        for (int k = c + 1; k < 8; ++k) v -= a[c][k] * x[k];
        x[c] = v / a[c][c];
    }
    return true;
}

bool Invert3(const double m[9], double o[9]) {
    const double c0 = m[4] * m[8] - m[5] * m[7], c1 = m[5] * m[6] - m[3] * m[8], c2 = m[3] * m[7] - m[4] * m[6];
    const double det = m[0] * c0 + m[1] * c1 + m[2] * c2;
    if (!(std::fabs(det) > 1e-18) || !std::isfinite(det)) return false;
    const double id = 1.0 / det;
    o[0] = c0 * id;
    o[1] = (m[2] * m[7] - m[1] * m[8]) * id;
    o[2] = (m[1] * m[5] - m[2] * m[4]) * id;
    o[3] = c1 * id;
    o[4] = (m[0] * m[8] - m[2] * m[6]) * id;
    o[5] = (m[2] * m[3] - m[0] * m[5]) * id;
    o[6] = c2 * id;
    o[7] = (m[1] * m[6] - m[0] * m[7]) * id;
    o[8] = (m[0] * m[4] - m[1] * m[3]) * id;
    return true;
}

bool ApplyH(const double h[9], double x, double y, double& ox, double& oy) {
    const double w = h[6] * x + h[7] * y + h[8];
    if (!(w > 1e-12)) return false;
    ox = (h[0] * x + h[1] * y + h[2]) / w;
    oy = (h[3] * x + h[4] * y + h[5]) / w;
    return std::isfinite(ox) && std::isfinite(oy);
}

// Inverse of the standard normal distribution function, by bisection on erfc (table set-up only).
double NormalQuantile(double p) {
    double lo = -10, hi = 10;
    for (int i = 0; i < 100; ++i) {
        const double mid = 0.5 * (lo + hi);
        if (0.5 * std::erfc(-mid / std::sqrt(2.0)) < p)
            lo = mid;
        else
            hi = mid;
    }
    return 0.5 * (lo + hi);
}

}  // namespace

// ---- Parsing -------------------------------------------------------------------------------

bool ParseInt(const std::string& s, long lo, long hi, long& out) {
    const std::string t = Trim(s);
    if (t.empty() || t.size() > 20) return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(t.c_str(), &end, 10);
    if (errno != 0 || end != t.c_str() + t.size() || v < lo || v > hi) return false;
    out = v;
    return true;
}

bool ParseReal(const std::string& s, double lo, double hi, double& out) {
    const std::string t = Trim(s);
    if (t.empty() || t.size() > 40) return false;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(t.c_str(), &end);
    if (errno != 0 || end != t.c_str() + t.size() || !std::isfinite(v) || v < lo || v > hi) return false;
    out = v;
    return true;
}

bool ParseHexId(const std::string& s, std::string& out) {
    const std::string t = Trim(s);
    if (t.size() != 4) return false;
    std::string u;
    for (char ch : t) {
        if (!std::isxdigit(static_cast<unsigned char>(ch))) return false;
        u += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    }
    out = u;
    return true;
}

bool ParseScreenRect(const std::string& s, int32_t out[4]) {
    const auto parts = Split(s, [](char ch) { return ch == ','; });
    if (parts.size() != 4) return false;
    long v[4];
    for (int i = 0; i < 4; ++i) {
        const long lo = i < 2 ? -65536 : 1;
        if (!ParseInt(parts[static_cast<size_t>(i)], lo, 65536, v[i])) return false;
    }
    for (int i = 0; i < 4; ++i) out[i] = static_cast<int32_t>(v[i]);
    return true;
}

bool ParseCorners(const std::string& s, double out[8]) {
    const auto pts = Split(s, [](char ch) { return std::isspace(static_cast<unsigned char>(ch)) != 0; });
    if (pts.size() != 4) return false;
    double v[8];
    for (size_t i = 0; i < 4; ++i) {
        const auto xy = Split(pts[i], [](char ch) { return ch == ','; });
        if (xy.size() != 2 || !ParseReal(xy[0], -100000, 100000, v[2 * i]) ||
            !ParseReal(xy[1], -100000, 100000, v[2 * i + 1]))
            return false;
    }
    // A valid outline turns the same way at every corner and has a real area.
    double sign = 0, area = 0;
    for (int k = 0; k < 4; ++k) {
        const int a = k, b = (k + 1) % 4, c = (k + 2) % 4;
        const double cr = (v[2 * b] - v[2 * a]) * (v[2 * c + 1] - v[2 * b + 1]) -
                          (v[2 * b + 1] - v[2 * a + 1]) * (v[2 * c] - v[2 * b]);
        if (std::fabs(cr) < 1e-6) return false;
        if (sign == 0) sign = cr;
        if ((cr > 0) != (sign > 0)) return false;
        area += v[2 * a] * v[2 * b + 1] - v[2 * b] * v[2 * a + 1];
    }
    if (std::fabs(area) / 2 < 16) return false;
    std::memcpy(out, v, sizeof v);
    return true;
}

Config ReadConfig(const KeyLookup& lookup) {
    Config c;
    std::string v;
    long n = 0;
    double d = 0;
    auto get = [&](const char* key) { v.clear(); return lookup(key, v); };
    if (get("VendorId")) ParseHexId(v, c.vendorId);
    if (get("ProductId")) ParseHexId(v, c.productId);
    if (get("Width") && ParseInt(v, 16, 4096, n)) c.width = static_cast<int>(n);
    if (get("Height") && ParseInt(v, 16, 4096, n)) c.height = static_cast<int>(n);
    if (get("Fps") && ParseInt(v, 1, 240, n)) c.fps = static_cast<int>(n);
    if (get("ScreenRect") && ParseScreenRect(v, c.rect)) c.hasScreenRect = true;
    if (get("Corners")) ParseCorners(v, c.corners);
    if (get("K1") && ParseReal(v, -1, 1, d)) c.k1 = d;
    if (get("K2") && ParseReal(v, -1, 1, d)) c.k2 = d;
    if (get("Noise") && ParseReal(v, 0, 64, d)) c.noise = d;
    if (get("Ambient") && ParseReal(v, 0, 255, d)) c.ambient = d;
    if (get("ScreenGain") && ParseReal(v, 0, 10000, d)) c.screenGain = d;
    if (get("Mirror") && ParseInt(v, 0, 1, n)) c.mirror = n == 1;
    if (get("Room") && ParseInt(v, 0, 1, n)) c.room = n == 1;
    return c;
}

Config ScaledTo(const Config& c, int width, int height) {
    Config s = c;
    if (width <= 0 || height <= 0 || (width == c.width && height == c.height)) return s;
    const double fx = static_cast<double>(width) / c.width, fy = static_cast<double>(height) / c.height;
    for (int i = 0; i < 4; ++i) {
        s.corners[2 * i] = (c.corners[2 * i] + 0.5) * fx - 0.5;
        s.corners[2 * i + 1] = (c.corners[2 * i + 1] + 0.5) * fy - 0.5;
    }
    s.width = width;
    s.height = height;
    return s;
}

Config Shifted(const Config& c, double dx, double dy, double degrees) {
    Config s = c;
    s.shift[0] = dx, s.shift[1] = dy, s.shift[2] = degrees;
    return s;
}

// ---- Lens model ----------------------------------------------------------------------------

bool LensModel::Init(const Config& c) {
    if (c.width < 2 || c.height < 2 || c.rect[2] < 1 || c.rect[3] < 1) return false;
    const double W = c.rect[2], H = c.rect[3];
    const double sx[4] = {-0.5, W - 0.5, W - 0.5, -0.5};
    const double sy[4] = {-0.5, -0.5, H - 0.5, H - 0.5};
    double a[8][9] = {};
    for (int i = 0; i < 4; ++i) {
        const double ux = c.corners[2 * i], uy = c.corners[2 * i + 1];
        double* r0 = a[2 * i];
        double* r1 = a[2 * i + 1];
        r0[0] = sx[i]; r0[1] = sy[i]; r0[2] = 1; r0[6] = -sx[i] * ux; r0[7] = -sy[i] * ux; r0[8] = ux;
        r1[3] = sx[i]; r1[4] = sy[i]; r1[5] = 1; r1[6] = -sx[i] * uy; r1[7] = -sy[i] * uy; r1[8] = uy;
    }
    double x[8];
    if (!Solve8(a, x)) return false;
    for (int i = 0; i < 8; ++i) h_[i] = x[i];
    h_[8] = 1;
    // The whole rectangle must lie in front of the camera with one orientation.
    double w0 = 0;
    for (int i = 0; i < 4; ++i) {
        const double w = h_[6] * sx[i] + h_[7] * sy[i] + h_[8];
        if (i == 0) w0 = w;
        if (!(w * w0 > 0)) return false;
    }
    if (w0 < 0)
        for (double& v : h_) v = -v;
    if (!Invert3(h_, hi_)) return false;

    k1_ = c.k1;
    k2_ = c.k2;
    const double turn = c.shift[2] * 3.14159265358979323846 / 180;
    cosT_ = std::cos(turn), sinT_ = std::sin(turn), shiftX_ = c.shift[0], shiftY_ = c.shift[1];
    width_ = c.width;
    mirror_ = c.mirror;
    ccx_ = (c.width - 1) / 2.0;
    ccy_ = (c.height - 1) / 2.0;
    R_ = c.width / 2.0;
    // Beyond the first radius where the distortion stops growing the image folds onto itself.
    rMax_ = 4.0;
    for (int i = 1; i <= 4000; ++i) {
        const double r = i * 0.001, r2 = r * r;
        if (1 + 3 * k1_ * r2 + 5 * k2_ * r2 * r2 <= 0.05) {
            rMax_ = r;
            break;
        }
    }
    rdMax_ = rMax_ * (1 + k1_ * rMax_ * rMax_ + k2_ * rMax_ * rMax_ * rMax_ * rMax_);
    return rdMax_ > 0;
}

bool LensModel::Project(double sx, double sy, double& cx, double& cy) const {
    double ux, uy;
    if (!ApplyH(h_, sx, sy, ux, uy)) return false;
    const double dx = ux - ccx_, dy = uy - ccy_;
    const double r2 = (dx * dx + dy * dy) / (R_ * R_);
    if (!(r2 <= rMax_ * rMax_)) return false;
    const double f = 1 + k1_ * r2 + k2_ * r2 * r2;
    cx = ccx_ + dx * f;
    cy = ccy_ + dy * f;
    if (mirror_) cx = (width_ - 1) - cx;
    // The camera knocked: the whole image turned about its centre and moved.
    const double kx = cx - ccx_, ky = cy - ccy_;
    cx = ccx_ + cosT_ * kx - sinT_ * ky + shiftX_;
    cy = ccy_ + sinT_ * kx + cosT_ * ky + shiftY_;
    return true;
}

bool LensModel::Unproject(double cx, double cy, double& sx, double& sy) const {
    const double kx = cx - ccx_ - shiftX_, ky = cy - ccy_ - shiftY_;
    cx = ccx_ + cosT_ * kx + sinT_ * ky;
    cy = ccy_ - sinT_ * kx + cosT_ * ky;
    if (mirror_) cx = (width_ - 1) - cx;
    const double dx = cx - ccx_, dy = cy - ccy_;
    const double rd = std::sqrt(dx * dx + dy * dy) / R_;
    if (!(rd <= rdMax_)) return false;
    double ru = rd;
    for (int i = 0; i < 30; ++i) {
        const double r2 = ru * ru;
        const double g = ru * (1 + k1_ * r2 + k2_ * r2 * r2) - rd;
        const double gp = 1 + 3 * k1_ * r2 + 5 * k2_ * r2 * r2;
        const double next = std::clamp(ru - g / gp, 0.0, rMax_);
        if (std::fabs(next - ru) < 1e-13) {
            ru = next;
            break;
        }
        ru = next;
    }
    const double scale = rd > 1e-15 ? ru / rd : 1.0;
    return ApplyH(hi_, ccx_ + dx * scale, ccy_ + dy * scale, sx, sy);
}

// ---- Pen control block ---------------------------------------------------------------------

PenState SanitizePenBlock(const PenBlock& raw) {
    PenState st;
    if (raw.magic != kPenMagic || raw.version != kPenVersion) return st;
    st.unplugged = raw.unplugged;
    st.deadStream = raw.deadStream;
    st.stalled = raw.stalled;
    const uint32_t n = std::min<uint32_t>(raw.count, kMaxPens);
    for (uint32_t k = 0; k < n; ++k) {
        const PenRecord& r = raw.pens[k];
        if (r.down != 1) continue;
        const double x = r.x, y = r.y;
        if (!std::isfinite(x) || !std::isfinite(y) || std::fabs(x) > 1e6 || std::fabs(y) > 1e6) continue;
        double sigma = r.sigma, intensity = r.intensity;
        sigma = std::isfinite(sigma) && sigma > 0 ? std::clamp(sigma, 0.3, kMaxSigma) : kDefaultSigma;
        intensity = std::isfinite(intensity) && intensity > 0 ? std::min(intensity, 1.0) : 1.0;
        st.pens[st.count++] = Pen{x, y, sigma, intensity};
    }
    for (int k = 0; k < kExposureSlots; ++k) {
        const ViewShift& v = raw.shift[k];
        if (std::isfinite(v.dx) && std::isfinite(v.dy) && std::isfinite(v.degrees) && std::fabs(v.dx) <= 200 &&
            std::fabs(v.dy) <= 200 && std::fabs(v.degrees) <= 45)
            st.shift[k] = ViewShift{v.dx, v.dy, v.degrees, 0};
    }
    return st;
}

PenState ReadPenBlock(const void* mem) {
    if (!mem) return {};
    const volatile uint32_t* seq = static_cast<const volatile uint32_t*>(mem) + 2;
    PenBlock raw;
    for (int attempt = 0; attempt < 4; ++attempt) {
        const uint32_t before = *seq;
        std::memcpy(&raw, mem, sizeof raw);
        if (*seq == before) break;  // else a writer was busy: take a fresher copy
    }
    return SanitizePenBlock(raw);
}

// ---- Composer ------------------------------------------------------------------------------

void ScreenImage::Resize(int width, int height) {
    w = std::max(width, 0);
    h = std::max(height, 0);
    px.assign(1 + static_cast<size_t>(w) * static_cast<size_t>(h), 0);
}

uint32_t Composer::Stride() const {
    return ((static_cast<uint32_t>(width_) * 24u + 31u) & ~31u) / 8u;
}

namespace {

uint32_t XorShift(uint32_t& r) {
    r ^= r << 13;
    r ^= r >> 17;
    r ^= r << 5;
    return r;
}

}  // namespace

bool Composer::Configure(const Config& c) {
    width_ = height_ = 0;
    footprint_.clear();
    filmed_.clear();
    if (!model_.Init(c)) return false;
    cfg_ = c;
    const double sw = c.rect[2], sh = c.rect[3];
    const size_t pixels = static_cast<size_t>(c.width) * static_cast<size_t>(c.height);
    footprint_.assign(pixels, Footprint{0, 0, 0, 0, 0, 0, 0, 0, 0});
    // Desktop edge coordinates (pixel k spans k..k+1) split into a table index and a fraction.
    auto split = [](double e, double limit, uint16_t& whole, float& frac) {
        e = std::clamp(e, 0.0, limit);
        const double w = std::min(std::floor(e), limit - 1);
        whole = static_cast<uint16_t>(w);
        frac = static_cast<float>(e - w);
    };
    // Where the camera pixels' corners land on the desktop, two rows of corners at a time (NaN:
    // outside the lens model).
    const size_t corners = static_cast<size_t>(c.width) + 1;
    std::vector<double> cx[2] = {std::vector<double>(corners), std::vector<double>(corners)};
    std::vector<double> cy[2] = {cx[0], cx[1]};
    auto cornerRow = [&](int j, int r) {
        for (size_t i = 0; i < corners; ++i)
            if (!model_.Unproject(static_cast<double>(i) - 0.5, j - 0.5, cx[r][i], cy[r][i])) cx[r][i] = cy[r][i] = NAN;
    };
    cornerRow(0, 0);
    room_.assign(c.room ? pixels : 0, 0);
    // The wall: tiles of 1/16 x 1/12 of the screen, 18 and 32 grey levels, each pixel the mean of
    // its four corners so that tile edges fall between pixels as they would.
    auto wall = [&](double u, double v) {
        if (!std::isfinite(u) || !std::isfinite(v)) return 0.0;
        u /= sw, v /= sh;
        if (u >= 0 && u <= 1 && v >= 0 && v <= 1) return 0.0;
        return (static_cast<long>(std::floor(u * 16)) + static_cast<long>(std::floor(v * 12))) % 2 ? 32.0 : 18.0;
    };
    for (int y = 0; y < c.height; ++y) {
        const int a = y % 2, b = 1 - a;  // rows of the pixels' top and bottom corners
        cornerRow(y + 1, b);
        for (int x = 0; x < c.width && c.room; ++x)
            room_[static_cast<size_t>(y) * static_cast<size_t>(c.width) + static_cast<size_t>(x)] = static_cast<uint8_t>(
                0.25 * (wall(cx[a][x], cy[a][x]) + wall(cx[a][x + 1], cy[a][x + 1]) + wall(cx[b][x], cy[b][x]) +
                        wall(cx[b][x + 1], cy[b][x + 1])) + 0.5);
        for (int x = 0; x < c.width; ++x) {
            // The footprint: centred where the pixel's corners are, as wide and high along the
            // desktop axes as the pixel's sides reach, so a box of the pixel's area whatever the roll.
            const double x00 = cx[a][x], x10 = cx[a][x + 1], x01 = cx[b][x], x11 = cx[b][x + 1];
            const double y00 = cy[a][x], y10 = cy[a][x + 1], y01 = cy[b][x], y11 = cy[b][x + 1];
            const double sx = 0.25 * (x00 + x10 + x01 + x11), sy = 0.25 * (y00 + y10 + y01 + y11);
            const double hw = 0.25 * std::hypot(x10 + x11 - x00 - x01, x01 + x11 - x00 - x10);
            const double hh = 0.25 * std::hypot(y10 + y11 - y00 - y01, y01 + y11 - y00 - y10);
            if (!(hw > 0 && hh > 0) || hw > 0.25 * sw || hh > 0.25 * sh) continue;  // NaN too
            Footprint& f = footprint_[static_cast<size_t>(y) * static_cast<size_t>(c.width) + static_cast<size_t>(x)];
            const double u0 = sx + 0.5 - hw, u1 = sx + 0.5 + hw, v0 = sy + 0.5 - hh, v1 = sy + 0.5 + hh;
            if (u1 <= 0 || v1 <= 0 || u0 >= sw || v0 >= sh) continue;
            split(u0, sw, f.u0, f.fu0);
            split(u1, sw, f.u1, f.fu1);
            split(v0, sh, f.v0, f.fv0);
            split(v1, sh, f.v1, f.fv1);
            // Divided by the whole footprint: the part beyond the desktop films black.
            f.scale = static_cast<float>(1.0 / (4 * hw * hh));
        }
    }
    width_ = c.width;
    height_ = c.height;
    const uint32_t stride = Stride();

    // Noise field: 256 equally likely quantiles of a normal distribution with sigma Noise, drawn
    // per pixel. Each frame reads it from a random starting row, so every pixel's noise changes
    // from frame to frame at the cost of one pass over memory.
    int16_t table[256];
    for (int i = 0; i < 256; ++i)
        table[i] = static_cast<int16_t>(
            std::clamp<long>(std::lround(c.noise * NormalQuantile((i + 0.5) / 256.0)), -127, 127));
    noise_.assign(static_cast<size_t>(stride) * static_cast<size_t>(2 * height_), 0);
    uint32_t r = 0x2545F491u;
    for (int y = 0; y < 2 * height_; ++y) {
        int8_t* row = noise_.data() + static_cast<size_t>(y) * stride;
        for (int x = 0; x < width_; ++x) {
            const int8_t n = static_cast<int8_t>(table[XorShift(r) >> 24]);
            row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = n;
        }
    }
    view_.assign(pixels, 0);
    base_.assign(static_cast<size_t>(stride) * static_cast<size_t>(height_), 0);
    SetExposure(exposure_);
    return true;
}

void Composer::SetExposure(int step) {
    exposure_ = std::clamp(step, -16, 4);
    const double gain = cfg_.screenGain * std::ldexp(1.0, exposure_ + 8);
    for (int g = 0; g < 256; ++g) {
        const double v = cfg_.ambient + gain * g / 255.0;
        level_[g] = static_cast<int16_t>(std::min<long>(std::lround(std::min(v, 1000.0)), 255));
    }
    Relevel();
}

void Composer::Film(const ScreenImage* screen) {
    if (width_ == 0) return;
    const bool usable = screen && screen->w == cfg_.rect[2] && screen->h == cfg_.rect[3] &&
                        screen->px.size() == 1 + static_cast<size_t>(screen->w) * static_cast<size_t>(screen->h);
    if (!usable) {
        filmed_.clear();
        std::fill(view_.begin(), view_.end(), uint8_t{0});
        Relevel();
        return;
    }
    // Most desktop copies repeat the last one; the view then stands as it is.
    if (screen->px == filmed_) return;
    filmed_ = screen->px;
    const size_t W = static_cast<size_t>(screen->w), H = static_cast<size_t>(screen->h), tw = W + 1;
    integral_.resize(tw * (H + 1));
    std::fill_n(integral_.begin(), tw, 0u);
    litRows_.assign(H + 1, 0);
    for (size_t y = 0; y < H; ++y) {
        const uint8_t* row = screen->px.data() + 1 + y * W;
        const uint32_t* above = integral_.data() + y * tw;
        uint32_t* out = integral_.data() + (y + 1) * tw;
        // Black rows (most of the calibration's screens) add nothing.
        const bool black = row[0] == 0 && std::memcmp(row, row + 1, W - 1) == 0;
        litRows_[y + 1] = litRows_[y] + !black;
        if (black) {
            std::memcpy(out, above, tw * sizeof(uint32_t));
            continue;
        }
        uint32_t run = 0;
        out[0] = 0;
        for (size_t x = 0; x < W; ++x) {
            run += row[x];
            out[x + 1] = above[x + 1] + run;
        }
    }
    // The desktop is constant over each of its pixels, so its integral is bilinear between the
    // table's corners and the footprint's mean is exact. Whole-number differences come first:
    // what is left is small enough for floats.
    const uint32_t* t = integral_.data();
    const size_t n = view_.size();
    for (size_t i = 0; i < n; ++i) {
        const Footprint& f = footprint_[i];
        if (f.scale == 0 || litRows_[f.v1 + 1u] == litRows_[f.v0]) {
            view_[i] = 0;
            continue;
        }
        auto across = [&](const uint32_t* r) {  // the table along one row, between u0 and u1
            return static_cast<float>(static_cast<int32_t>(r[f.u1] - r[f.u0])) +
                   f.fu1 * static_cast<float>(static_cast<int32_t>(r[f.u1 + 1] - r[f.u1])) -
                   f.fu0 * static_cast<float>(static_cast<int32_t>(r[f.u0 + 1] - r[f.u0]));
        };
        const uint32_t* top = t + f.v0 * tw;
        const uint32_t* bottom = t + f.v1 * tw;
        const float t0 = across(top), t1 = across(top + tw), b0 = across(bottom), b1 = across(bottom + tw);
        const float sum = (b0 - t0) + f.fv1 * (b1 - b0) - f.fv0 * (t1 - t0);
        view_[i] = static_cast<uint8_t>(std::clamp(sum * f.scale + 0.5f, 0.0f, 255.0f));
    }
    Relevel();
}

void Composer::Relevel() {
    if (width_ == 0) return;
    const uint32_t stride = Stride();
    for (int y = 0; y < height_; ++y) {
        const uint8_t* v = view_.data() + static_cast<size_t>(y) * static_cast<size_t>(width_);
        uint8_t* o = base_.data() + static_cast<size_t>(y) * stride;
        const uint8_t* r = room_.empty() ? nullptr : room_.data() + static_cast<size_t>(y) * static_cast<size_t>(width_);
        for (int x = 0; x < width_; ++x)
            o[3 * x] = o[3 * x + 1] = o[3 * x + 2] = static_cast<uint8_t>(std::min(255, level_[v[x]] + (r ? r[x] : 0)));
    }
}

void Composer::Frame(const PenState& pens, uint8_t* out) {
    if (!out || width_ == 0) return;
    const size_t bytes = base_.size();
    if (cfg_.noise <= 0) {
        std::memcpy(out, base_.data(), bytes);
    } else {
        uint32_t row = XorShift(rng_) % static_cast<uint32_t>(height_);
        if (row == lastRow_) row = (row + 1) % static_cast<uint32_t>(height_);
        lastRow_ = row;
        const uint8_t* b = base_.data();
        const int8_t* n = noise_.data() + static_cast<size_t>(row) * Stride();
        // Fixed-size blocks through a local buffer: no aliasing and no remainder inside the block,
        // so compilers turn the add-and-clamp into vector code even at moderate optimisation.
        constexpr size_t kBlock = 64;
        size_t i = 0;
        for (; i + kBlock <= bytes; i += kBlock) {
            uint8_t tmp[kBlock];
            for (size_t k = 0; k < kBlock; ++k) {
                const int v = b[i + k] + n[i + k];
                tmp[k] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
            }
            std::memcpy(out + i, tmp, kBlock);
        }
        for (; i < bytes; ++i) {
            const int v = b[i] + n[i];
            out[i] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
        }
    }
    for (int k = 0; k < pens.count && k < kMaxPens; ++k) DrawPen(pens.pens[k], out);
}

void Composer::DrawPen(const Pen& p, uint8_t* out) const {
    double cx, cy;
    if (!model_.Project(p.x - cfg_.rect[0], p.y - cfg_.rect[1], cx, cy)) return;
    const double sigma = std::clamp(p.sigma, 0.3, kMaxSigma);
    const double rad = std::ceil(4 * sigma);
    const double x0 = std::max(0.0, std::floor(cx - rad)), x1 = std::min(width_ - 1.0, std::ceil(cx + rad));
    const double y0 = std::max(0.0, std::floor(cy - rad)), y1 = std::min(height_ - 1.0, std::ceil(cy + rad));
    if (x0 > x1 || y0 > y1) return;
    // A real pen saturates the sensor at its centre: the peak is well above white.
    const double peak = 400.0 * std::clamp(p.intensity, 0.0, 1.0);
    const double k = -1.0 / (2 * sigma * sigma);
    constexpr int kSpan = 2 * 64 + 4;
    double ex[kSpan], ey[kSpan];
    const int nx = static_cast<int>(x1 - x0) + 1, ny = static_cast<int>(y1 - y0) + 1;
    for (int i = 0; i < nx && i < kSpan; ++i) ex[i] = std::exp(k * (x0 + i - cx) * (x0 + i - cx));
    for (int j = 0; j < ny && j < kSpan; ++j) ey[j] = peak * std::exp(k * (y0 + j - cy) * (y0 + j - cy));
    const uint32_t stride = Stride();
    for (int j = 0; j < ny && j < kSpan; ++j) {
        uint8_t* o = out + static_cast<size_t>(y0 + j) * stride + static_cast<size_t>(x0) * 3;
        for (int i = 0; i < nx && i < kSpan; ++i, o += 3) {
            const double v = o[0] + ey[j] * ex[i];
            const uint8_t b = static_cast<uint8_t>(v >= 255 ? 255 : std::lround(v));
            o[0] = o[1] = o[2] = b;
        }
    }
}

}  // namespace tavori::vcam
