// What the tray's balloons say about a camera's view: that it has moved since its calibration, or
// where a fixed light shines. In the user's language, English where a text is missing.
#pragma once
#include <string>

std::string CameraMovedTitle();
std::string CameraMovedText(int camera);  // counted from 1
std::string StrayLightTitle();
std::string StrayLightText(int place);    // a place of StrayLights.h
