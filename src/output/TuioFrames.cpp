#include "output/TuioFrames.h"

#include <climits>
#include <cmath>

#include "output/OscWriter.h"

namespace {
constexpr const char* kAddress = "/tuio/2Dcur";
// A set message: size, address, ",sifffff", "set", then session and five floats.
constexpr size_t kSetSize = 4 + osc::PaddedSize(11) + osc::PaddedSize(8) + osc::PaddedSize(3) + 6 * 4;
// An fseq message: size, address, ",si", "fseq", the number.
constexpr size_t kFseqSize = 4 + osc::PaddedSize(11) + osc::PaddedSize(3) + osc::PaddedSize(4) + 4;
// The largest prefix (bundle head, source, a full alive list) still leaves room for one set.
static_assert(16 + 4 + osc::PaddedSize(11) + osc::PaddedSize(3) + osc::PaddedSize(6) +
                      osc::PaddedSize(CTuioFrames::kMaxSource) + 4 + osc::PaddedSize(11) +
                      osc::PaddedSize(2 + CTuioFrames::kMaxContacts) + osc::PaddedSize(5) +
                      4 * CTuioFrames::kMaxContacts + kSetSize + kFseqSize <=
                  CTuioFrames::kMaxPacket,
              "a frame's prefix and one set fit a packet");
}  // namespace

int32_t FirstFrameSequence(uint64_t unixMs) { return static_cast<int32_t>((unixMs / 4) % (1u << 30)) + 1; }

CTuioFrames::CTuioFrames(std::string_view source, int32_t firstFseq)
    : m_source(source.substr(0, kMaxSource)), m_fseq(firstFseq > 0 ? firstFseq - 1 : 0) {
    m_contacts.reserve(kMaxContacts);
}

void CTuioFrames::Track(int camera, const TuioPen& pen, uint32_t nowMs, bool& changed) {
    for (Contact& c : m_contacts) {
        if (c.camera != camera || c.penId != pen.id || c.seen) continue;
        c.seen = true;
        if (pen.x == c.x && pen.y == c.y) return;
        // Velocity in desktop widths per second; the motion acceleration is the change of speed.
        const float dt = static_cast<float>(nowMs - c.ms) / 1000.0f;
        if (dt > 0) {
            c.vx = (pen.x - c.x) / dt;
            c.vy = (pen.y - c.y) / dt;
            const float speed = std::hypot(c.vx, c.vy);
            c.accel = (speed - c.speed) / dt;
            c.speed = speed;
        }
        c.x = pen.x;
        c.y = pen.y;
        c.ms = nowMs;
        c.changed = changed = true;
        return;
    }
    // A pen new to this camera starts a stroke of its own; beyond the limit it waits for room.
    if (m_contacts.size() >= kMaxContacts) return;
    m_contacts.push_back(Contact{camera, pen.id, m_nextSession, pen.x, pen.y, 0, 0, 0, 0, nowMs, true, true});
    changed = true;
    m_nextSession = m_nextSession == INT32_MAX ? 1 : m_nextSession + 1;
}

size_t CTuioFrames::Frame(int camera, const TuioPen* pens, size_t count, uint32_t nowMs) {
    for (Contact& c : m_contacts) c.seen = c.changed = false;
    bool changed = false;
    for (size_t i = 0; i < count; ++i) Track(camera, pens[i], nowMs, changed);
    for (size_t i = m_contacts.size(); i-- > 0;)
        if (m_contacts[i].camera == camera && !m_contacts[i].seen) {
            m_contacts.erase(m_contacts.begin() + static_cast<std::ptrdiff_t>(i));
            changed = true;
        }
    if (!changed && m_sentAny && nowMs - m_lastSentMs < kIdleResendMs) return 0;
    m_lastSentMs = nowMs;
    m_sentAny = true;
    m_fseq = m_fseq == INT32_MAX ? 1 : m_fseq + 1;
    return Build(camera);
}

std::vector<uint8_t>& CTuioFrames::NewPacket(size_t index) {
    if (m_packets.size() <= index) m_packets.resize(index + 1);
    std::vector<uint8_t>& p = m_packets[index];
    p.assign(m_prefix.begin(), m_prefix.end());
    return p;
}

size_t CTuioFrames::Build(int camera) {
    m_prefix.clear();
    osc::Writer head(m_prefix);
    head.BeginBundle();
    head.BeginMessage(kAddress, "ss");
    head.String("source");
    head.String(m_source);
    head.EndMessage();
    char tags[2 + kMaxContacts] = "s";
    for (size_t i = 0; i < m_contacts.size(); ++i) tags[1 + i] = 'i';
    head.BeginMessage(kAddress, std::string_view(tags, 1 + m_contacts.size()));
    head.String("alive");
    for (const Contact& c : m_contacts) head.Int(c.session);
    head.EndMessage();

    size_t packets = 0;
    std::vector<uint8_t>* p = &NewPacket(packets++);
    auto close = [this](std::vector<uint8_t>& packet) {
        osc::Writer w(packet);
        w.BeginMessage(kAddress, "si");
        w.String("fseq");
        w.Int(m_fseq);
        w.EndMessage();
    };
    for (const Contact& c : m_contacts) {
        if (c.camera != camera || !c.changed) continue;
        // A packet full of sets goes out as it is; the next one carries the same alive list.
        if (p->size() > m_prefix.size() && p->size() + kSetSize + kFseqSize > kMaxPacket) {
            close(*p);
            p = &NewPacket(packets++);
        }
        osc::Writer w(*p);
        w.BeginMessage(kAddress, "sifffff");
        w.String("set");
        w.Int(c.session);
        for (float v : {c.x, c.y, c.vx, c.vy, c.accel}) w.Float(v);
        w.EndMessage();
    }
    close(*p);
    return packets;
}
