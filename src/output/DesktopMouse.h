// The desktop's mouse: where the emulation's actions become system input.
#pragma once
#include "output/MouseEmulator.h"

class CDesktopMouse : public IMouseOutput {
public:
    void SetScreenSize(int width, int height) {
        m_nScreenW = width;
        m_nScreenH = height;
    }
    uint32_t Now() override;
    void Send(int x, int y, int action, int ownerScreen) override;
    bool IsDrawForeground() override;

private:
    int m_nScreenW = 0;
    int m_nScreenH = 0;
};

// The companion drawing program's main window, found by its caption; null when it is not running.
void* FindDrawWindow();
