// The desktop's mouse: where the emulation's actions become system input.
#pragma once
#include "output/DesktopLayout.h"
#include "output/MouseEmulator.h"

class CDesktopMouse : public IMouseOutput {
public:
    // The virtual desktop the points' desktop pixels lie on.
    void SetDesktop(const DesktopRect& desktop) { m_desktop = desktop; }
    uint32_t Now() override;
    void Send(int x, int y, int action, int ownerScreen) override;
    bool IsDrawForeground() override;

private:
    DesktopRect m_desktop;
};

// The companion drawing program's main window, found by its caption; null when it is not running.
void* FindDrawWindow();
