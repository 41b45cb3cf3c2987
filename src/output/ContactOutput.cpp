#include "output/ContactOutput.h"

#include <algorithm>
#include <cstdlib>

#include "win/Trace.h"

namespace {
constexpr int kTries = 3;  // ERROR_NOT_READY passes within a millisecond or two
constexpr int kContactRadius = 2;
// How far a pen found again may be from the contact it lost: a fast stroke over TimeRight. Further
// away it is another pen.
constexpr long kRejoinPx = 80;
constexpr uint32_t kLive = POINTER_FLAG_INRANGE | POINTER_FLAG_INCONTACT;

bool Within(int a, int b, int step) { return std::abs(a - b) <= step; }

POINTER_INFO Pointer(POINTER_INPUT_TYPE type, uint32_t id, uint32_t flags, int x, int y) {
    POINTER_INFO info{};
    info.pointerType = type;
    info.pointerId = id;
    info.pointerFlags = flags;
    info.ptPixelLocation = {x, y};  // dwTime and PerformanceCount 0: the system stamps the input
    return info;
}
}  // namespace

bool CContactOutput::Start(OutputKind kind, const DesktopRect& desktop) {
    Stop();
    m_desktop = desktop;
    if (kind == OutputKind::Mouse) return true;
    if (!(kind == OutputKind::Pen ? m_api.HasPen() : m_api.HasTouch())) return false;
    if (!m_touchReady) m_touchReady = m_api.initializeTouchInjection(kMaxContacts, TOUCH_FEEDBACK_DEFAULT) != FALSE;
    if (!m_touchReady) return false;
    if (kind == OutputKind::Pen) {
        m_pen = m_api.createSyntheticPointerDevice(PT_PEN, 1, 1 /* POINTER_FEEDBACK_DEFAULT */);
        if (!m_pen) return false;
    }
    m_kind = kind;
    return true;
}

void CContactOutput::Stop() {
    ReleaseAll();
    if (m_pen) m_api.destroySyntheticPointerDevice(m_pen);
    m_pen = nullptr;
    m_kind = OutputKind::Mouse;
}

void CContactOutput::OnFrame(int screen, const _SDetectPoint* points, int count, uint32_t now, const MouseSettings& s) {
    if (!Active()) return;
    for (Contact& c : m_contacts)
        if (c.screen == screen) c.seen = false;
    // Pens the detector still follows first, so a missing pen's contact is free to be taken over by
    // a pen that came back under another id.
    std::vector<const _SDetectPoint*> unmatched;
    for (int i = 0; i < count; ++i) {
        const _SDetectPoint& p = points[i];
        if (p.state != 1) continue;
        auto c = std::find_if(m_contacts.begin(), m_contacts.end(), [&](const Contact& k) {
            return k.screen == screen && k.penId == p.id && !k.ending && !k.seen;
        });
        if (c == m_contacts.end()) {
            unmatched.push_back(&p);
            continue;
        }
        Place(*c, p.x, p.y, s);
        c->seen = true;
        c->lastSeen = now;
    }
    for (const _SDetectPoint* p : unmatched) {
        if (Contact* c = Adopt(screen, p->x, p->y)) {
            c->penId = p->id;
            Place(*c, p->x, p->y, s);
            c->seen = true;
            c->lastSeen = now;
        } else {
            Open(screen, *p, now, s);
        }
    }
    for (Contact& c : m_contacts) {
        if (c.screen != screen || c.seen || c.ending || now - c.lastSeen <= static_cast<uint32_t>(s.releaseGap)) continue;
        c.ending = POINTER_FLAG_UP;
        m_lift = {c.screen, c.x, c.y, now};
    }
    Inject(now);
}

void CContactOutput::OnTick(uint32_t now) {
    if (!Active() || m_contacts.empty()) return;
    bool ends = false;
    for (Contact& c : m_contacts) {
        if (c.ending || now - c.lastSeen <= kUnseenMs) continue;
        c.ending = POINTER_FLAG_UP;
        ends = true;
    }
    if (ends || now - m_lastInject >= kResendMs) Inject(now);
}

void CContactOutput::CancelAll(const DesktopRect& desktop) {
    EndAll(POINTER_FLAG_UP | POINTER_FLAG_CANCELED);
    m_desktop = desktop;
}

void CContactOutput::ReleaseAll() { EndAll(POINTER_FLAG_UP); }

void CContactOutput::EndAll(uint32_t flags) {
    for (Contact& c : m_contacts) c.ending = flags;
    if (!m_contacts.empty()) Inject(m_lastInject);
    m_contacts.clear();
    m_lift = {};
}

// Clamped onto the desktop: the system refuses a contact off every screen, and the last position
// sent is where the contact goes up.
void CContactOutput::Place(Contact& c, int x, int y, const MouseSettings& s) {
    x = std::clamp(x, m_desktop.left, m_desktop.left + std::max(m_desktop.width, 1) - 1);
    y = std::clamp(y, m_desktop.top, m_desktop.top + std::max(m_desktop.height, 1) - 1);
    if (c.still && Within(x, c.downX, s.rightButtonStep) && Within(y, c.downY, s.rightButtonStep)) return;
    c.still = false;
    if (Within(x, c.x, s.ignoreMove) && Within(y, c.y, s.ignoreMove)) return;
    c.x = x;
    c.y = y;
}

// The nearest contact of the screen whose pen this frame lacks, when near enough: the tracker lost
// the pen briefly and found it again as a new one.
CContactOutput::Contact* CContactOutput::Adopt(int screen, int x, int y) {
    Contact* best = nullptr;
    long bestDistance = kRejoinPx * kRejoinPx;
    for (Contact& c : m_contacts) {
        if (c.screen != screen || c.seen || c.ending) continue;
        const long distance = static_cast<long>(c.x - x) * (c.x - x) + static_cast<long>(c.y - y) * (c.y - y);
        if (distance <= bestDistance) best = &c, bestDistance = distance;
    }
    return best;
}

void CContactOutput::Open(int screen, const _SDetectPoint& p, uint32_t now, const MouseSettings& s) {
    bool penFree = m_pen != nullptr;
    for (const Contact& c : m_contacts) penFree = penFree && !c.onPen;
    uint32_t id = 0;
    const auto taken = [&](uint32_t n) {
        return std::any_of(m_contacts.begin(), m_contacts.end(), [n](const Contact& c) { return !c.onPen && c.pointerId == n; });
    };
    if (!penFree)
        while (id < kMaxContacts && taken(id)) ++id;
    if (id >= kMaxContacts) return;
    Contact c{screen, p.id, id, penFree, 0, 0, 0, 0, false, false, true, now, 0};
    Place(c, p.x, p.y, s);
    if (m_lift.screen == screen && now - m_lift.at <= static_cast<uint32_t>(s.dbClickTime) &&
        Within(c.x, m_lift.x, s.rightButtonStep) && Within(c.y, m_lift.y, s.rightButtonStep)) {
        c.x = m_lift.x;
        c.y = m_lift.y;
    }
    c.downX = c.x;
    c.downY = c.y;
    c.still = true;
    m_contacts.push_back(c);
}

void CContactOutput::Inject(uint32_t now) {
    m_lastInject = now;
    const bool touched = InjectTouch(), penned = InjectPen();
    // After a refusal the system's idea of the contacts is unknown: they come down afresh, and the
    // system ends any it still holds once they are no longer sent.
    for (Contact& c : m_contacts) c.sent = c.onPen ? penned : touched;
    m_contacts.erase(std::remove_if(m_contacts.begin(), m_contacts.end(), [](const Contact& c) { return c.ending != 0; }),
                     m_contacts.end());
}

bool CContactOutput::InjectTouch() {
    std::vector<POINTER_TOUCH_INFO> frame;
    for (const Contact& c : m_contacts) {
        if (c.onPen || (c.ending && !c.sent)) continue;
        POINTER_TOUCH_INFO t{};
        const uint32_t flags = c.ending ? c.ending : kLive | (c.sent ? POINTER_FLAG_UPDATE : POINTER_FLAG_DOWN);
        t.pointerInfo = Pointer(PT_TOUCH, c.pointerId, flags, c.x, c.y);
        t.touchMask = TOUCH_MASK_CONTACTAREA;
        t.rcContact = {c.x - kContactRadius, c.y - kContactRadius, c.x + kContactRadius, c.y + kContactRadius};
        frame.push_back(t);
    }
    if (frame.empty()) return true;
    const bool ok = Retried([&] { return m_api.injectTouchInput(static_cast<UINT32>(frame.size()), frame.data()); });
    if (!ok) TRACE("touch injection of %u contacts refused: %lu", static_cast<unsigned>(frame.size()), m_api.lastError());
    return ok;
}

bool CContactOutput::InjectPen() {
    auto c = std::find_if(m_contacts.begin(), m_contacts.end(), [](const Contact& k) { return k.onPen; });
    if (c == m_contacts.end() || (c->ending && !c->sent)) return true;
    POINTER_TYPE_INFO info{};
    info.type = PT_PEN;
    const uint32_t flags = c->ending ? c->ending : kLive | (c->sent ? POINTER_FLAG_UPDATE : POINTER_FLAG_DOWN);
    // No pressure, tilt or buttons are claimed: the camera sees none of them.
    info.penInfo.pointerInfo = Pointer(PT_PEN, 0, flags, c->x, c->y);
    const bool ok = Retried([&] { return m_api.injectSyntheticPointerInput(m_pen, &info, 1); });
    if (!ok) TRACE("pen injection refused: %lu", m_api.lastError());
    return ok;
}

template <class Call>
bool CContactOutput::Retried(Call call) {
    for (int attempt = 1;; ++attempt) {
        if (call()) return true;
        if (attempt == kTries || m_api.lastError() != ERROR_NOT_READY) return false;
        m_api.pause(1);
    }
}
