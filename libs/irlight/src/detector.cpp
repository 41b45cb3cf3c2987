#include "detector.h"
#include "refine_stages.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "byte_max.h"

namespace tavori::irl {

float SpotDetector::profileWidth(int32_t falloff, float lift) {
    constexpr auto kRim = static_cast<float>(kRimLevel);
    if (lift < 2 * kRim || falloff <= 0) return 0;
    constexpr float kTwoPi = 6.2831853f;
    return std::sqrt(static_cast<float>(falloff) / (kTwoPi * std::log(lift / kRim)));
}

void SpotDetector::configure(int32_t width, int32_t height) {
    width_ = width;
    height_ = height;
    const int64_t pixels = int64_t{width} * height;
    maxArea_ = static_cast<int32_t>(std::clamp<int64_t>(pixels / 256, 256, 4096));
    maxExtent_ = std::max<int32_t>(32, std::min(width, height) / 8);
    // A frame with more lit runs than this is flooded (a sunlit surface, far too low a threshold):
    // no pen can be told apart in it anyway.
    const int64_t cap = std::min<int64_t>((int64_t{width} + 1) / 2 * height, int64_t{1} << 16);
    runs_.assign(static_cast<std::size_t>(cap), Run{});
    parent_.assign(static_cast<std::size_t>(cap), 0);
    comps_.assign(static_cast<std::size_t>(cap), Component{});
    cand_.assign(static_cast<std::size_t>(cap) + kMaxCandidates, Component{});
    lit_.assign((static_cast<std::size_t>(width) * 3 + 63) / 64, LitWord{});
    rowMax_.assign(static_cast<std::size_t>(height + 1) / 2, 0);
    blockWords_ = blockWords(static_cast<std::size_t>(width) * 3);
    blocks_.assign(rowMax_.size() * blockWords_, 0);
    screened_.assign(blockWords_, 0);
    rowScratch_.assign(rowScratchBytes(static_cast<std::size_t>(width) * 3), 0);
    boxes_.assign(kMaxCandidates, PixelBox{});
    byTop_.assign(kMaxCandidates, 0);
    place_.assign(kMaxCandidates, 0);
    splitter_.configure(maxExtent_);
    found_.assign(kMaxCandidates, Spot{});
    const int32_t side = maxExtent_ + 2 * kWindowMargin;
    const auto window = static_cast<std::size_t>(side) * side, framed = static_cast<std::size_t>(side + 2) * (side + 2);
    ends_.assign(4 * static_cast<std::size_t>(side) + kFramedSlack, 0.f);
    others_.assign(kMaxCandidates, PixelBox{});
    bright_.assign(framed + kFramedSlack, 0);
    liftMargin_ = mirrorMargin(side);
    lift_.assign(framed + kFramedSlack + 2 * static_cast<std::size_t>(liftMargin_), 0.f);
    mark_.assign(framed + kFramedSlack, 0);
    rim_.assign(window, 0);
    kept_.assign(window, RimWeight{});
    keptBack_.assign(window + kRimBlock, 0);
    keptPlace_.assign(window + kRimBlock, 0);
}

namespace {

// How far a row beside a searched row with light is screened past that row's blocks, in bytes
// (screenRow); its prefetch reaches as far.
constexpr std::size_t kBesideReach = 64;

// Calls at(from, to) for each stretch of neighbouring marked blocks in a row's words, as the byte
// range [from, to) of a row of n bytes; blocks past the row's end are left out.
template <class At>
void forEachStretch(const uint64_t* words, std::size_t nwords, std::size_t n, At&& at) {
    for (std::size_t k = 0; k < nwords; ++k) {
        for (uint64_t bits = words[k]; bits;) {
            const int first = std::countr_zero(bits), len = std::countr_one(bits >> first);
            bits = first + len < 64 ? bits & ~uint64_t{0} << (first + len) : 0;
            const std::size_t from = (64 * k + static_cast<std::size_t>(first)) * kBlockBytes;
            if (from >= n) return;
            at(from, std::min(n, from + static_cast<std::size_t>(len) * kBlockBytes));
        }
    }
}

}  // namespace

int32_t SpotDetector::backgroundLevel(const ImageView& img, int32_t below) const {
    // Every 16th row, every 8th pixel: a few thousand samples, a small fraction of the frame read.
    // The sampled rows are searched rows: one whose brightest byte (or the bound the search keeps
    // for a dark row) is under `below` adds only to the count of samples.
    // Most frames have no sampled row that reaches `below`: any level under it then does.
    const int32_t first = 8 % img.height;
    if (first % 2 == 0) {
        bool reaches = false;
        for (int32_t y = first; y < img.height; y += 16) reaches |= rowMax_[y / 2] >= below;
        if (!reaches) return 0;
    }
    uint32_t hist[256] = {};
    int32_t n = 0, top = 0;  // samples, and the brightest one
    const int32_t x0 = 4 % img.width, perRow = (img.width - 1 - x0) / 8 + 1;
    const auto rowBytes = static_cast<std::size_t>(img.width) * 3;
    for (int32_t y = first; y < img.height; y += 16) {
        n += perRow;
        if (y % 2 == 0 && rowMax_[y / 2] < below) continue;
        const uint8_t* row = img.data + static_cast<std::ptrdiff_t>(y) * img.stride;
        int32_t next = x0;  // the first sample not yet taken
        auto take = [&](int32_t to) {  // the samples before pixel `to`
            for (; next < to; next += 8) {
                const int32_t v = brightest(row + 3 * next);
                ++hist[v];
                top = std::max(top, v);
            }
        };
        if (y % 2 || below < blockLevel_) {
            take(img.width);
            continue;
        }
        // A sample that reaches `below` has a byte in a block of the row that reaches the block
        // level, which is no higher. The others would add only to levels under `below`, which all
        // give the same threshold: only the pixels that reach into those blocks are sampled.
        forEachStretch(blocks_.data() + static_cast<std::size_t>(y / 2) * blockWords_, blockWords_, rowBytes,
                       [&](std::size_t from, std::size_t to) {
                           const auto px = static_cast<int32_t>(from / 3);
                           if (next < px) next += (px - next + 7) / 8 * 8;
                           take(static_cast<int32_t>((to + 2) / 3));
                       });
    }
    // Pens cover only a few samples: the level is what more than that many samples reach.
    const int32_t k = std::max(8, n / 100);
    int32_t above = 0, level = top;
    while (level > 0 && above + static_cast<int32_t>(hist[level]) <= k) above += static_cast<int32_t>(hist[level--]);
    return level;
}

// Inlined into its one caller, as it runs for every labelled row.
[[gnu::always_inline]] inline int32_t SpotDetector::screenRow(const ImageView& img, int32_t y, int32_t t,
                                                             LitBytesFn readLit) {
    const std::size_t n = static_cast<std::size_t>(width_) * 3, words = blockWords_;
    const uint64_t* searched = blocks_.data() + static_cast<std::size_t>(y / 2) * words;
    const uint64_t* screen = searched;
    // The bytes a stretch of blocks reaches out to on either side.
    std::size_t reach = 0;
    if (y % 2) {
        // The light of a core on this row falls off on the searched rows beside it in the same
        // columns, or one to either side: its blocks are those of the rows beside it, and a word
        // (64 bytes, 21 pixels) of the blocks on either side, where a core at a block's edge has
        // its columns. A searched row under the block level has no blocks marked.
        const uint64_t* above = rowMax_[y / 2] >= blockLevel_ ? searched : nullptr;
        const uint64_t* below = y + 1 < height_ && rowMax_[y / 2 + 1] >= blockLevel_ ? searched + words : nullptr;
        uint64_t* either = screened_.data();
        for (std::size_t k = 0; k < words; ++k) either[k] = (above ? above[k] : 0) | (below ? below[k] : 0);
        screen = either;
        reach = kBesideReach;
    }
    // On a searched row, the pixels that reach the threshold lie in its blocks that reach the lower
    // block level.
    const uint8_t* row = img.data + static_cast<std::ptrdiff_t>(y) * img.stride;
    LitWord* lit = lit_.data();
    int32_t nlit = 0;
    // A stretch of neighbouring blocks is screened in one call. Stretches lie a block apart or more,
    // so their reaches never meet.
    forEachStretch(screen, words, n, [&](std::size_t from, std::size_t to) {
        from = from < reach ? 0 : from - reach;
        to = std::min(n, to + reach);
        const int32_t got = readLit(row + from, to - from, static_cast<uint8_t>(t), lit + nlit);
        for (int32_t q = nlit; q < nlit + got; ++q) lit[q].at += static_cast<int32_t>(from / 64);
        nlit += got;
    });
    return nlit;
}

// At large frames the row pass has pushed the rows out of the caches by the time they are labelled;
// asked for a few searched rows ahead, their lines arrive while the ones before are labelled.
void SpotDetector::prefetchScreen(const ImageView& img, int32_t i) const {
    const std::size_t n = static_cast<std::size_t>(width_) * 3;
    const uint8_t* mid = img.data + static_cast<std::ptrdiff_t>(2 * i) * img.stride;
    const std::ptrdiff_t above = 2 * i > 0 ? -img.stride : 0, below = 2 * i + 1 < height_ ? img.stride : 0;
    forEachStretch(blocks_.data() + static_cast<std::size_t>(i) * blockWords_, blockWords_, n,
                   [&](std::size_t from, std::size_t to) {
                       to = std::min(n, to + kBesideReach);
                       // A line a step.
                       for (std::size_t b = from < kBesideReach ? 0 : from - kBesideReach; b < to; b += 64) {
                           __builtin_prefetch(mid + above + b);
                           __builtin_prefetch(mid + b);
                           __builtin_prefetch(mid + below + b);
                       }
                   });
}

int32_t SpotDetector::find(int32_t a) {
    while (parent_[a] != a) {
        parent_[a] = parent_[parent_[a]];
        a = parent_[a];
    }
    return a;
}

void SpotDetector::unite(int32_t a, int32_t b) {
    a = find(a);
    b = find(b);
    if (a == b) return;
    if (b < a) std::swap(a, b);
    Component& r = comps_[a];
    const Component& o = comps_[b];
    r.area += o.area;
    r.peak = std::max(r.peak, o.peak);
    r.x0 = std::min(r.x0, o.x0);
    r.y0 = std::min(r.y0, o.y0);
    r.x1 = std::max(r.x1, o.x1);
    r.y1 = std::max(r.y1, o.y1);
    parent_[b] = a;
}

int SpotDetector::detect(const ImageView& img, const DetectParams& p, Spot* out) {
    flooded_ = false;
    if (!img.data || img.width != width_ || img.height != height_ || width_ <= 0 || height_ <= 0) return 0;
    // The camera also films the projected picture faintly: a threshold below that (laser-write mode
    // asks for 5 or 25) would light the whole screen. Hold it minContrast above the bright background.
    const int32_t minContrast = std::clamp(p.minContrast, 0, 255);
    const std::size_t rowBytes = static_cast<std::size_t>(width_) * 3;
    const RowMaxFn readRows = rowMax();
    const uint8_t* searched = rowMax_.data();
    // The search level follows the threshold, which the row pass's maxima decide; it is never under
    // this block level, by which the pass marks the blocks of each row. A row under it has no light
    // to search and its brightest byte, known to be under the level, is not needed.
    blockLevel_ = std::max(1, std::clamp(p.threshold, 1, 255) / kSearchDivisor);
    readRows(img.data, 2 * img.stride, rowBytes, (height_ + 1) / 2, static_cast<uint8_t>(blockLevel_), rowMax_.data(),
             blocks_.data(), rowScratch_.data());
    const int32_t t =
        std::clamp(std::max(p.threshold, backgroundLevel(img, p.threshold - minContrast) + minContrast), 1, 255);
    lastThreshold_ = t;
    const int32_t cap = static_cast<int32_t>(runs_.size());
    const LitBytesFn readLit = litBytes();
    LitWord* lit = lit_.data();

    // Every lit component taller than one row has pixels on an even row, so only even rows are
    // searched (each row is its own cache lines: half the frame is read), and an even row with light
    // labels itself and both neighbours where the light is (screenRow). A core one row tall on an odd
    // row (a small pen centred on that row) is still seen by the fall-off of its light on the rows
    // beside it. The search level is a share of the threshold itself, not of its lift over the bright
    // background: many pens raise that sample far above the background beside each of them.
    const int32_t tSearch = std::max(1, t / kSearchDivisor);
    int32_t nruns = 0, prevBegin = 0, prevEnd = 0;
    int32_t prevRow = -2;  // the last row labelled, whose runs are [prevBegin, prevEnd)
    int32_t done = -1;     // rows up to here are labelled
    const int32_t even = (height_ + 1) / 2;
    for (int32_t base = 0; base < even; base += 64) {
        LitWord markWord;
        uint64_t marks = readLit(searched + base, static_cast<std::size_t>(std::min(64, even - base)),
                                 static_cast<uint8_t>(tSearch), &markWord)
                             ? markWord.bits
                             : 0;  // searched rows base + k with light to search
        uint64_t ahead = marks;
        for (int q = 0; q < 3 && ahead; ++q, ahead &= ahead - 1) prefetchScreen(img, base + std::countr_zero(ahead));
        for (; marks; marks &= marks - 1) {
            const int32_t i = base + std::countr_zero(marks);
            if (ahead) {
                prefetchScreen(img, base + std::countr_zero(ahead));
                ahead &= ahead - 1;
            }
            const int32_t last = std::min(2 * i + 1, height_ - 1);
            for (int32_t y = std::max(2 * i - 1, done + 1); y <= last; ++y) {
                // A searched row under the threshold has no runs; the others are screened (screenRow).
                if (y % 2 == 0 && searched[y / 2] < t) continue;
                const uint8_t* row = img.data + static_cast<std::ptrdiff_t>(y) * img.stride;
                const int32_t nlit = screenRow(img, y, t, readLit);
                if (prevRow != y - 1) prevBegin = prevEnd = nruns;  // no run of the row above touches
                const int32_t rowBegin = nruns;
                int32_t j = prevBegin;                   // first run of the previous row that may still touch
                int32_t start = -1, peak = 0, end = -2;  // open run [start, end]
                bool overflow = false;
                auto close = [&] {
                    if (nruns == cap) {
                        overflow = true;
                        return;
                    }
                    const int32_t x0 = start, x1 = end, label = nruns;
                    runs_[label] = Run{x0, x1, y, label};
                    parent_[label] = label;
                    comps_[label] = Component{x1 - x0 + 1, peak, x0, y, x1, y, label};
                    ++nruns;
                    // 8-connectivity: runs touch when they overlap or meet diagonally.
                    while (j < prevEnd && runs_[j].x1 + 1 < x0) ++j;
                    for (int32_t k = j; k < prevEnd && runs_[k].x0 <= x1 + 1; ++k) unite(label, runs_[k].label);
                    start = -1;
                };
                // A pixel is lit when any of its three bytes reaches the threshold; only those are read,
                // each once: its other bytes' bits are dropped with the first.
                for (int32_t q = 0; q < nlit; ++q) {
                    const int32_t w = lit[q].at;
                    for (uint64_t bits = lit[q].bits; bits;) {
                        const auto x = static_cast<int32_t>(static_cast<uint32_t>(64 * w + std::countr_zero(bits)) / 3u);
                        const int32_t past = 3 * x + 3 - 64 * w;
                        bits = past < 64 ? bits & ~uint64_t{0} << past : 0;
                        if (x == end) continue;  // the pixel began in the word before
                        if (start >= 0 && x != end + 1) close();
                        const int32_t v = brightest(row + 3 * x);
                        if (start < 0) {
                            start = x;
                            peak = v;
                        } else {
                            peak = std::max(peak, v);
                        }
                        end = x;
                    }
                }
                if (start >= 0) close();
                if (overflow) {
                    flooded_ = true;
                    return 0;
                }
                prevRow = y;
                prevBegin = rowBegin;
                prevEnd = nruns;
            }
            done = last;
        }
    }

    // Components that pass the size gates become candidates.
    ncand_ = 0;
    for (int32_t i = 0; i < nruns; ++i) {
        if (parent_[i] != i) continue;
        const Component& c = comps_[i];
        if (c.area > maxArea_ || c.x1 - c.x0 + 1 > maxExtent_ || c.y1 - c.y0 + 1 > maxExtent_) continue;
        cand_[ncand_++] = c;
    }
    // The brightest are refined; the light of close pens may have joined in one of them.
    auto keepBrightest = [this] {
        if (ncand_ <= kMaxCandidates) return;
        std::nth_element(cand_.begin(), cand_.begin() + kMaxCandidates, cand_.begin() + ncand_,
                         [](const Component& a, const Component& b) {
                             return a.peak != b.peak ? a.peak > b.peak : a.area > b.area;
                         });
        ncand_ = kMaxCandidates;
    };
    keepBrightest();
    for (int k = 0, whole = ncand_; k < whole; ++k) splitJoined(img, t, k, nruns);
    keepBrightest();
    const int ncand = ncand_;
    tallest_ = 0;
    for (int k = 0; k < ncand; ++k) {
        const Component& c = cand_[k];
        boxes_[k] = PixelBox{std::max(0, c.x0 - kWindowMargin), std::max(0, c.y0 - kWindowMargin),
                        std::min(width_ - 1, c.x1 + kWindowMargin), std::min(height_ - 1, c.y1 + kWindowMargin)};
        tallest_ = std::max(tallest_, boxes_[k].height());
        // Candidates come in the order of their top rows (but for split parts): an insertion sort
        // by the window's top is nearly free, and each window then meets only its neighbours in it.
        int p = k;
        for (; p > 0 && boxes_[byTop_[p - 1]].y0 > boxes_[k].y0; --p) byTop_[p] = byTop_[p - 1];
        byTop_[p] = k;
    }
    for (int p = 0; p < ncand; ++p) place_[byTop_[p]] = p;

    Spot* found = found_.data();
    int nfound = 0;
    for (int k = 0; k < ncand; ++k) {
        if (refine(img, t, minContrast, cand_[k], k, found[nfound])) ++nfound;
    }
    std::sort(found, found + nfound, [](const Spot& a, const Spot& b) { return a.mass > b.mass; });
    const int n = std::min(nfound, kMaxSpots);
    std::copy(found, found + n, out);
    return n;
}

void SpotDetector::splitJoined(const ImageView& img, int32_t t, int k, int32_t nruns) {
    const Component& c = cand_[k];  // replaced only once read to the end
    if (c.area < 2 * SaddleSplitter::kMinPartPixels || c.peak - t < SaddleSplitter::kSaddleDepth) return;
    // The component's own runs (others may cross its box); runs are stored row by row.
    const PixelBox box{c.x0, c.y0, c.x1, c.y1};
    uint8_t* values = splitter_.begin(box);
    if (!values) return;
    const int32_t fw = box.width() + 2;
    // Runs are labelled in order and a component's root is its lowest label: its first run.
    for (const Run* r = runs_.data() + c.root; r != runs_.data() + nruns && r->y <= c.y1; ++r) {
        if (r->x1 < c.x0 || r->x0 > c.x1 || find(r->label) != c.root) continue;
        const uint8_t* px = img.data + static_cast<std::ptrdiff_t>(r->y) * img.stride + 3 * r->x0;
        uint8_t* out = values + (r->y - c.y0) * fw + (r->x0 - c.x0);
        for (int32_t x = r->x0; x <= r->x1; ++x, px += 3) *out++ = static_cast<uint8_t>(brightest(px));
    }
    CorePart parts[SaddleSplitter::kMaxParts];
    const int nparts = splitter_.split(box, c.area, t, parts);
    if (nparts == 1) return;
    for (int p = 0; p < nparts; ++p) {
        const PixelBox& b = parts[p].box;
        const Component part{parts[p].area, parts[p].peak, b.x0, b.y0, b.x1, b.y1, -1};
        if (p == 0) {
            cand_[k] = part;
        } else if (ncand_ < static_cast<int>(cand_.size())) {
            cand_[ncand_++] = part;
        }
    }
}

bool SpotDetector::refine(const ImageView& img, int32_t t, int32_t minContrast, const Component& c, int self,
                          Spot& s) {
    const Window w = boxes_[self];
    // Other candidates whose windows overlap this one: a pixel there belongs to the nearest box.
    PixelBox* others = others_.data();
    int nothers = 0;
    auto meet = [&](int k) {
        const PixelBox& o = boxes_[k];
        if (o.x0 > w.x1 || w.x0 > o.x1 || o.y0 > w.y1 || w.y0 > o.y1) return;
        const Component& n = cand_[k];
        others[nothers++] = PixelBox{n.x0, n.y0, n.x1, n.y1};
    };
    // Windows above this one's top reach it only from within the tallest window's height.
    const int32_t* byTop = byTop_.data();
    for (int p = place_[self] - 1; p >= 0 && boxes_[byTop[p]].y0 > w.y0 - tallest_; --p) meet(byTop[p]);
    for (int p = place_[self] + 1; p < ncand_ && boxes_[byTop[p]].y0 <= w.y1; ++p) meet(byTop[p]);
    const Ownership owner{{c.x0, c.y0, c.x1, c.y1}, others, nothers};

    // A side cut short by the frame edge lies inside the spot's light and says nothing about the
    // background, so it is left out. The spot must stand out from its whole ring, neighbours
    // included (bright content lit in places is not a pen); its light is then measured above the
    // ring without them, or a saturated neighbour would raise the level to where nothing is left.
    const bool left = c.x0 - kWindowMargin >= 0, right = c.x1 + kWindowMargin <= width_ - 1;
    const bool top = c.y0 - kWindowMargin >= 0, bottom = c.y1 + kWindowMargin <= height_ - 1;
    const int32_t stride = framedStride(w), origin = stride + 1;
    uint8_t* v = bright_.data() + origin;
    float* lift = lift_.data() + liftMargin_ + origin;
    readWindow(img, w, v, stride);
    RingBackground bg;
    if (!bg.fit(v, stride, w, left, right, top, bottom, Ownership{owner.own}, ends_.data())) return false;
    const float bgCentre = bg.at((c.x0 + c.x1) / 2 - w.x0, (c.y0 + c.y1) / 2 - w.y0);
    if (static_cast<float>(c.peak) - bgCentre < static_cast<float>(minContrast)) return false;
    if (nothers && !bg.fit(v, stride, w, left, right, top, bottom, owner, ends_.data())) return false;

    bg.liftOver(v, stride, lift, mark_.data() + origin);
    const Rim rim = growRim(v, lift, stride, w, owner, t, mark_.data() + origin, rim_.data());
    Centroid centre;
    if (!mirroredCentroid(lift, stride, w.width(), w.height(), rim_.data(), rim.count, rim.bgMax,
                          RimKept{kept_.data(), keptBack_.data(), keptPlace_.data()}, centre))
        return false;
    s.x = w.x0 + centre.x;
    s.y = w.y0 + centre.y;
    s.mass = roundHalfAway(centre.weight);
    s.area = c.area;
    s.rimArea = centre.pixels;
    s.profile = profileWidth(rim.count - rim.core, static_cast<float>(t) - bgCentre);
    s.peak = c.peak;
    s.background = static_cast<int32_t>(roundHalfAway(bgCentre));
    s.threshold = t;
    s.x0 = c.x0;
    s.y0 = c.y0;
    s.x1 = c.x1;
    s.y1 = c.y1;
    return true;
}

}  // namespace tavori::irl
