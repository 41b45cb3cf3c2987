// Worker thread base of the capture listeners: owns the thread, starts it on request and stops it
// by clearing the run flag while the calling (UI) thread keeps dispatching its messages.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

class CThread {
public:
    CThread() = default;
    virtual ~CThread();
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // 1: a thread already exists (nothing done); 0: a new thread was created; -1: creation failed.
    int32_t Start();
    // Clears the run flag and waits, without time-out, for the thread to end, dispatching the
    // calling thread's messages meanwhile. Does nothing when no thread exists.
    void Stop();
    // Clears the run flag without waiting: several threads told first end together in Stop.
    void RequestStop() { m_nRun.store(0, std::memory_order_relaxed); }

    // The thread entry point: runs param's Run and ends with 0; a null param ends with 0xFFFFFFFF.
    static DWORD WINAPI ThreadEntry(LPVOID param);

    bool IsRunning() const { return m_nRun.load(std::memory_order_relaxed) != 0; }
    HANDLE ThreadHandle() const { return m_hThread; }

protected:
    // The thread body; loops while IsRunning(). Its return value is not used.
    virtual int Run() = 0;

    std::atomic<uint32_t> m_nRun{0};  // 1 from Start until Stop; read once per loop pass
    HANDLE m_hThread = nullptr;
};
