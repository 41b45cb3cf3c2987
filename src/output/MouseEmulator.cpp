#include "output/MouseEmulator.h"

#include <cstdlib>

namespace {
bool Within(int a, int b, int step) { return std::abs(a - b) <= step; }
}  // namespace

void CMouseEmulator::OnMousePoint(int screen, bool present, int x, int y, const MouseSettings& s) {
    if (m_bOwnerLocked && m_nOwnerScreen != screen) return;
    const uint32_t now = m_out.Now();

    if (present && !m_bPressed) {
        if (now - m_dwLastDblClick <= static_cast<uint32_t>(s.dbClickQuiet)) return;
        if (now - m_dwLastTick < static_cast<uint32_t>(s.dbClickTime) && Within(x, m_nLastX, s.rightButtonStep) &&
            Within(y, m_nLastY, s.rightButtonStep)) {
            Send(m_nLastX, m_nLastY, kLeftDown);
            Send(m_nLastX, m_nLastY, kLeftUp);
            Send(m_nLastX, m_nLastY, kLeftDown);
            Send(m_nLastX, m_nLastY, kLeftUp);
            m_dwLastDblClick = now;
            m_dwLastTick = 0;
            m_dwHoldStart = 0;
            m_bPressed = false;
            m_bOwnerLocked = false;
            return;
        }
        m_nOwnerScreen = screen;
        Send(x, y, kLeftDown);
        m_bOwnerLocked = true;
        m_bPressed = true;
        m_nLastX = m_nDownX = x;
        m_nLastY = m_nDownY = y;
        m_dwLastTick = m_dwHoldStart = now;
        return;
    }

    if (present) {
        if (Within(x, m_nDownX, s.rightButtonStep) && Within(y, m_nDownY, s.rightButtonStep)) {
            if (m_dwHoldStart != 0 && now - m_dwHoldStart > static_cast<uint32_t>(s.rightButtonTime) &&
                !m_out.IsDrawForeground()) {
                Send(x, y, kLeftUp);
                Send(x, y, kRightDown);
                Send(x, y, kRightUp);
                m_dwHoldStart = 0;
                m_dwLastTick = 0;
                return;
            }
        } else {
            m_dwHoldStart = 0;
        }
        MouseMoveFiltered(x, y, s);
        m_dwLastTick = now;
        return;
    }

    if (m_bPressed && now - m_dwLastTick > static_cast<uint32_t>(s.releaseGap)) {
        Send(m_nLastX, m_nLastY, kLeftUp);
        m_bPressed = false;
        m_bOwnerLocked = false;
        m_dwHoldStart = 0;
    }
}

void CMouseEmulator::MouseMoveFiltered(int x, int y, const MouseSettings& s) {
    if (Within(x, m_nLastX, s.ignoreMove) && Within(y, m_nLastY, s.ignoreMove)) return;
    Send(x, y, kMouseMove);
    m_nLastX = x;
    m_nLastY = y;
}

void CMouseEmulator::ResetForCameraStart() {
    m_bPressed = false;
    m_bOwnerLocked = false;
    m_nDownX = m_nDownY = 0;
    m_dwLastTick = 0;
    m_dwHoldStart = 0;
    m_dwLastDblClick = 0;
}

void CMouseEmulator::ReleaseButtons() {
    if (!m_bPressed) return;
    Send(m_nLastX, m_nLastY, kLeftUp);
    m_bPressed = false;
    m_bOwnerLocked = false;
    m_dwHoldStart = 0;
}
