// Lights in a frame against the black background: a sparse scan for seeds, a flood fill of each
// light above the threshold, and a centroid of the background-subtracted signal over a window
// around it, so every partly lit edge pixel counts with its share.
#pragma once
#include <cstdint>
#include <vector>

namespace tavori::cf {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kStride = 1920;  // 640 * 3, already a multiple of 4

// Positions in this library use pixel centres at whole numbers.
struct Light {
    double x = 0, y = 0;       // centroid of the subtracted signal
    int area = 0;              // pixels above the threshold
    double level = 0;          // mean signal of those pixels (sum of the three channels)
    bool touchesBorder = false;
    double std = 0;            // standard deviation of x and y from the frame's noise
};

// The black screen: the per-pixel sum of the three channels, averaged over a few frames, and the
// noise of one frame's sum, measured from the difference of two frames.
class Background {
public:
    void Reset();
    // Adds a frame; true once enough frames are in.
    bool Add(const uint8_t* pixels);
    bool Ready() const { return ready_; }
    const uint16_t* Sum() const { return sum_.data(); }
    double Noise() const { return noise_; }

private:
    static constexpr int kFrames = 4;
    std::vector<uint32_t> acc_;
    std::vector<uint16_t> sum_;
    std::vector<uint8_t> first_;  // grey of the first frame, for the noise estimate
    int frames_ = 0;
    double noise_ = 0;
    bool ready_ = false;
};

class LightScanner {
public:
    // Finds the lights of a frame. Lights smaller than minArea pixels are ignored. Returns the
    // number found; at most maxLights are written, more are only counted.
    int Scan(const uint8_t* pixels, const Background& black, int minArea, Light* out, int maxLights);

private:
    int Signal(const uint8_t* pixels, const uint16_t* black, int i) const;
    void Fill(const uint8_t* pixels, const uint16_t* black, int seed, int threshold, Light& light, int box[4]);
    void Centroid(const uint8_t* pixels, const uint16_t* black, const int box[4], double noise, Light& light) const;

    std::vector<uint32_t> mark_;   // pass number of the last fill that reached a pixel
    std::vector<int32_t> stack_;
    uint32_t pass_ = 0;
};

}  // namespace tavori::cf
