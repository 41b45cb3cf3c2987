// Spot detection on BGR24 frames: run-length connected components on the brightest channel, then an
// intensity-weighted centroid over the dim rim of each spot, measured above a local background model
// that follows gradients and the edges of bright screen content filmed around the pen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "byte_max.h"
#include "image_view.h"
#include "saddle_split.h"

namespace tavori::irl {

struct Spot {
    double x = 0, y = 0;           // centroid, pixel centres at whole numbers
    int64_t mass = 0;              // sum of (v - rim level) over the spot: its "amount of light"
    int32_t area = 0;              // pixels at or above the threshold
    int32_t rimArea = 0;           // pixels above the rim level in the centroid window
    // Width of its fall-off (the sigma of a Gaussian spot, in pixels), whatever its brightness:
    // from the pixels between the threshold and the rim level, which a Gaussian of sigma s spreads
    // over 2 pi s^2 ln((threshold - background) / rim level) pixels. 0 when the threshold stands too
    // close to the background to tell.
    float profile = 0;
    int32_t peak = 0;              // brightest channel maximum
    int32_t background = 0;        // local background level under the spot's centre
    int32_t threshold = 0;         // the frame's threshold, which the spot's core reached
    int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // bounding box of the thresholded part (inclusive)
};

struct DetectParams {
    int32_t threshold = 220;   // lit when max(B,G,R) >= threshold
    int32_t minContrast = 15;  // peak above local background; also the lift of the threshold above
                               // the frame's bright background (see SpotDetector::detect)
};

// A rim pixel that carries weight, kept between the passes of the centroid (refine_stages.h): the
// terms of its sums, which a pass adds with one vector and one scalar add. Where it lies is kept apart
// (RimPlaces), as a pass reads that four pixels at a time.
struct alignas(16) RimWeight {
    double wx, wy;  // weight times column, times row
    double weight;
};

class SpotDetector {
public:
    static constexpr int kMaxSpots = 64;
    static constexpr int kMaxCandidates = 256;  // windows refined per frame at most
    static constexpr int kWindowMargin = 6;     // rim taken in around the thresholded box
    static constexpr int kRimLevel = 8;         // grey levels above background that count as rim
    static constexpr int kMinRimArea = 3;       // a lone hot pixel has a rim area of 1
    // How much a rim pixel may rise over the neighbour it is reached from and still be the spot's
    // own fall-off (noise); a plateau beyond a dip is not the spot's.
    static constexpr int kFalloffSlack = 2;
    // The search of every second row takes light of a 1/kSearchDivisor share of the threshold: the
    // rows beside a core one row tall keep more than that share of its light for pens of sigma
    // 0.55 px and wider (exp(-1 / (2 sigma^2)) > 1/5), whatever the background under them.
    static constexpr int kSearchDivisor = 5;
    // Passes of the centroid that weigh a rim pixel only when its mirror about the centre is lit.
    static constexpr int kMirrorPasses = 2;

    // Sizes every working buffer for frames of this size. May throw std::bad_alloc.
    void configure(int32_t width, int32_t height);
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }

    // Finds up to kMaxSpots spots, heaviest first. Returns the count; 0 also when the frame is
    // flooded (more lit runs than the buffers hold). The view must match the configured size.
    // The threshold used is never below the frame's bright background level + minContrast, so a
    // very low threshold still separates the pen from the faintly filmed screen.
    int detect(const ImageView& img, const DetectParams& p, Spot* out);

    bool lastFrameFlooded() const { return flooded_; }
    // Spot::profile from the pixels of the fall-off and the threshold's lift over the background.
    static float profileWidth(int32_t falloff, float lift);
    int32_t lastThreshold() const { return lastThreshold_; }

private:
    struct Run {
        int32_t x0, x1, y;
        int32_t label;
    };
    struct Component {
        int32_t area, peak;
        int32_t x0, y0, x1, y1;
        int32_t root;  // label of its runs; -1 for a part split from one
    };

    // The brightest level that more than a small share of the frame reaches (sparse sample), when
    // that is at least `below`; any level under it otherwise. Reads the row maxima of the search.
    int32_t backgroundLevel(const ImageView& img, int32_t below) const;
    // The lit words of row y (labelled, so beside a searched row with light) in the blocks it is
    // screened in, into lit_; returns how many.
    int32_t screenRow(const ImageView& img, int32_t y, int32_t t, LitBytesFn readLit);
    // Asks for the lines that screenRow will read on searched row i and the rows beside it.
    void prefetchScreen(const ImageView& img, int32_t i) const;
    int32_t find(int32_t a);
    void unite(int32_t a, int32_t b);
    // Candidate k becomes one candidate per peak when the light of close pens joined in it.
    void splitJoined(const ImageView& img, int32_t t, int k, int32_t nruns);
    bool refine(const ImageView& img, int32_t t, int32_t minContrast, const Component& c, int self, Spot& s);

    int32_t width_ = 0, height_ = 0;
    int32_t maxArea_ = 0, maxExtent_ = 0;
    std::vector<Run> runs_;
    std::vector<int32_t> parent_;
    std::vector<Component> comps_;
    std::vector<Component> cand_;
    int ncand_ = 0;
    std::vector<LitWord> lit_;     // words of the row being labelled with bytes that reach the threshold
    // Of every searched (even) row y, at y / 2: its brightest byte where that reaches the block level
    // of the search (detect), the level less one where it does not; and where it does, which of its
    // blocks (byte_max.h) reach that level, blockWords_ words a row. The blocks a labelled row is
    // screened in.
    std::vector<uint8_t> rowMax_;
    int32_t blockLevel_ = 1;
    std::vector<uint64_t> blocks_;
    std::size_t blockWords_ = 0;
    std::vector<uint64_t> screened_;
    std::vector<uint8_t> rowScratch_;  // the row pass's
    SaddleSplitter splitter_;
    // Expanded windows of the candidates, used to keep one spot's rim out of its neighbour's sum;
    // the candidates by the top of their window, each one's place in that order, and the tallest.
    std::vector<PixelBox> boxes_;
    std::vector<int32_t> byTop_, place_;
    int32_t tallest_ = 0;
    bool flooded_ = false;
    int32_t lastThreshold_ = 0;
    std::vector<Spot> found_;  // refined candidates, before the heaviest are kept
    // Per-window scratch of the refinement stages (refine_stages.h): background ends of rows and
    // columns, overlapping neighbours; framed brightness, light over the background (then the rim
    // level) and region marks; the rim list and its weighted pixels (their terms, framed offsets and
    // packed places).
    std::vector<float> ends_;
    std::vector<PixelBox> others_;
    std::vector<uint8_t> bright_;
    std::vector<float> lift_;  // with mirrorMargin() before and after its framed window
    int32_t liftMargin_ = 0;
    std::vector<uint8_t> mark_;
    std::vector<int32_t> rim_;
    std::vector<RimWeight> kept_;
    std::vector<int32_t> keptBack_;
    std::vector<uint32_t> keptPlace_;
};

}  // namespace tavori::irl
