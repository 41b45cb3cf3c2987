// The touch and pen outputs: every pen the cameras see becomes a touch contact, or in the pen output
// the first one the system's synthetic pen (a second pen at the same time becomes touch). The
// system's rules hold: each injection carries every live contact of its device; a contact comes down
// once, moves, and goes up where it last was; a held contact is sent again before the system would
// end it (OnTick, at least every kResendMs); a system not ready yet is asked again; the system stamps
// the times. The mouse's timing keeps its meaning: a pen missing for less than TimeRight stays down,
// a contact held within OnRightButtonStep of where it came down stays exactly there (so the system's
// own press-and-hold becomes the right click), moves up to IgnoreMove are not passed on, and a quick
// second tap lands on the first one's place (so the system sees a double tap).
#pragma once
#include <cstdint>
#include <vector>

#include "MultiIRLight.h"
#include "output/DesktopLayout.h"
#include "output/MouseEmulator.h"
#include "output/PointerInjection.h"

enum class OutputKind { Mouse = 0, Touch = 1, Pen = 2 };

class CContactOutput {
public:
    static constexpr uint32_t kMaxContacts = 64;   // the most pens a camera's frame reports
    static constexpr uint32_t kResendMs = 50;      // the system ends a contact not sent for 100 ms
    static constexpr uint32_t kUnseenMs = 500;     // a contact no frame speaks of is lifted after this

    explicit CContactOutput(const PointerApi& api) : m_api(api) {}
    ~CContactOutput() { Stop(); }
    CContactOutput(const CContactOutput&) = delete;
    CContactOutput& operator=(const CContactOutput&) = delete;

    // Makes `kind` ready (Mouse: nothing to do). False when this Windows lacks it; nothing is sent then.
    bool Start(OutputKind kind, const DesktopRect& desktop);
    // Every contact lifted, the pen device gone.
    void Stop();
    bool Active() const { return m_kind != OutputKind::Mouse; }

    // The pens (state 1) of one frame of the camera of `screen`, in desktop pixels.
    void OnFrame(int screen, const _SDetectPoint* points, int count, uint32_t now, const MouseSettings& s);
    // The window's timer: held contacts sent again, contacts no frame has spoken of for kUnseenMs lifted.
    void OnTick(uint32_t now);
    // The display changed: every contact is cancelled and pens still down come down afresh.
    void CancelAll(const DesktopRect& desktop);
    // Every contact goes up where it is (the cameras stopped).
    void ReleaseAll();

private:
    struct Contact {
        int screen;
        int32_t penId;        // the detector's id of the pen
        uint32_t pointerId;   // the system's id: unique among live touch contacts
        bool onPen;           // on the synthetic pen device rather than touch
        int x, y;             // where it was last sent
        int downX, downY;
        bool still;           // has not left OnRightButtonStep of where it came down
        bool sent;            // its DOWN reached the system
        bool seen;            // in the frame being handled
        uint32_t lastSeen;
        uint32_t ending;      // 0, or the flags it ends with (UP, UP | CANCELED)
    };
    struct Lift {
        int screen = -1, x = 0, y = 0;
        uint32_t at = 0;
    };

    void Place(Contact& c, int x, int y, const MouseSettings& s);
    Contact* Adopt(int screen, int x, int y);
    void Open(int screen, const _SDetectPoint& p, uint32_t now, const MouseSettings& s);
    void EndAll(uint32_t flags);
    // Sends every live contact of both devices; contacts that end are dropped once sent.
    void Inject(uint32_t now);
    bool InjectTouch();
    bool InjectPen();
    template <class Call> bool Retried(Call call);

    PointerApi m_api;
    OutputKind m_kind = OutputKind::Mouse;
    bool m_touchReady = false;  // InitializeTouchInjection succeeded: once a process is enough
    HSYNTHETICPOINTERDEVICE m_pen = nullptr;
    DesktopRect m_desktop;
    std::vector<Contact> m_contacts;
    Lift m_lift;
    uint32_t m_lastInject = 0;
};
