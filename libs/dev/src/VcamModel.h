// The virtual camera's portable core: its configuration, the lens model, the pen control block
// and the frame composer. No windows.h here, so the native tests and benchmarks drive the very
// code that the Windows library ships.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tavori::vcam {

// One [CameraN] section. rect is the filmed desktop area; hasScreenRect false means "the primary
// monitor", which only the Windows side knows (it fills rect before configuring a composer).
struct Config {
    std::string vendorId = "0AC8";
    std::string productId = "3610";
    int width = 640;
    int height = 480;
    int fps = 60;
    bool hasScreenRect = false;
    int32_t rect[4] = {0, 0, 0, 0};  // left, top, width, height (desktop pixels)
    double corners[8] = {70, 55, 575, 62, 590, 428, 52, 418};  // TL, TR, BR, BL (camera pixels)
    double k1 = -0.08;
    double k2 = 0;
    double noise = 2;
    double ambient = 8;
    double screenGain = 60;
    bool mirror = false;
    // A dim checkered wall around the screen: static structure for the drift watch to follow.
    bool room = false;
    double shift[3] = {0, 0, 0};  // dx, dy (camera pixels), degrees: see Shifted
};

// Value parsers: false for anything that is not exactly the expected form, in range.
bool ParseInt(const std::string& s, long lo, long hi, long& out);
bool ParseReal(const std::string& s, double lo, double hi, double& out);
bool ParseHexId(const std::string& s, std::string& out);  // four hex digits, upper-cased
bool ParseScreenRect(const std::string& s, int32_t out[4]);
bool ParseCorners(const std::string& s, double out[8]);  // also rejects a non-convex outline

// Builds a configuration from a key lookup (true = key present, value set). Every missing or
// unusable value keeps its default, so a garbage file still gives a working camera.
using KeyLookup = std::function<bool(const char* key, std::string& value)>;
Config ReadConfig(const KeyLookup& lookup);

// The same camera delivering frames of another size: corners scale with the image.
Config ScaledTo(const Config& c, int width, int height);
// The same camera knocked: its whole image (lens included) turned by `degrees` about the image's
// centre, then moved by (dx, dy) camera pixels.
Config Shifted(const Config& c, double dx, double dy, double degrees);

// Screen area -> camera image. Screen positions are relative to the filmed rectangle, camera
// positions are those of the delivered image (mirror included); pixel centres at whole numbers in
// both, so the rectangle's outer corners (-0.5,-0.5) and (W-0.5,H-0.5) land on Corners.
class LensModel {
public:
    bool Init(const Config& c);  // c.rect must be filled
    bool Project(double sx, double sy, double& cx, double& cy) const;
    bool Unproject(double cx, double cy, double& sx, double& sy) const;

private:
    double h_[9] = {}, hi_[9] = {};
    double k1_ = 0, k2_ = 0, ccx_ = 0, ccy_ = 0, R_ = 1;
    double cosT_ = 1, sinT_ = 0, shiftX_ = 0, shiftY_ = 0;
    double rMax_ = 0, rdMax_ = 0;  // the distortion is trusted (monotonic) up to these radii
    int width_ = 0;
    bool mirror_ = false;
};

// ---- Pen control block (named shared memory "TavoriVirtualPen") ----------------------------

constexpr uint32_t kPenMagic = 0x4E505654u;  // "TVPN"
constexpr uint32_t kPenVersion = 1;
constexpr size_t kPenBlockBytes = 4096;
constexpr int kMaxPens = 8;
constexpr double kDefaultSigma = 1.5;
constexpr double kMaxSigma = 16.0;

struct PenRecord {
    int32_t down;
    float x, y;       // desktop pixels
    float sigma;      // camera pixels, 0 = 1.5
    float intensity;  // 0..1, 0 = 1
    uint32_t reserved;
};
// What a virtual camera last applied through DevSetControl, for tests to read.
struct ExposureRecord {
    int32_t value;
    int32_t flags;  // 1 automatic, 2 manual, 0 never set
};
constexpr int kExposureSlots = 8;
// A camera knocked while it runs (penctl shift): see Shifted.
struct ViewShift {
    float dx, dy, degrees;
    uint32_t reserved;
};
struct PenBlock {
    uint32_t magic;
    uint32_t version;
    uint32_t sequence;
    uint32_t unplugged;
    uint32_t count;
    PenRecord pens[kMaxPens];
    uint8_t spare[256 - 212];
    uint32_t deadStream;  // bit i: camera i's stream fails while the camera stays listed
    uint32_t stalled;     // bit i: camera i delivers no new frame while set
    ExposureRecord exposure[kExposureSlots];
    ViewShift shift[kExposureSlots];
    // Processor microseconds camera i has spent filming (the desktop's copy and each frame's
    // composition), so a measure of the driver's own CPU can leave the camera's out. Wraps (71 min).
    uint32_t filmingUs[kExposureSlots];
    uint32_t frames[kExposureSlots];  // frames camera i has delivered, for tests to wait on
};
static_assert(sizeof(PenRecord) == 24, "pen record is 24 bytes");
static_assert(offsetof(PenBlock, pens) == 20, "pens start at offset 20");
static_assert(offsetof(PenBlock, deadStream) == 256 && offsetof(PenBlock, stalled) == 260 &&
                  offsetof(PenBlock, exposure) == 264 && offsetof(PenBlock, shift) == 328 &&
                  offsetof(PenBlock, filmingUs) == 456 && offsetof(PenBlock, frames) == 488,
              "fault and exposure fields after the pens, old fields unmoved");
static_assert(sizeof(PenBlock) <= kPenBlockBytes, "pen block fits its mapping");

struct Pen {
    double x, y, sigma, intensity;
};
struct PenState {
    uint32_t unplugged = 0;
    uint32_t deadStream = 0, stalled = 0;
    int count = 0;  // lit pens only
    Pen pens[kMaxPens] = {};
    ViewShift shift[kExposureSlots] = {};  // finite, within 200 pixels and 45 degrees
};

// Reads the block as another process may be writing it (retries while the sequence moves) and
// keeps only what is sane: a foreign magic or version reads as an empty block, the count is cut
// to 8, pens with non-finite or absurd positions are dropped, sigma and intensity are clamped.
PenState ReadPenBlock(const void* mem);
PenState SanitizePenBlock(const PenBlock& raw);

// ---- Frame composer ------------------------------------------------------------------------

// The filmed desktop area as grey levels. px[0] is a black guard pixel that every camera pixel
// outside the screen samples, so composing needs no bounds test; pixel (x,y) is px[1 + y*w + x].
struct ScreenImage {
    int w = 0, h = 0;
    std::vector<uint8_t> px;
    void Resize(int width, int height);
    uint8_t* Row(int y) { return px.data() + 1 + static_cast<size_t>(y) * static_cast<size_t>(w); }
};

// Frames are made in two steps. Film() warps a desktop copy through the lens into the camera's
// view: each camera pixel takes the mean of the desktop over its footprint, as a sensor
// integrates its pixel's area, so a sharp edge shows as a partly lit pixel where it crosses one
// instead of snapping to pixel boundaries (a table of integrals of the desktop, four samples of
// it per pixel; the Windows side runs it on the desktop thread at about 20 Hz). Frame() then only
// adds noise and pens to that view, which keeps the per-frame cost near a few copies of the frame.
class Composer {
public:
    // Precomputes each camera pixel's footprint on the desktop (c.rect filled). False when the model is
    // unusable (the composer then delivers nothing). Starts with a black desktop.
    bool Configure(const Config& c);
    void SetExposure(int step);  // each step doubles the screen's brightness; -8 = ScreenGain
    int Exposure() const { return exposure_; }

    int Width() const { return width_; }
    int Height() const { return height_; }
    uint32_t Stride() const;
    uint32_t FrameBytes() const { return Stride() * static_cast<uint32_t>(height_); }
    const LensModel& Model() const { return model_; }
    const Config& Cfg() const { return cfg_; }

    // Films a desktop copy sized to the configured rectangle; null or another size films black.
    void Film(const ScreenImage* screen);
    // Writes one BGR24 frame (top row first, FrameBytes() bytes at Stride()) of the filmed view
    // with fresh noise and the pens.
    void Frame(const PenState& pens, uint8_t* out);
    void Compose(const ScreenImage* screen, const PenState& pens, uint8_t* out) {
        Film(screen);
        Frame(pens, out);
    }

private:
    void Relevel();
    void DrawPen(const Pen& p, uint8_t* out) const;

    Config cfg_;
    LensModel model_;
    int width_ = 0, height_ = 0;
    int exposure_ = -8;
    // A camera pixel's footprint: a desktop box between pixel edges u0..u1, v0..v1 (whole parts
    // index the integral table, fractions interpolate it); scale 0 for a pixel that sees no desktop.
    struct Footprint {
        uint16_t u0, u1, v0, v1;
        float fu0, fu1, fv0, fv1, scale;
    };
    std::vector<Footprint> footprint_;
    std::vector<uint32_t> integral_;  // (w+1) x (h+1): sum of the desktop above and left of each corner
    std::vector<uint32_t> litRows_;   // desktop rows above each table row that are not all black
    std::vector<uint8_t> filmed_;     // the desktop copy the view was last filmed from
    std::vector<uint8_t> view_;   // the filmed desktop in camera pixels, grey 0..255
    std::vector<uint8_t> base_;   // view_ through the exposure, as a BGR frame without noise
    std::vector<int8_t> noise_;   // 2 x height rows of noise in the frame layout (same per channel)
    std::vector<uint8_t> room_;   // the wall around the screen, grey added to every frame
    int16_t level_[256] = {};
    uint32_t rng_ = 0x9E3779B9u;
    uint32_t lastRow_ = 0;
};

}  // namespace tavori::vcam
