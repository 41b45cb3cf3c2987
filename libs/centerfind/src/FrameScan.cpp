#include "FrameScan.h"

#include <algorithm>
#include <cmath>

namespace tavori::cf {

namespace {
constexpr int kPixels = kWidth * kHeight;
constexpr int kSeedStep = 2;  // a light narrower than two pixels is no square and no pen

inline int Grey(const uint8_t* pixels, int i) {
    const uint8_t* p = pixels + (i / kWidth) * kStride + (i % kWidth) * 3;
    return p[0] + p[1] + p[2];
}
}  // namespace

void Background::Reset() {
    acc_.assign(kPixels, 0);
    sum_.assign(kPixels, 0);
    first_.clear();
    frames_ = 0;
    noise_ = 0;
    ready_ = false;
}

bool Background::Add(const uint8_t* pixels) {
    if (ready_) return true;
    if (acc_.size() != kPixels) Reset();
    for (int y = 0; y < kHeight; ++y) {
        const uint8_t* row = pixels + y * kStride;
        uint32_t* a = acc_.data() + y * kWidth;
        for (int x = 0; x < kWidth; ++x) a[x] += static_cast<uint32_t>(row[3 * x] + row[3 * x + 1] + row[3 * x + 2]);
    }
    if (frames_ == 0) {
        first_.resize(kPixels / 16);
        for (int k = 0; k < kPixels / 16; ++k) first_[k] = static_cast<uint8_t>(Grey(pixels, k * 16) / 3);
    } else if (frames_ == 1) {
        // Two frames of the same black screen differ only by noise. Take a robust spread (median
        // absolute difference), so a pen or reflection in one of them does not count.
        std::vector<int> d(kPixels / 16);
        for (int k = 0; k < kPixels / 16; ++k) d[k] = std::abs(Grey(pixels, k * 16) - 3 * first_[k]);
        std::nth_element(d.begin(), d.begin() + d.size() / 2, d.end());
        // Median |a - b| of two normal samples is 0.954 sigma of one; the grey is rounded to thirds.
        noise_ = std::max(1.0, d[d.size() / 2] / 0.954);
    }
    if (++frames_ < kFrames) return false;
    for (int i = 0; i < kPixels; ++i) sum_[i] = static_cast<uint16_t>((acc_[i] + kFrames / 2) / kFrames);
    ready_ = true;
    return true;
}

int LightScanner::Signal(const uint8_t* pixels, const uint16_t* black, int i) const {
    return Grey(pixels, i) - black[i];
}

int LightScanner::Scan(const uint8_t* pixels, const Background& black, int minArea, Light* out, int maxLights) {
    if (mark_.size() != kPixels) mark_.assign(kPixels, 0);
    const uint16_t* b = black.Sum();
    // The threshold is half the brightest seed, and well above the noise, so a square's edge is
    // cut at half height whatever the exposure.
    int peak = 0;
    for (int y = 0; y < kHeight; y += kSeedStep) {
        const uint8_t* row = pixels + y * kStride;
        const uint16_t* brow = b + y * kWidth;
        for (int x = 0; x < kWidth; x += kSeedStep) {
            const int s = row[3 * x] + row[3 * x + 1] + row[3 * x + 2] - brow[x];
            peak = std::max(peak, s);
        }
    }
    const int floor = static_cast<int>(std::ceil(7.0 * black.Noise())) + 6;
    if (peak < 2 * floor) return 0;
    const int threshold = peak / 2;
    if (++pass_ == 0) {
        std::fill(mark_.begin(), mark_.end(), 0u);
        pass_ = 1;
    }
    int found = 0;
    for (int y = 0; y < kHeight; y += kSeedStep) {
        const uint8_t* row = pixels + y * kStride;
        const uint16_t* brow = b + y * kWidth;
        for (int x = 0; x < kWidth; x += kSeedStep) {
            if (row[3 * x] + row[3 * x + 1] + row[3 * x + 2] - brow[x] <= threshold) continue;
            const int i = y * kWidth + x;
            if (mark_[i] == pass_) continue;
            Light light;
            int box[4];
            Fill(pixels, b, i, threshold, light, box);
            if (light.area < minArea) continue;
            if (found < maxLights) {
                Centroid(pixels, b, box, black.Noise(), light);
                out[found] = light;
            }
            ++found;
        }
    }
    return found;
}

void LightScanner::Fill(const uint8_t* pixels, const uint16_t* black, int seed, int threshold, Light& light, int box[4]) {
    box[0] = box[2] = seed % kWidth;
    box[1] = box[3] = seed / kWidth;
    double sum = 0;
    stack_.clear();
    stack_.push_back(seed);
    mark_[seed] = pass_;
    while (!stack_.empty()) {
        const int i = stack_.back();
        stack_.pop_back();
        const int x = i % kWidth, y = i / kWidth;
        ++light.area;
        sum += Signal(pixels, black, i);
        box[0] = std::min(box[0], x);
        box[1] = std::min(box[1], y);
        box[2] = std::max(box[2], x);
        box[3] = std::max(box[3], y);
        if (x == 0 || y == 0 || x == kWidth - 1 || y == kHeight - 1) light.touchesBorder = true;
        const int next[4] = {x > 0 ? i - 1 : -1, x < kWidth - 1 ? i + 1 : -1, y > 0 ? i - kWidth : -1,
                             y < kHeight - 1 ? i + kWidth : -1};
        for (int n : next) {
            if (n < 0 || mark_[n] == pass_ || Signal(pixels, black, n) <= threshold) continue;
            mark_[n] = pass_;
            stack_.push_back(n);
        }
    }
    light.level = sum / light.area;
}

void LightScanner::Centroid(const uint8_t* pixels, const uint16_t* black, const int box[4], double noise,
                            Light& light) const {
    // The window reaches two pixels past the lit area, where the blurred edge ends; the signal is
    // taken signed, so the noise of the dark pixels in it averages out instead of pulling outward.
    const int x0 = std::max(0, box[0] - 2), y0 = std::max(0, box[1] - 2);
    const int x1 = std::min(kWidth - 1, box[2] + 2), y1 = std::min(kHeight - 1, box[3] + 2);
    double s = 0, sx = 0, sy = 0;
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            const double v = Signal(pixels, black, y * kWidth + x);
            s += v;
            sx += v * x;
            sy += v * y;
        }
    }
    if (s <= 0) {
        light.area = 0;
        return;
    }
    light.x = sx / s;
    light.y = sy / s;
    // Each window pixel carries the frame's noise and the (averaged) background's; its pull on
    // the centroid grows with its distance from it.
    double spread = 0;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) spread += 0.5 * ((x - light.x) * (x - light.x) + (y - light.y) * (y - light.y));
    light.std = noise * std::sqrt(1.25 * spread) / s;
}

}  // namespace tavori::cf
