// CThread under Wine: one thread at a time, and Stop waits for the pass in progress.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>

#include "capture/Thread.h"

namespace {

// A worker whose every loop pass takes 300 ms.
class Worker : public CThread {
public:
    ~Worker() override { Stop(); }
    std::atomic<int> begun{0}, ended{0};  // passes

protected:
    int Run() override {
        while (IsRunning()) {
            ++begun;
            Sleep(300);
            ++ended;
        }
        return 0;
    }
};

bool Began(const Worker& w, int passes) {
    for (const DWORD start = GetTickCount(); w.begun < passes; Sleep(1))
        if (GetTickCount() - start > 5000) return false;
    return true;
}

}  // namespace

// A second Start keeps the thread; Stop returns only once the pass in progress has ended and may
// come twice; a stopped worker starts a new thread.
TEST(CThread, StartOnceStopWaitsForThePassInProgressThenRestart) {
    Worker w;
    w.Stop();  // no thread yet: nothing to do
    ASSERT_EQ(w.Start(), 0);
    EXPECT_EQ(w.Start(), 1);
    ASSERT_TRUE(Began(w, 1)) << "the run flag is set before the thread exists";
    w.Stop();
    w.Stop();
    EXPECT_EQ(w.begun, 1) << "the loop missed the flag";
    EXPECT_EQ(w.ended, 1) << "Stop returned inside a pass";
    EXPECT_EQ(w.ThreadHandle(), nullptr);
    ASSERT_EQ(w.Start(), 0);
    EXPECT_TRUE(Began(w, 2));
}
