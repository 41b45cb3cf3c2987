#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "output/TuioFrames.h"

namespace {
// Each packet of a frame read back as "tags args|..." after the bundle head; layout faults fail.
std::vector<std::string> Frame(CTuioFrames& frames, int camera, std::vector<TuioPen> pens, uint32_t ms) {
    std::vector<std::string> out;
    for (size_t n = frames.Frame(camera, pens.data(), pens.size(), ms), i = 0; i < n; ++i) {
        const std::vector<uint8_t>& p = frames.Packet(i);
        EXPECT_LE(p.size(), CTuioFrames::kMaxPacket);
        EXPECT_EQ(std::string(p.begin(), p.begin() + 16), std::string("#bundle\0\0\0\0\0\0\0\0\1", 16));
        size_t at = 16;
        auto word = [&] { return at += 4, uint32_t(p.at(at - 4)) << 24 | p.at(at - 3) << 16 | p.at(at - 2) << 8 | p.at(at - 1); };
        auto str = [&] { std::string s(reinterpret_cast<const char*>(&p.at(at))); return at += s.size() / 4 * 4 + 4, s; };
        std::string text;
        while (at < p.size()) {
            const size_t size = word(), end = at + size;
            EXPECT_EQ(str(), "/tuio/2Dcur");
            const std::string tags = str().substr(1);
            text += (text.empty() ? "" : "|") + tags;
            for (char t : tags) {
                const uint32_t v = t == 's' ? 0 : word();
                float f;
                char number[32];
                std::memcpy(&f, &v, 4);
                snprintf(number, sizeof number, t == 'i' ? "%.0f" : "%.2f", t == 'i' ? double(int32_t(v)) : double(f));
                text += " " + (t == 's' ? str() : std::string(number));
            }
            EXPECT_EQ(at, end);
        }
        out.push_back(text);
    }
    return out;
}
const std::string kSrc = "ss source Tavori@pc|";
}  // namespace

// Session ids follow strokes, across cameras; a lift and an idle second send the alive list.
TEST(TuioFrames, StrokesCamerasLiftsAndIdleResends) {
    CTuioFrames frames("Tavori@pc", 100);
    struct Step {
        int camera;
        std::vector<TuioPen> pens;
        uint32_t ms;
        std::vector<std::string> sent;
    } steps[] = {
        {0, {{5, 0.5f, 0.25f}}, 1000, {kSrc + "si alive 1|sifffff set 1 0.50 0.25 0.00 0.00 0.00|si fseq 100"}},
        {0, {{5, 0.5f, 0.25f}}, 1010, {}},
        {0, {{5, 0.75f, 0.25f}}, 1100, {kSrc + "si alive 1|sifffff set 1 0.75 0.25 2.50 0.00 25.00|si fseq 101"}},
        {1, {{5, 0.1f, 0.1f}}, 1110, {kSrc + "sii alive 1 2|sifffff set 2 0.10 0.10 0.00 0.00 0.00|si fseq 102"}},
        {0, {}, 1120, {kSrc + "si alive 2|si fseq 103"}},
        {1, {{5, 0.1f, 0.1f}}, 2119, {}},
        {1, {{5, 0.1f, 0.1f}}, 2120, {kSrc + "si alive 2|si fseq 104"}},
        {1, {}, 2130, {kSrc + "s alive|si fseq 105"}},
        {1, {{5, 0.1f, 0.1f}}, 2140, {kSrc + "si alive 3|sifffff set 3 0.10 0.10 0.00 0.00 0.00|si fseq 106"}},
    };
    for (const Step& s : steps) EXPECT_EQ(Frame(frames, s.camera, s.pens, s.ms), s.sent) << s.ms;
}

// 64 pens: several packets, each with the whole alive list and the frame's fseq, 64 sets in all.
TEST(TuioFrames, AFrameTooLargeForOnePacketIsSplit) {
    CTuioFrames frames("Tavori@pc", 100);
    std::vector<TuioPen> pens;
    std::string alive = kSrc + "s" + std::string(64, 'i') + " alive";
    for (int i = 0; i < 64; ++i) pens.push_back({i, i / 64.0f, 0.5f}), alive += " " + std::to_string(i + 1);
    const auto packets = Frame(frames, 0, pens, 1000);
    size_t sets = 0;
    for (const std::string& p : packets) {
        EXPECT_EQ(p.rfind(alive + "|", 0), 0u);
        EXPECT_EQ(p.substr(p.size() - 12), "|si fseq 100");
        for (size_t at = p.find("|sifffff"); at != std::string::npos; at = p.find("|sifffff", at + 1)) ++sets;
    }
    EXPECT_GT(packets.size(), 2u);
    EXPECT_EQ(sets, 64u);
}

TEST(TuioFrames, TheFirstFrameSequenceOutgrowsAnEarlierRun) {
    // A driver that sent 240 frames a second for an hour and is started again the moment it ends.
    const uint64_t start = 1'800'000'000'000ull;
    EXPECT_GT(FirstFrameSequence(start + 3'600'000), FirstFrameSequence(start) + 240 * 3600);
}
