// penctl: writes the virtual pen control block ("TavoriVirtualPen") for tests, demos and users
// without a pen.
//
//   penctl down X Y [SIGMA] [INTENSITY]   pen 0 lit at desktop pixel (X, Y)
//   penctl move X Y                       pen 0 to (X, Y), lit or not
//   penctl up                             pen 0 dark
//   penctl stroke X1 Y1 X2 Y2 STEPS MS    pen 0 down at 1, STEPS moves to 2, MS ms apart, then up
//   penctl pen K down|move|up ...         the same for pen K (0..7)
//   penctl clear                          every pen dark, count 0
//   penctl unplug N | plug N              virtual camera N absent / present again
//   penctl die N | revive N               camera N's stream fails while it stays listed / may run again
//   penctl stall N MS                     camera N delivers no new frame for MS ms
//   penctl stall-on N | stall-off N       the same, until switched off
//   penctl exposure N                     prints "exposure VALUE flags FLAGS" last applied to camera N
//   penctl shift N DX DY [DEGREES]        camera N's view moved by (DX, DY) camera pixels and turned
//                                         about its centre (shift N 0 0: back where it was)
//   penctl status                         prints the block
//   penctl hold MS                        keeps the block open for MS ms
//   penctl script FILE|-                  one command per line (also "sleep MS"; '#' comments)
//
// The block lives while some process has it open: the driver holds it while it uses a virtual
// camera; "hold" and scripts keep it alive otherwise.
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "VcamModel.h"

using tavori::vcam::kMaxPens;
using tavori::vcam::kPenBlockBytes;
using tavori::vcam::kPenMagic;
using tavori::vcam::kPenVersion;
using tavori::vcam::PenBlock;

namespace {

struct Error {
    std::string text;
};

class Block {
public:
    bool Open() {
        SetLastError(0);
        handle_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                     static_cast<DWORD>(kPenBlockBytes), "TavoriVirtualPen");
        if (!handle_) return false;
        view_ = static_cast<PenBlock*>(MapViewOfFile(handle_, FILE_MAP_ALL_ACCESS, 0, 0, kPenBlockBytes));
        if (!view_) return false;
        // Whoever comes first writes the identification; a block left unidentified by a creator
        // that died early is claimed the same way. A foreign block is reset to a clean one.
        if (view_->magic != kPenMagic || view_->version != kPenVersion) {
            std::memset(view_, 0, kPenBlockBytes);
            view_->version = kPenVersion;
            view_->magic = kPenMagic;
        }
        if (view_->count > static_cast<uint32_t>(kMaxPens)) view_->count = kMaxPens;
        return true;
    }
    ~Block() {
        if (view_) UnmapViewOfFile(view_);
        if (handle_) CloseHandle(handle_);
    }
    PenBlock* operator->() { return view_; }
    PenBlock* get() { return view_; }
    void Changed() { InterlockedIncrement(reinterpret_cast<volatile LONG*>(&view_->sequence)); }

private:
    HANDLE handle_ = nullptr;
    PenBlock* view_ = nullptr;
};

double Number(const std::string& s, const char* what, double lo, double hi) {
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (s.empty() || end != s.c_str() + s.size() || !std::isfinite(v) || v < lo || v > hi) {
        std::ostringstream msg;
        msg << "bad " << what << " '" << s << "' (expected a number from " << lo << " to " << hi << ")";
        throw Error{msg.str()};
    }
    return v;
}

long Integer(const std::string& s, const char* what, long lo, long hi) {
    const double v = Number(s, what, static_cast<double>(lo), static_cast<double>(hi));
    if (v != std::floor(v)) throw Error{std::string("bad ") + what + " '" + s + "' (expected a whole number)"};
    return static_cast<long>(v);
}

void NeedArgs(const std::vector<std::string>& a, size_t lo, size_t hi, const char* usage) {
    if (a.size() < lo || a.size() > hi) throw Error{std::string("usage: ") + usage};
}

constexpr double kCoord = 1e6;

void PenCommand(Block& b, int k, const std::vector<std::string>& a, size_t at) {
    const std::string& verb = a[at];
    auto& pen = b->pens[k];
    if (verb == "down") {
        NeedArgs(a, at + 3, at + 5, "down X Y [SIGMA] [INTENSITY]");
        const float x = static_cast<float>(Number(a[at + 1], "X", -kCoord, kCoord));
        const float y = static_cast<float>(Number(a[at + 2], "Y", -kCoord, kCoord));
        const float sigma = a.size() > at + 3 ? static_cast<float>(Number(a[at + 3], "SIGMA", 0, 16)) : 0.f;
        const float intensity = a.size() > at + 4 ? static_cast<float>(Number(a[at + 4], "INTENSITY", 0, 1)) : 0.f;
        pen.x = x;
        pen.y = y;
        pen.sigma = sigma;
        pen.intensity = intensity;
        pen.down = 1;
    } else if (verb == "move") {
        NeedArgs(a, at + 3, at + 3, "move X Y");
        const float x = static_cast<float>(Number(a[at + 1], "X", -kCoord, kCoord));
        const float y = static_cast<float>(Number(a[at + 2], "Y", -kCoord, kCoord));
        pen.x = x;
        pen.y = y;
    } else if (verb == "up") {
        NeedArgs(a, at + 1, at + 1, "up");
        pen.down = 0;
    } else {
        throw Error{"unknown pen command '" + verb + "' (down, move, up)"};
    }
    if (b->count < static_cast<uint32_t>(k + 1)) b->count = static_cast<uint32_t>(k + 1);
    b.Changed();
}

// Commands that set or clear camera N's bit in one of the block's masks.
struct MaskVerb {
    const char* name;
    uint32_t PenBlock::*mask;
    bool set;
    const char* usage;
};
constexpr MaskVerb kMaskVerbs[] = {
    {"unplug", &PenBlock::unplugged, true, "unplug N"},   {"plug", &PenBlock::unplugged, false, "plug N"},
    {"die", &PenBlock::deadStream, true, "die N"},        {"revive", &PenBlock::deadStream, false, "revive N"},
    {"stall-on", &PenBlock::stalled, true, "stall-on N"}, {"stall-off", &PenBlock::stalled, false, "stall-off N"},
};
const MaskVerb* FindMaskVerb(const std::string& cmd) {
    for (const MaskVerb& v : kMaskVerbs)
        if (cmd == v.name) return &v;
    return nullptr;
}

void Execute(Block& b, const std::vector<std::string>& a, bool inScript);

void RunScript(Block& b, std::istream& in, const std::string& name) {
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        const size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::vector<std::string> a;
        for (std::string w; words >> w;) a.push_back(w);
        if (a.empty()) continue;
        try {
            Execute(b, a, true);
        } catch (const Error& e) {
            throw Error{name + ":" + std::to_string(lineNo) + ": " + e.text};
        }
    }
}

void Execute(Block& b, const std::vector<std::string>& a, bool inScript) {
    const std::string& cmd = a[0];
    if (cmd == "down" || cmd == "move" || cmd == "up") {
        PenCommand(b, 0, a, 0);
    } else if (cmd == "pen") {
        NeedArgs(a, 3, 7, "pen K down|move|up ...");
        PenCommand(b, static_cast<int>(Integer(a[1], "pen number K", 0, kMaxPens - 1)), a, 2);
    } else if (cmd == "stroke") {
        NeedArgs(a, 7, 7, "stroke X1 Y1 X2 Y2 STEPS MS");
        const double x1 = Number(a[1], "X1", -kCoord, kCoord), y1 = Number(a[2], "Y1", -kCoord, kCoord);
        const double x2 = Number(a[3], "X2", -kCoord, kCoord), y2 = Number(a[4], "Y2", -kCoord, kCoord);
        const long steps = Integer(a[5], "STEPS", 1, 100000);
        const long ms = Integer(a[6], "MS", 0, 60000);
        auto& pen = b->pens[0];
        pen.sigma = 0;
        pen.intensity = 0;
        for (long i = 0; i <= steps; ++i) {
            const double t = static_cast<double>(i) / static_cast<double>(steps);
            pen.x = static_cast<float>(x1 + (x2 - x1) * t);
            pen.y = static_cast<float>(y1 + (y2 - y1) * t);
            pen.down = 1;
            if (b->count < 1) b->count = 1;
            b.Changed();
            Sleep(static_cast<DWORD>(ms));
        }
        pen.down = 0;
        b.Changed();
    } else if (cmd == "clear") {
        NeedArgs(a, 1, 1, "clear");
        for (auto& p : b->pens) p.down = 0;
        b->count = 0;
        b.Changed();
    } else if (const MaskVerb* v = FindMaskVerb(cmd)) {
        NeedArgs(a, 2, 2, v->usage);
        const uint32_t bit = 1u << Integer(a[1], "camera number N", 0, 31);
        uint32_t& mask = b.get()->*(v->mask);
        mask = v->set ? (mask | bit) : (mask & ~bit);
        b.Changed();
    } else if (cmd == "stall") {
        NeedArgs(a, 3, 3, "stall N MS");
        const uint32_t bit = 1u << Integer(a[1], "camera number N", 0, 31);
        const long ms = Integer(a[2], "MS", 0, 600000);
        b->stalled |= bit;
        b.Changed();
        Sleep(static_cast<DWORD>(ms));
        b->stalled &= ~bit;
        b.Changed();
    } else if (cmd == "exposure") {
        NeedArgs(a, 2, 2, "exposure N");
        const auto& e = b->exposure[Integer(a[1], "camera number N", 0, tavori::vcam::kExposureSlots - 1)];
        std::printf("exposure %d flags %d\n", e.value, e.flags);
    } else if (cmd == "shift") {
        NeedArgs(a, 4, 5, "shift N DX DY [DEGREES]");
        auto& v = b->shift[Integer(a[1], "camera number N", 0, tavori::vcam::kExposureSlots - 1)];
        v.dx = static_cast<float>(Number(a[2], "DX", -200, 200));
        v.dy = static_cast<float>(Number(a[3], "DY", -200, 200));
        v.degrees = a.size() > 4 ? static_cast<float>(Number(a[4], "DEGREES", -45, 45)) : 0.f;
        b.Changed();
    } else if (cmd == "status") {
        NeedArgs(a, 1, 1, "status");
        std::printf("sequence %u unplugged 0x%08X dead 0x%08X stalled 0x%08X count %u\n", b->sequence, b->unplugged,
                    b->deadStream, b->stalled, b->count);
        for (uint32_t k = 0; k < b->count && k < static_cast<uint32_t>(kMaxPens); ++k) {
            const auto& p = b->pens[k];
            std::printf("pen %u %s %.2f %.2f sigma %.2f intensity %.2f\n", k, p.down == 1 ? "down" : "up",
                        static_cast<double>(p.x), static_cast<double>(p.y), static_cast<double>(p.sigma),
                        static_cast<double>(p.intensity));
        }
    } else if (cmd == "sleep" || cmd == "hold") {
        NeedArgs(a, 2, 2, "sleep MS | hold MS");
        Sleep(static_cast<DWORD>(Integer(a[1], "MS", 0, 86400000)));
    } else if (cmd == "script" && !inScript) {
        NeedArgs(a, 2, 2, "script FILE|-");
        if (a[1] == "-") {
            RunScript(b, std::cin, "stdin");
        } else {
            std::ifstream f(a[1]);
            if (!f) throw Error{"cannot open script '" + a[1] + "'"};
            RunScript(b, f, a[1]);
        }
    } else {
        throw Error{"unknown command '" + cmd + "'"};
    }
}

const char kUsage[] =
    "usage: penctl COMMAND ...\n"
    "  down X Y [SIGMA] [INTENSITY] | move X Y | up\n"
    "  stroke X1 Y1 X2 Y2 STEPS MS\n"
    "  pen K down|move|up ...   (K = 0..7)\n"
    "  clear | unplug N | plug N | status | hold MS\n"
    "  die N | revive N          (stream of camera N fails / may start again; stays listed)\n"
    "  stall N MS | stall-on N | stall-off N   (camera N delivers no new frame)\n"
    "  exposure N               (prints the exposure camera N last applied)\n"
    "  shift N DX DY [DEGREES]  (camera N's view moved and turned; 0 0: as configured)\n"
    "  script FILE|-            (one command per line, plus sleep MS)\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::vector<std::string> args(argv + 1, argv + argc);
    Block block;
    if (!block.Open()) {
        std::fprintf(stderr, "penctl: cannot open the pen control block (error %lu)\n", GetLastError());
        return 1;
    }
    try {
        Execute(block, args, false);
    } catch (const Error& e) {
        std::fprintf(stderr, "penctl: %s\n", e.text.c_str());
        return 2;
    }
    return 0;
}
