#include "capture/Thread.h"

CThread::~CThread() { Stop(); }

DWORD WINAPI CThread::ThreadEntry(LPVOID param) {
    auto* self = static_cast<CThread*>(param);
    if (!self) return 0xFFFFFFFFu;
    self->Run();
    return 0;
}

int32_t CThread::Start() {
    if (m_hThread) return 1;
    // Set before the thread exists, so its first loop test already sees it.
    m_nRun.store(1);
    m_hThread = CreateThread(nullptr, 0, &CThread::ThreadEntry, this, 0, nullptr);
    if (!m_hThread) {
        m_nRun.store(0);  // nothing runs: a later Start may try again
        return -1;
    }
    return 0;
}

void CThread::Stop() {
    if (!m_hThread) return;
    m_nRun.store(0);
    // The worker may be waiting on this thread (a sent message, a window it touches): keep this
    // thread's messages flowing until it has ended.
    while (WaitForSingleObject(m_hThread, 0) == WAIT_TIMEOUT) {
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(1);
    }
    CloseHandle(m_hThread);
    m_hThread = nullptr;
}
