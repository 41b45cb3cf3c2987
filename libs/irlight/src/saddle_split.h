// Pens close together can light the pixels between them above the threshold, so that one connected
// component holds two or more spots. Flooding the component from its brightest pixel down finds
// where the light of separate peaks meets: a peak that stands well above that saddle is a spot of
// its own, and its core is what lay above the saddle.
#pragma once

#include <cstdint>
#include <vector>

#include "image_view.h"

namespace tavori::irl {

struct CorePart {
    PixelBox box;  // the part's pixels above the saddle where it met another part
    int32_t peak = 0;
    int32_t area = 0;  // component pixels that flooded into the part
};

class SaddleSplitter {
public:
    // How far both peaks must stand above the saddle between them. Noise of a few grey levels on a
    // flat top makes dips of up to about 3 sigma; two pens 10 px apart dip by a dozen levels or more.
    static constexpr int kSaddleDepth = 10;
    // Pixels above the saddle a part needs: one pixel standing out is noise, not a pen.
    static constexpr int kMinPartPixels = 2;
    static constexpr int kMaxParts = 16;

    // Sizes the scratch buffers for components of up to maxSide pixels a side.
    void configure(int32_t maxSide);

    // Starts a component in `box`: returns where the brightest channel of its pixels goes, pixel
    // (i, j) of the box at j * (box width + 2) + i; the others are left at 0. Null for a box wider
    // or taller than configure() allowed.
    uint8_t* begin(const PixelBox& box);
    // The component written since begin(box), `count` pixels, each at least `floor` (and 1). Returns
    // the number of parts written (at most kMaxParts); 1 when the component is one spot, and then
    // nothing is written.
    int split(const PixelBox& box, int32_t count, int32_t floor, CorePart* parts);

private:
    struct Region {
        int32_t parent, peak, area;
        PixelBox live;    // every pixel flooded so far
        PixelBox frozen;  // the pixels above the first saddle with another part
        bool part;
    };
    int32_t root(int32_t r);
    // Pixels of value atLeast or more where the flood would start a region (up to 2 counted).
    int32_t seeds(const PixelBox& box, int32_t atLeast) const;

    // The box is kept with a one-pixel frame around it (stride box width + 2), so that every pixel
    // has eight neighbours: the frame is dark and never flooded.
    std::vector<int32_t> order_;   // component pixels by falling light (framed indices)
    std::vector<int32_t> label_;   // region of each pixel, -1 before it is flooded
    std::vector<uint8_t> value_;   // brightest channel of each component pixel, 0 elsewhere
    std::vector<Region> regions_;
};

}  // namespace tavori::irl
