// The stages that turn one thresholded component into a sub-pixel spot, each usable on its own:
//  1. RingBackground: the local background under the component's window, from the window's border;
//  2. growRim: the spot's own pixels, grown from the lit core while their light keeps falling off;
//  3. mirroredCentroid: the centre weighted by light over the rim level (capped where saturation
//     hides it), keeping only light mirrored about it.
#pragma once

#include <cstdint>

#include "detector.h"

namespace tavori::irl {

// A candidate's window: stage coordinates (i, j) are relative to its x0, y0.
using Window = PixelBox;

// The stages keep a window's values in buffers with a one-pixel frame around the window: pixel
// (i, j) is at j * stride + i from the pointer handed round (stride = window width + 2), so a stage
// steps to any neighbour without a bounds test. The buffers are sized once for the widest window,
// plus kFramedSlack elements: vector stages read and write whole vectors past a row's end.
inline int32_t framedStride(const Window& w) { return w.width() + 2; }
constexpr int32_t kFramedSlack = 16;

// Region marks of the rim growth: open where the light is over the rim level and the pixel is not
// yet reached, reached once it is; dark elsewhere and on the frame, so the growth never steps off
// the window.
enum RimMark : uint8_t { kDark = 0, kOpen = 1, kReached = 2 };

// Nearest integer, halves away from zero as std::lround, without the library call.
inline int64_t roundHalfAway(double x) {
    const auto whole = static_cast<int64_t>(x);
    const double part = x - static_cast<double>(whole);
    return whole + (part >= 0.5) - (part <= -0.5);
}

// The brightest channel of the BGR pixel at p: what the threshold applies to.
inline int32_t brightest(const uint8_t* p) {
    const int32_t b = p[0], g = p[1], r = p[2];
    const int32_t m = b > g ? b : g;
    return m > r ? m : r;
}

// Pixels of the window that belong to this spot rather than a neighbouring candidate.
struct Ownership {
    using Box = PixelBox;
    Box own;
    const Box* others = nullptr;
    int nothers = 0;
    bool mine(int32_t x, int32_t y) const;
};

class RingBackground {
public:
    // Change between ring samples two pixels apart that marks the edge of bright content rather
    // than a gradient or noise.
    static constexpr int kEdgeJump = 16;

    // `v` is the window's brightness (readWindow); `ends` holds 4 x the longest window side and
    // kFramedSlack more. Sides marked unusable lie on the frame edge, inside the spot's light; ring
    // pixels the owner does not own are left out. False when nothing is left.
    bool fit(const uint8_t* v, int32_t stride, const Window& w, bool left, bool right, bool top, bool bottom,
             const Ownership& owner, float* ends);
    // Background level at window pixel (i, j).
    float at(int32_t i, int32_t j) const;
    // Every window pixel's light over the background, from its brightness, and its rim mark (open
    // over the rim level, dark below and on the frame), all in framed layout. Writes past a row's
    // end and so spoils the frame of `lift`; the frame is only read with weight zero.
    void liftOver(const uint8_t* v, int32_t stride, float* lift, uint8_t* mark) const;
    bool crossesEdge() const { return edge_; }

private:
    struct SideSums {
        int64_t c = 0, sk = 0, skk = 0, sv = 0, skv = 0;  // sv, skv in half grey levels
        int32_t jump = 0;                                 // likewise
    };
    static SideSums sideEnds(const uint8_t* v, int32_t stride, const Window& w, const Ownership& owner, int32_t i0,
                             int32_t j0, int32_t di, int32_t dj, int32_t in, int32_t n, float* e);
    static SideSums loneEnds(const uint8_t* p, int32_t step, int32_t in, int32_t n, float* e);
    void addSide(const SideSums& s, bool rows, float fixed, double* m, double* mv);
    void fitPlane(const double* m, const double* mv);

    const float *L_ = nullptr, *R_ = nullptr, *T_ = nullptr, *B_ = nullptr;
    int32_t ww_ = 0, wh_ = 0;
    bool okL_ = false, okR_ = false, okT_ = false, okB_ = false;
    float jumpLR_ = 0, jumpTB_ = 0;
    bool edge_ = false, alongRows_ = false, alongCols_ = false;
    double plane_[3] = {};
};

// The row of a framed offset, by a multiply instead of a division: exact while offset x stride^2
// stays below 2^32, i.e. for windows of up to about 1600 pixels a side.
class FramedRows {
public:
    explicit FramedRows(int32_t stride)
        : inverse_(((uint64_t{1} << 32) + static_cast<uint64_t>(stride) - 1) / static_cast<uint64_t>(stride)) {}
    int32_t row(int32_t offset) const {
        return static_cast<int32_t>((static_cast<uint64_t>(offset) * inverse_) >> 32);
    }
    uint32_t inverse() const { return static_cast<uint32_t>(inverse_); }  // whole for strides over 1

private:
    uint64_t inverse_;
};

// The brightest channel of every window pixel, into the framed buffer `v`.
void readWindow(const ImageView& img, const Window& w, uint8_t* v, int32_t stride);

struct Rim {
    int32_t count = 0;  // pixels in `list` (framed offsets), in the order reached
    float bgMax = 0;    // highest background under them
    int32_t core = 0;   // the first of them: the lit core the growth started from
};

// Grows the region from the core pixels (at or above t within the owner's box) through pixels that
// stay kRimLevel above the background and whose light does not rise more than kFalloffSlack over
// the pixel they are reached from. `v`, `lift` and `mark` are framed (readWindow, liftOver); `list`
// holds a window's pixels. Three marks in a row are read as one word: `mark` has a spare byte.
Rim growRim(const uint8_t* v, const float* lift, int32_t stride, const Window& w, const Ownership& owner,
            int32_t t, uint8_t* mark, int32_t* list);

struct Centroid {
    double x = 0, y = 0;  // window coordinates
    double weight = 0;
    int32_t pixels = 0;
};

// Scratch of the centroid for the pixels that carry weight: their terms, framed offsets (negated)
// and places (column in the low 16 bits, row in the high ones). The offsets and places are read a
// block of kRimBlock at a time: those arrays hold kRimBlock entries more than the terms.
constexpr int32_t kRimBlock = 4;
// The centroid reads the mirror of every weighted pixel before it knows whether that lies in the
// window, which saves a test per pixel: the buffer of `lift` has this many floats readable before
// and after its framed window, for windows of up to `side` pixels a side.
inline int32_t mirrorMargin(int32_t side) { return 2 * (side + 2) * (side + 2); }
struct RimKept {
    RimWeight* terms;
    int32_t* back;  // minus the framed offsets: a pass reads every mirror at one base plus these
    uint32_t* place;
};

// Weighted centre of the region's pixels. After the first pass a pixel counts only when its mirror
// about the current centre is lit too: ink trailing from the pen, or bright content reaching in from
// one side, has no counterpart on the other side, while the pen's own light does. A pixel's weight
// is its light over the rim level, capped at 255 - bgMax: a saturated pixel's light is only known up
// to there, and over bright content the side facing it clips sooner. `lift` is framed (liftOver);
// `kept` holds `count` entries. False when fewer than kMinRimArea pixels carry weight.
bool mirroredCentroid(const float* lift, int32_t stride, int32_t ww, int32_t wh, const int32_t* list, int32_t count,
                      float bgMax, const RimKept& kept, Centroid& c);

}  // namespace tavori::irl
