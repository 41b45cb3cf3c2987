// CThread under Wine: start/stop rules, waiting for the pass in progress, and the caller's
// messages dispatched while Stop waits.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>

#include "capture/Thread.h"

namespace {

// Worker whose loop pass can be held open and observed. Run only touches members of this object
// until the loop ends.
class Worker : public CThread {
public:
    ~Worker() override { Stop(); }

    std::atomic<int> runs{0};
    std::atomic<int> passesStarted{0};
    std::atomic<int> passesEnded{0};
    std::atomic<bool> sawRunFlagAtEntry{false};
    std::atomic<int> passMs{1};
    HWND talkTo = nullptr;  // posted WM_APP, then sent WM_APP + 1, once per Run
    std::atomic<LRESULT> sendResult{0};
    std::atomic<bool>* ended = nullptr;  // set when Run returns; outlives the worker

protected:
    int Run() override {
        sawRunFlagAtEntry = IsRunning();
        ++runs;
        DWORD_PTR r = 0;
        // Bounded only so that a broken Stop fails this test instead of hanging the suite.
        if (talkTo && PostMessageA(talkTo, WM_APP, 0, 0) &&
            SendMessageTimeoutA(talkTo, WM_APP + 1, 0, 0, SMTO_NORMAL, 5000, &r))
            sendResult = static_cast<LRESULT>(r);
        while (IsRunning()) {
            ++passesStarted;
            Sleep(static_cast<DWORD>(passMs.load()));
            ++passesEnded;
        }
        if (ended) *ended = true;
        return 0;
    }
};

template <class Pred>
bool WaitFor(Pred p, DWORD ms = 5000) {
    const DWORD start = GetTickCount();
    while (!p()) {
        if (GetTickCount() - start > ms) return false;
        Sleep(1);
    }
    return true;
}

std::atomic<int> g_posted{0};
std::atomic<int> g_sent{0};

LRESULT CALLBACK TestWndProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_APP) return ++g_posted, 0;
    if (m == WM_APP + 1) return ++g_sent, 42;
    return DefWindowProcA(h, m, w, l);
}

HWND MakeWindow() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = TestWndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "TavoriThreadTestWnd";
    RegisterClassA(&wc);  // a second registration fails harmlessly
    return CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
}

}  // namespace

// One worker through its whole life: a second Start keeps the thread, Stop waits for the pass in
// progress and may come twice, a restart runs a new thread, the destructor stops the last one.
TEST(CThread, StartStopRestartAndDestroy) {
    std::atomic<bool> lastEnded{false};
    {
        Worker w;
        const DWORD t0 = GetTickCount();
        w.Stop();
        EXPECT_LT(GetTickCount() - t0, 100u) << "stop without a thread";
        w.passMs = 300;
        ASSERT_EQ(w.Start(), 0);
        EXPECT_EQ(w.Start(), 1);
        ASSERT_TRUE(WaitFor([&] { return w.passesStarted > 0; }));
        w.Stop();
        w.Stop();
        EXPECT_TRUE(w.sawRunFlagAtEntry) << "the run flag is set before the thread exists";
        EXPECT_EQ(w.passesStarted, 1) << "Stop returned inside a pass, or the loop missed the flag";
        EXPECT_EQ(w.passesEnded, 1);
        EXPECT_EQ(w.ThreadHandle(), nullptr);

        w.passMs = 1;
        w.ended = &lastEnded;
        ASSERT_EQ(w.Start(), 0);
        ASSERT_TRUE(WaitFor([&] { return w.runs == 2; }));
    }
    EXPECT_TRUE(lastEnded) << "the destructor stopped the thread";
}

// The worker posts to this thread, then sends to it and waits: both are handled while Stop waits,
// before this thread pumps anything itself, and nothing deadlocks.
TEST(CThread, StopDispatchesTheCallersMessages) {
    HWND wnd = MakeWindow();
    ASSERT_NE(wnd, nullptr);
    {
        Worker w;
        w.talkTo = wnd;
        ASSERT_EQ(w.Start(), 0);
        ASSERT_TRUE(WaitFor([&] { return w.runs > 0; }));
        EXPECT_EQ(g_posted, 0);
        w.Stop();
        EXPECT_EQ(g_posted, 1);
        EXPECT_EQ(g_sent, 1);
        EXPECT_EQ(w.sendResult, 42);
    }
    DestroyWindow(wnd);
}
