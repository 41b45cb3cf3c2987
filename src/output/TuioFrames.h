// TUIO 1.1 cursor frames (/tuio/2Dcur) from the pens the cameras see: session ids, velocities, the
// frame sequence and the packets of each frame. Free of Win32, so the fast suites test the bytes
// that go out; the sender (TuioSender.h) only puts them on the wire.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One pen of a camera's frame: the detector's id, stable while the pen stays in view, and its place
// normalised to the virtual desktop (0..1 across it).
struct TuioPen {
    int32_t id;
    float x, y;
};

class CTuioFrames {
public:
    static constexpr size_t kMaxPacket = 1472;      // the UDP payload that fits an Ethernet frame unsplit
    static constexpr size_t kMaxContacts = 128;     // every camera's together; keeps the alive list in one packet
    static constexpr size_t kMaxSource = 63;        // characters of the source name
    static constexpr uint32_t kIdleResendMs = 1000;  // receivers that missed a packet catch up this often

    CTuioFrames(std::string_view source, int32_t firstFseq);

    // One camera's frame: every pen it sees now. Returns how many packets go out, in order (Packet);
    // none when nothing changed and no idle resend is due. Each packet is a bundle: source, alive
    // (every live contact of every camera), the set of this camera's new and moved contacts that
    // fit, fseq (the same in every packet of a frame).
    size_t Frame(int camera, const TuioPen* pens, size_t count, uint32_t nowMs);
    const std::vector<uint8_t>& Packet(size_t i) const { return m_packets[i]; }

private:
    struct Contact {
        int camera;
        int32_t penId, session;
        float x, y, vx = 0, vy = 0, speed = 0, accel = 0;
        uint32_t ms;
        bool seen, changed;
    };
    void Track(int camera, const TuioPen& pen, uint32_t nowMs, bool& changed);
    size_t Build(int camera);
    std::vector<uint8_t>& NewPacket(size_t index);

    std::string m_source;
    int32_t m_fseq;
    int32_t m_nextSession = 1;
    uint32_t m_lastSentMs = 0;
    bool m_sentAny = false;
    std::vector<Contact> m_contacts;  // every camera's, oldest first
    std::vector<uint8_t> m_prefix;    // the bundle's start, the same in every packet of a frame
    std::vector<std::vector<uint8_t>> m_packets;
};

// A frame sequence above any that a driver started earlier can have reached, so that a receiver
// never drops a restarted driver's frames as late: it grows with the clock (250 a second, more than
// the frames of four cameras at 60 a second) and stays positive for years before it wraps.
int32_t FirstFrameSequence(uint64_t unixMs);
