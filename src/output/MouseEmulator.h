// Turns the single point of each camera frame into mouse input: a touch presses the left button,
// moving drags, lifting releases, a quick second touch at the same place double-clicks, a touch
// held still becomes a right click. Free of Win32: the clock and the output are injected, so the
// tests drive the very code that ships.
#pragma once
#include <cstdint>

enum MouseAction { kMouseMove = 0, kLeftDown = 1, kLeftUp = 2, kRightDown = 3, kRightUp = 4 };

class IMouseOutput {
public:
    virtual ~IMouseOutput() = default;
    virtual uint32_t Now() = 0;  // milliseconds, wrapping
    virtual void Send(int x, int y, int action, int ownerScreen) = 0;
    virtual bool IsDrawForeground() = 0;  // the drawing program is in front
};

struct MouseSettings {
    int rightButtonTime = 1000;  // OnRightButtonTime
    int rightButtonStep = 5;     // OnRightButtonStep
    int ignoreMove = 0;          // IgnoreMove
    int dbClickTime = 600;       // TimeDBClick
    int dbClickQuiet = 800;      // TimeDBClickDis
    int releaseGap = 60;         // TimeRight
};

class CMouseEmulator {
public:
    explicit CMouseEmulator(IMouseOutput& out) : m_out(out) {}

    // One step. present is false when the frame has no pen; x and y are then not looked at. A pen
    // at x = 0 or y = 0 is a pen at the screen's edge, not a missing one.
    void OnMousePoint(int screen, bool present, int x, int y, const MouseSettings& s);
    // A fresh start of the cameras: everything but the last position and the owning screen.
    void ResetForCameraStart();
    // The cameras stop: a button the pen holds down is let go, so none is ever left stuck.
    void ReleaseButtons();


private:
    void MouseMoveFiltered(int x, int y, const MouseSettings& s);
    void Send(int x, int y, int action) { m_out.Send(x, y, action, m_nOwnerScreen); }

    IMouseOutput& m_out;
    bool m_bPressed = false;
    bool m_bOwnerLocked = false;
    int m_nOwnerScreen = 0;
    int m_nLastX = 0, m_nLastY = 0;
    int m_nDownX = 0, m_nDownY = 0;
    uint32_t m_dwLastTick = 0;
    uint32_t m_dwHoldStart = 0;
    uint32_t m_dwLastDblClick = 0;
};
