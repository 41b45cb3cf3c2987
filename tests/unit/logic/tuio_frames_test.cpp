#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "output/TuioFrames.h"

namespace {
// A packet read back as a receiver reads it: "#bundle", then per message its type tags and
// arguments, e.g. "ss source T|si fseq 7". Fails the test on any layout fault.
std::string Read(const std::vector<uint8_t>& p) {
    size_t at = 0;
    auto word = [&] {
        EXPECT_LE(at + 4, p.size());
        if (at + 4 > p.size()) return 0u;
        const uint32_t v = uint32_t(p[at]) << 24 | uint32_t(p[at + 1]) << 16 | uint32_t(p[at + 2]) << 8 | p[at + 3];
        at += 4;
        return v;
    };
    auto str = [&] {
        std::string s(reinterpret_cast<const char*>(p.data() + at), strnlen(reinterpret_cast<const char*>(p.data() + at), p.size() - at));
        at += (s.size() / 4 + 1) * 4;
        return s;
    };
    EXPECT_EQ(str(), "#bundle");
    EXPECT_EQ(word(), 0u);
    EXPECT_EQ(word(), 1u);  // "immediately"
    std::string out;
    while (at < p.size()) {
        const uint32_t size = word();
        const size_t end = at + size;
        EXPECT_EQ(str(), "/tuio/2Dcur");
        std::string tags = str();
        out += (out.empty() ? "" : "|") + tags.substr(1);
        for (char t : tags.substr(1)) {
            if (t == 's') out += " " + str();
            if (t == 'i') out += " " + std::to_string(int32_t(word()));
            if (t == 'f') {
                const uint32_t bits = word();
                float f;
                std::memcpy(&f, &bits, 4);
                char text[32];
                snprintf(text, sizeof text, " %g", f);
                out += text;
            }
        }
        EXPECT_EQ(at, end);
    }
    return out;
}

struct Sent {
    CTuioFrames frames{"Tavori@pc", 100};
    std::vector<std::string> Frame(int camera, std::vector<TuioPen> pens, uint32_t ms) {
        std::vector<std::string> out;
        const size_t n = frames.Frame(camera, pens.data(), pens.size(), ms);
        for (size_t i = 0; i < n; ++i) {
            EXPECT_LE(frames.Packet(i).size(), CTuioFrames::kMaxPacket);
            out.push_back(Read(frames.Packet(i)));
        }
        return out;
    }
};
const std::string kSrc = "ss source Tavori@pc|";
}  // namespace

TEST(TuioFrames, TheBytesOfAnEmptyFrame) {
    CTuioFrames frames("T", 7);
    ASSERT_EQ(frames.Frame(0, nullptr, 0, 0), 1u);
    const char expected[] =
        "#bundle\0\0\0\0\0\0\0\0\1"
        "\0\0\0\x1c/tuio/2Dcur\0,ss\0source\0\0T\0\0\0"
        "\0\0\0\x18/tuio/2Dcur\0,s\0\0alive\0\0\0"
        "\0\0\0\x1c/tuio/2Dcur\0,si\0fseq\0\0\0\0\0\0\0\7";
    EXPECT_EQ(frames.Packet(0), std::vector<uint8_t>(expected, expected + sizeof expected - 1));
}

// One script of frames: what each sends. Session ids follow strokes, not detector ids or cameras.
TEST(TuioFrames, StrokesCamerasLiftsAndIdleResends) {
    Sent s;
    struct Step {
        int camera;
        std::vector<TuioPen> pens;
        uint32_t ms;
        std::vector<std::string> expected;
    } steps[] = {
        {0, {{5, 0.5f, 0.25f}}, 1000, {kSrc + "si alive 1|sifffff set 1 0.5 0.25 0 0 0|si fseq 100"}},
        {0, {{5, 0.5f, 0.25f}}, 1010, {}},  // nothing changed
        {0, {{5, 0.75f, 0.25f}}, 1100, {kSrc + "si alive 1|sifffff set 1 0.75 0.25 2.5 0 25|si fseq 101"}},
        {1, {{5, 0.1f, 0.1f}}, 1110, {kSrc + "sii alive 1 2|sifffff set 2 0.1 0.1 0 0 0|si fseq 102"}},
        {0, {}, 1120, {kSrc + "si alive 2|si fseq 103"}},
        {1, {{5, 0.1f, 0.1f}}, 2119, {}},
        {1, {{5, 0.1f, 0.1f}}, 2120, {kSrc + "si alive 2|si fseq 104"}},  // a second without change
        {1, {}, 2130, {kSrc + "s alive|si fseq 105"}},                 // the last pen lifts
        {1, {{5, 0.1f, 0.1f}}, 2140, {kSrc + "si alive 3|sifffff set 3 0.1 0.1 0 0 0|si fseq 106"}},
    };
    for (const Step& step : steps) EXPECT_EQ(s.Frame(step.camera, step.pens, step.ms), step.expected) << step.ms;
}

// Many pens: every packet fits, carries the whole alive list and the frame's fseq, and the sets of
// all packets together name every pen once.
TEST(TuioFrames, AFrameTooLargeForOnePacketIsSplit) {
    Sent s;
    std::vector<TuioPen> pens;
    for (int i = 0; i < 64; ++i) pens.push_back({i, i / 64.0f, 0.5f});
    for (int camera = 0; camera < 2; ++camera) {
        const auto packets = s.Frame(camera, pens, 1000);
        ASSERT_GE(packets.size(), 3u);
        std::string alive = "alive";
        for (int i = 1; i <= 64 * (camera + 1); ++i) alive += " " + std::to_string(i);
        int sets = 0;
        for (const std::string& p : packets) {
            EXPECT_NE(p.find(alive + "|"), std::string::npos);
            EXPECT_EQ(p.substr(p.size() - 8), "fseq " + std::to_string(100 + camera));
            for (size_t at = p.find("set "); at != std::string::npos; at = p.find("set ", at + 1)) ++sets;
        }
        EXPECT_EQ(sets, 64);
    }
}

TEST(TuioFrames, TheFirstFrameSequenceOutgrowsAnEarlierRun) {
    const uint64_t start = 1'800'000'000'000ull;  // 2027
    const int32_t first = FirstFrameSequence(start);
    EXPECT_GT(first, 0);
    // A driver that sent 240 frames a second for an hour and is started again the moment it ends.
    EXPECT_GT(FirstFrameSequence(start + 3'600'000), first + 240 * 3600);
}
