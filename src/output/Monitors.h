// The monitors as the system lists them now, ordered as screens (DesktopLayout.h).
#pragma once
#include <vector>

#include "output/DesktopLayout.h"

std::vector<MonitorArea> ListScreens();
// The virtual desktop. A primary size given (as WM_DISPLAYCHANGE announces it) stands for the
// primary monitor's: the message may come before the system's own figures follow.
DesktopRect VirtualDesktop(int primaryWidth = 0, int primaryHeight = 0);
